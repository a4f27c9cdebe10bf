#include "restart.h"

#include "environment.h"

namespace {

constexpr DWORD kTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;

// Raised by a failed step of enabling the privilege; never leaves RestartSystem.
struct PrivilegeStepFailed {};

void EnableShutdownPrivilege(HANDLE& token) {
    if (!OpenProcessToken(GetCurrentProcess(), kTokenAccess, &token)) throw PrivilegeStepFailed();
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        throw PrivilegeStepFailed();
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // Only the return value counts: a partial assignment reported through the
    // last-error value still goes on to ask for the shutdown.
    if (!AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr)) throw PrivilegeStepFailed();
}

}  // namespace

bool RestartSystem(UINT shutdownFlags) {
    // Windows 9x has no privileges to enable.
    if (!IsWindows2000OrLater()) return ExitWindowsEx(shutdownFlags, 0) != FALSE;

    HANDLE token = nullptr;
    bool enabled = false;
    try {
        EnableShutdownPrivilege(token);
        enabled = true;
    } catch (const PrivilegeStepFailed&) {
    }
    if (token) CloseHandle(token);
    if (!enabled) return false;
    return ExitWindowsEx(shutdownFlags, 0) != FALSE;
}
