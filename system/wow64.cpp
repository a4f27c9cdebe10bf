#include "wow64.h"

#include "environment.h"

namespace {

// These functions do not exist on Windows 2000, so they are looked up at run
// time instead of being imported.
typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE process, BOOL* isWow64);
typedef BOOL(WINAPI* DisableRedirectionFn)(PVOID* oldValue);
typedef BOOL(WINAPI* RevertRedirectionFn)(PVOID oldValue);

template <typename Function>
Function LookUpKernel32(const char* name) {
    const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (!kernel32) return nullptr;
    // Through the generic function pointer type, which converts to any other.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(kernel32, name)));
}

bool RunningUnderWow64() {
#ifdef _WIN64
    return false;
#else
    const IsWow64ProcessFn isWow64Process = LookUpKernel32<IsWow64ProcessFn>("IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

}  // namespace

bool RunningOn64BitWindows() {
#ifdef _WIN64
    return true;
#else
    return RunningUnderWow64();
#endif
}

bool FileExistsInNativeSystemDirectory(const char* path) {
    if (!RunningUnderWow64()) return FileExists(path);
    const DisableRedirectionFn disable = LookUpKernel32<DisableRedirectionFn>("Wow64DisableWow64FsRedirection");
    const RevertRedirectionFn revert = LookUpKernel32<RevertRedirectionFn>("Wow64RevertWow64FsRedirection");
    PVOID previous = nullptr;
    if (!disable || !revert || !disable(&previous)) return FileExists(path);
    const bool exists = FileExists(path);
    revert(previous);
    return exists;
}

std::vector<REGSAM> RegistryViewsToSearch() {
    if (!RunningOn64BitWindows()) return {0};
#ifdef _WIN64
    return {0, KEY_WOW64_32KEY};
#else
    return {0, KEY_WOW64_64KEY};
#endif
}
