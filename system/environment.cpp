#include "environment.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr DWORD kGroupBufferSize = 1024;

// Owns a handle or SID and gives it back with `Release` on every path.
template <typename Resource, auto Release>
class Scoped {
public:
    Scoped() = default;
    ~Scoped() {
        if (resource_) Release(resource_);
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    Resource get() const { return resource_; }
    Resource* receive() { return &resource_; }

private:
    Resource resource_ = nullptr;
};

using ScopedHandle = Scoped<HANDLE, CloseHandle>;  // the process token
using ScopedSid = Scoped<PSID, FreeSid>;           // from AllocateAndInitializeSid

}  // namespace

bool IsWindows2000OrLater() {
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    // Only the size is set; should the call fail, the record is left
    // uninitialised, so zero what the answer is read from first.
    version.dwPlatformId = 0;
    version.dwMajorVersion = 0;
    GetVersionExA(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

bool IsAdministrator() {
    ScopedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_READ, token.receive())) return false;

    // The group list holds pointers, so the buffer is aligned for them.
    alignas(TOKEN_GROUPS) BYTE buffer[kGroupBufferSize] = {};
    DWORD returned = 0;
    if (!GetTokenInformation(token.get(), TokenGroups, buffer, kGroupBufferSize, &returned)) return false;

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    ScopedSid administrators;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                  0, 0, 0, administrators.receive())) {
        return false;
    }

    const TOKEN_GROUPS* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer);
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (EqualSid(administrators.get(), groups->Groups[i].Sid)) return true;
    }
    return false;
}

bool FileExists(const char* path) {
    WIN32_FIND_DATAA findData;
    std::memset(&findData, 0, sizeof findData);
    const HANDLE search = FindFirstFileA(path, &findData);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}
