// Files, the system directory, WOW64, message boxes and shutdown.
#include "handles.h"

#include <cstring>

using namespace winsim;
using namespace winsim::internal;

namespace {

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool WildcardMatch(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') return WildcardMatch(pattern + 1, name) || (*name && WildcardMatch(pattern, name + 1));
    if (*name == '\0') return false;
    if (*pattern == '?' || Fold(*pattern) == Fold(*name)) return WildcardMatch(pattern + 1, name + 1);
    return false;
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A 32-bit process on 64-bit Windows has its system directory redirected.
std::string RedirectedPath(const std::string& path) {
    const Machine& m = machine();
    if (!m.windows64 || m.fsRedirectionDisabled > 0) return path;
    const std::string& system = m.systemDirectory;
    if (path.size() >= system.size() && EqualsNoCase(path.substr(0, system.size()), system) &&
        (path.size() == system.size() || path[system.size()] == '\\')) {
        return m.wow64SystemDirectory + path.substr(system.size());
    }
    return path;
}

HMODULE const kKernel32 = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x7c800000));
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

BOOL WINAPI SimIsWow64Process(HANDLE process, BOOL* isWow64) {
    Log("IsWow64Process");
    if (process != kCurrentProcess || !isWow64) {
        Error("IsWow64Process: only the current process is simulated");
        return FALSE;
    }
    *isWow64 = machine().windows64 ? TRUE : FALSE;
    return TRUE;
}

BOOL WINAPI SimWow64DisableWow64FsRedirection(PVOID* oldValue) {
    Log("Wow64DisableWow64FsRedirection");
    if (!oldValue) {
        Error("Wow64DisableWow64FsRedirection: needs somewhere to keep the old value");
        return FALSE;
    }
    if (!machine().windows64) return FALSE;
    *oldValue = reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(machine().fsRedirectionDisabled));
    ++machine().fsRedirectionDisabled;
    return TRUE;
}

BOOL WINAPI SimWow64RevertWow64FsRedirection(PVOID oldValue) {
    Log("Wow64RevertWow64FsRedirection");
    if (machine().fsRedirectionDisabled <= 0) {
        Error("Wow64RevertWow64FsRedirection without a matching disable");
        return FALSE;
    }
    machine().fsRedirectionDisabled = static_cast<int>(reinterpret_cast<ULONG_PTR>(oldValue));
    return TRUE;
}

}  // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
    Log("FindFirstFileA(" + Text(fileName) + ")");
    if (!findData) {
        Error("FindFirstFileA: needs a find record");
        return INVALID_HANDLE_VALUE;
    }
    if (!fileName || !*fileName) return INVALID_HANDLE_VALUE;
    const std::string path = RedirectedPath(fileName);
    const std::string directory = ParentOf(path);
    const std::string pattern = NameOf(path);
    if (pattern.empty() || HasWildcard(directory)) return INVALID_HANDLE_VALUE;

    const Machine& m = machine();
    std::string match;
    bool isDirectory = false;
    for (const auto* names : {&m.files, &m.directories}) {
        for (const std::string& candidate : *names) {
            if (EqualsNoCase(ParentOf(candidate), directory) &&
                WildcardMatch(pattern.c_str(), NameOf(candidate).c_str())) {
                match = NameOf(candidate);
                isDirectory = names == &m.directories;
                break;
            }
        }
        if (!match.empty()) break;
    }
    if (match.empty()) return INVALID_HANDLE_VALUE;

    findData->dwFileAttributes = isDirectory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    std::strncpy(findData->cFileName, match.c_str(), MAX_PATH - 1);
    FindHandle* handle = new FindHandle{path};
    Tables().finds.insert(handle);
    ++machine().openFindHandles;
    return handle;
}

BOOL WINAPI FindClose(HANDLE findHandle) {
    Log("FindClose");
    FindHandle* handle = static_cast<FindHandle*>(findHandle);
    if (!Tables().finds.count(handle)) {
        Error("FindClose: not an open find handle");
        return FALSE;
    }
    Tables().finds.erase(handle);
    delete handle;
    --machine().openFindHandles;
    return TRUE;
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
    Log("GetSystemDirectoryA(" + std::to_string(size) + ")");
    const Machine& m = machine();
    if (m.getSystemDirectoryFails) return 0;
    const UINT length = static_cast<UINT>(m.systemDirectory.size());
    if (!buffer || size < length + 1) return length + 1;  // the size needed, terminator included
    std::memcpy(buffer, m.systemDirectory.c_str(), length + 1);
    return length;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    Log("GetModuleHandleA(" + Text(moduleName) + ")");
    return moduleName && EqualsNoCase(moduleName, "kernel32.dll") ? kKernel32 : nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    Log("GetProcAddress(" + Text(procName) + ")");
    if (module != kKernel32 || !procName) {
        Error("GetProcAddress: only kernel32 is simulated");
        return nullptr;
    }
    if (!machine().hasWow64Functions) return nullptr;
    const std::string name = procName;
    void (*found)() = nullptr;  // the generic function pointer type converts to any other
    if (name == "IsWow64Process") found = reinterpret_cast<void (*)()>(&SimIsWow64Process);
    if (name == "Wow64DisableWow64FsRedirection") found = reinterpret_cast<void (*)()>(&SimWow64DisableWow64FsRedirection);
    if (name == "Wow64RevertWow64FsRedirection") found = reinterpret_cast<void (*)()>(&SimWow64RevertWow64FsRedirection);
    return reinterpret_cast<FARPROC>(found);
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    Log("MessageBoxA(" + Hex(type) + ")");
    Machine& m = machine();
    Box box;
    box.owner = owner;
    box.text = text ? text : "";
    box.caption = caption ? caption : "";
    box.style = type;
    if (type == MB_OK) {
        box.answer = IDOK;
    } else if (type == MB_YESNO) {
        if (m.nextAnswer < m.answers.size()) {
            box.answer = m.answers[m.nextAnswer++];
        } else {
            Error("MessageBoxA: a question with no scripted answer: " + box.text);
            box.answer = IDNO;
        }
    } else {
        Error("MessageBoxA: style " + Hex(type) + " is not simulated");
        box.answer = IDCANCEL;
    }
    m.boxes.push_back(box);
    if (m.whileBoxOpen) m.whileBoxOpen(box);
    return box.answer;
}

BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason) {
    Log("ExitWindowsEx(" + Hex(flags) + ", " + Hex(reason) + ")");
    Machine& m = machine();
    m.shutdownRequests.push_back({flags, reason, m.shutdownPrivilegeEnabled});
    // NT refuses to shut down for a process without the shutdown privilege.
    if (m.platformId == VER_PLATFORM_WIN32_NT && !m.shutdownPrivilegeEnabled) return FALSE;
    return m.exitWindowsResult;
}
