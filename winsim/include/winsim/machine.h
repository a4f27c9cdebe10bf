// The simulated Windows machine behind winsim's <windows.h>.
//
// Tests set a machine up through this API, run the tool against it, and
// inspect what it did: the boxes it showed, the calls it made in order, the
// registry as it left it, and whether every handle, key and SID it acquired
// was released. Calls the machine cannot honour fail loudly (a recorded
// error), never quietly succeed.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace winsim {

// Paths, key names and value names compare without regard to ASCII case,
// as they do on Windows.
struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};
bool EqualsNoCase(const std::string& a, const std::string& b);

using Bytes = std::vector<BYTE>;

// A SID given as its textual form, "S-1-5-32-544".
struct TokenGroup {
    std::string sid;
    DWORD attributes = SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY;
};
extern const char* const kAdministratorsSid;
extern const char* const kUsersSid;

struct RegistryValue {
    DWORD type = REG_NONE;
    Bytes data;
};

struct RegistryKey {
    std::map<std::string, RegistryValue, CaseInsensitiveLess> values;
    bool readable = true;  // opens with KEY_READ
    bool writable = true;  // opens with KEY_ALL_ACCESS (needs readable too)
};

// Which (key path, value name) pairs a registry call fails for.
struct ValueFault {
    std::string key;
    std::string value;
    LSTATUS error = ERROR_ACCESS_DENIED;
    int times = -1;  // how many calls fail before the fault clears; -1 for all
};

struct Box {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT style = 0;
    int answer = 0;
};

struct ShutdownRequest {
    UINT flags = 0;
    DWORD reason = 0;
    bool privilegeEnabled = false;
};

struct Machine {
    // ---- Version ----------------------------------------------------------
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    DWORD majorVersion = 5;
    DWORD minorVersion = 1;
    DWORD buildNumber = 2600;
    bool getVersionFails = false;  // GetVersionExA returns FALSE, record untouched

    // ---- Process token ----------------------------------------------------
    std::vector<TokenGroup> groups;
    bool openProcessTokenFails = false;
    bool getTokenInformationFails = false;
    bool allocateSidFails = false;
    bool lookupPrivilegeFails = false;
    bool adjustPrivilegesFails = false;
    bool adjustPrivilegesNotAssigned = false;  // returns TRUE, ERROR_NOT_ALL_ASSIGNED, nothing enabled
    bool shutdownPrivilegeEnabled = false;

    // ---- Files --------------------------------------------------------------
    // Full paths such as "C:\WINDOWS\system32\DRIVERS\UlvexPass.sys". Adding a
    // file or directory adds its parent directories.
    std::set<std::string, CaseInsensitiveLess> files;
    std::set<std::string, CaseInsensitiveLess> directories;
    std::string systemDirectory = "C:\\WINDOWS\\system32";
    bool getSystemDirectoryFails = false;  // GetSystemDirectoryA returns 0

    // ---- WOW64 --------------------------------------------------------------
    // The host build of the tool is a 32-bit process. On a 64-bit Windows it
    // runs under WOW64: its searches in the system directory are redirected to
    // wow64SystemDirectory, and SOFTWARE keys to SOFTWARE\WOW6432Node.
    bool windows64 = false;
    bool hasWow64Functions = true;  // kernel32 exports IsWow64Process and friends
    std::string wow64SystemDirectory = "C:\\WINDOWS\\SysWOW64";
    int fsRedirectionDisabled = 0;  // depth of Wow64DisableWow64FsRedirection

    // ---- Registry (HKEY_LOCAL_MACHINE, keys by full path) -----------------
    std::map<std::string, RegistryKey, CaseInsensitiveLess> keys;
    std::vector<ValueFault> queryFaults;      // RegQueryValueExA, any buffer
    std::vector<ValueFault> queryDataFaults;  // RegQueryValueExA with a data buffer only
    std::vector<ValueFault> setFaults;        // RegSetValueExA
    std::vector<ValueFault> deleteFaults;     // RegDeleteValueA
    // A size probe (NULL buffer) for this key and value reports this size
    // instead of the stored one, as if the value were that large.
    std::vector<std::pair<ValueFault, DWORD>> probedSizeOverrides;

    // ---- Message boxes ------------------------------------------------------
    std::vector<int> answers;  // consumed by MB_YESNO boxes, in order
    size_t nextAnswer = 0;
    std::vector<Box> boxes;
    // Runs while a box is open, before it returns: another program at work.
    std::function<void(const Box&)> whileBoxOpen;

    // ---- Shutdown -------------------------------------------------------------
    BOOL exitWindowsResult = TRUE;
    std::vector<ShutdownRequest> shutdownRequests;

    // ---- Record -------------------------------------------------------------
    std::vector<std::string> calls;   // "RegOpenKeyExA(...)" in call order
    std::vector<std::string> errors;  // misuse the machine detected
    int openTokens = 0;
    int openFindHandles = 0;
    int allocatedSids = 0;
    int openKeys = 0;
    int openAllocations = 0;  // token information buffers handed out internally
};

Machine& machine();
void Reset();  // a fresh machine with the defaults above

// ---- Set-up helpers ---------------------------------------------------------
void AddFile(const std::string& path);
void AddDirectory(const std::string& path);
RegistryKey& AddKey(const std::string& path);
void SetValue(const std::string& key, const std::string& value, DWORD type, const Bytes& data);
void SetDword(const std::string& key, const std::string& value, DWORD data);
void SetString(const std::string& key, const std::string& value, const std::string& text,
               DWORD type = REG_SZ);  // stored with its terminating zero
const RegistryValue* FindValue(const std::string& key, const std::string& value);
Bytes ToBytes(const std::string& raw);  // the string's bytes, embedded zeros included

// True when nothing acquired is still held (keys, tokens, find handles, SIDs).
bool AllReleased();
std::string ResourceReport();

// Calls whose log line starts with `prefix`.
std::vector<std::string> CallsStartingWith(const std::string& prefix);
bool Called(const std::string& prefix);

}  // namespace winsim
