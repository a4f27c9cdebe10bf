#include "machine.h"

#include "app/names.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\UlvexPass";
constexpr const char* kAppPathsParent = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
constexpr const char* kAppPathsName = "Ulvex.exe";

// A 32-bit driver under WOW64 sees syswow64 when it names system32; the
// seeding must reach the native folders, as the tool's own probe does.
class NativeFileSystem {
public:
    NativeFileSystem() {
        const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
        disable_ = reinterpret_cast<Disable>(reinterpret_cast<void (*)()>(
            GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection")));
        revert_ = reinterpret_cast<Revert>(
            reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "Wow64RevertWow64FsRedirection")));
        active_ = disable_ && revert_ && disable_(&previous_);
    }
    ~NativeFileSystem() {
        if (active_) revert_(previous_);
    }
    NativeFileSystem(const NativeFileSystem&) = delete;
    NativeFileSystem& operator=(const NativeFileSystem&) = delete;

private:
    typedef BOOL(WINAPI* Disable)(PVOID*);
    typedef BOOL(WINAPI* Revert)(PVOID);
    Disable disable_ = nullptr;
    Revert revert_ = nullptr;
    PVOID previous_ = nullptr;
    bool active_ = false;
};

std::string WindowsDirectory() {
    char path[MAX_PATH] = {};
    GetWindowsDirectoryA(path, MAX_PATH);
    return path;
}

std::string DriverPath(bool wow64Folder) {
    return WindowsDirectory() + (wow64Folder ? "\\syswow64\\drivers" : "\\system32\\drivers");
}

bool WriteFileBytes(const std::string& path, const char* content, std::string& error) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot create " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, content, static_cast<DWORD>(std::strlen(content)), &written, nullptr);
    CloseHandle(file);
    if (!ok) error = "cannot write " + path;
    return ok != FALSE;
}

bool PutFile(const std::string& folder, const std::string& name, bool present, std::string& error) {
    const std::string path = folder + "\\" + name;
    if (!present) {
        if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
            GetLastError() != ERROR_PATH_NOT_FOUND) {
            error = "cannot delete " + path;
            return false;
        }
        return true;
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    return WriteFileBytes(path, "placeholder written by the end-to-end tests\r\n", error);
}

struct KeyPlace {
    const char* path;
    REGSAM view;
};

std::vector<KeyPlace> Places(KeyId key) {
    switch (key) {
    case KeyId::AppPaths:
        return {{kProductRegistrationKey, KEY_WOW64_64KEY}, {kProductRegistrationKey, KEY_WOW64_32KEY}};
    case KeyId::Service:
        return {{kServiceKey, KEY_WOW64_64KEY}};
    case KeyId::ClassKey:
        return {{kCdromClassKey, KEY_WOW64_64KEY}};
    }
    return {};
}

// Rights on a key are set through its DACL. The owner keeps the right to
// change the DACL whatever it says, so the rights can always be given back.
enum class Rights { Full, ReadOnly, None };

bool SetRights(const KeyPlace& place, Rights rights) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, place.path, 0, WRITE_DAC | place.view, &key) != ERROR_SUCCESS) return false;
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    alignas(DWORD) BYTE aclBuffer[256] = {};
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    PSID everyone = nullptr;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    bool ok = true;
    if (rights == Rights::Full) {
        ok = SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);  // a null DACL grants everything
    } else {
        ok = InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
             (rights == Rights::None ||
              (AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone) &&
               AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone))) &&
             SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    }
    ok = ok && RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
    if (everyone) FreeSid(everyone);
    RegCloseKey(key);
    return ok;
}

bool DeleteKey(const KeyPlace& place, std::string& error) {
    SetRights(place, Rights::Full);
    HKEY key = nullptr;
    LSTATUS result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, place.path, 0, KEY_ALL_ACCESS | place.view, &key);
    if (result == ERROR_FILE_NOT_FOUND) return true;
    if (result == ERROR_SUCCESS) {
        RegDeleteTreeA(key, nullptr);  // its values and subkeys
        RegCloseKey(key);
        result = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, place.path, place.view, 0);
    }
    if (result != ERROR_SUCCESS) {
        error = std::string("cannot delete HKLM\\") + place.path + " (error " + std::to_string(result) + ")";
        return false;
    }
    return true;
}

bool CreateKey(const KeyPlace& place, HKEY& key, std::string& error) {
    const LSTATUS result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, place.path, 0, nullptr, 0, KEY_ALL_ACCESS | place.view,
                                           nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) {
        error = std::string("cannot create HKLM\\") + place.path + " (error " + std::to_string(result) + ")";
        return false;
    }
    return true;
}

bool WriteValue(const KeyPlace& place, const char* name, const RegValue& value, std::string& error) {
    HKEY key = nullptr;
    if (!CreateKey(place, key, error)) return false;
    LSTATUS result = ERROR_SUCCESS;
    if (value.present) {
        result = RegSetValueExA(key, name, 0, value.type, value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
    } else {
        result = RegDeleteValueA(key, name);
        if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        error = std::string("cannot write ") + (*name ? name : "(default)") + " under HKLM\\" + place.path +
                " (error " + std::to_string(result) + ")";
        return false;
    }
    return true;
}

RegValue ReadValue(const KeyPlace& place, const char* name) {
    RegValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, place.path, 0, KEY_READ | place.view, &key) != ERROR_SUCCESS) return value;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        // A guard byte past the data shows whether the read ran over.
        std::vector<BYTE> bytes(size + 1, 0xcc);
        DWORD count = size;
        if (RegQueryValueExA(key, name, nullptr, &type, bytes.data(), &count) == ERROR_SUCCESS && count <= size) {
            bytes.resize(count);
            value.present = true;
            value.type = type;
            value.bytes = bytes;
        }
    }
    RegCloseKey(key);
    return value;
}

bool SetUserValue(const char* path, const char* name, DWORD type, const void* data, DWORD size, std::string& error) {
    HKEY key = nullptr;
    LSTATUS result = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS) error = std::string("cannot set HKCU\\") + path + "\\" + name;
    return result == ERROR_SUCCESS;
}

bool SetUserText(const char* path, const char* name, const char* text, std::string& error) {
    return SetUserValue(path, name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1), error);
}

KeyPlace AppPathsPlace(bool wow64View) {
    return {kProductRegistrationKey, static_cast<REGSAM>(wow64View ? KEY_WOW64_32KEY : KEY_WOW64_64KEY)};
}

}  // namespace

bool PrepareMachine(const std::string& desktop, std::string& error) {
    const DWORD zero = 0;
    if (!SetUserValue("Software\\Wine\\WineDbg", "ShowCrashDialog", REG_DWORD, &zero, sizeof zero, error) ||
        !SetUserText("Software\\Wine\\Debug", "RelayInclude", "user32.ExitWindowsEx", error)) {
        return false;
    }
    if (desktop.empty()) return SetUserText("Software\\Wine\\Drivers", "Graphics", "null", error);
    // Drawn by Wine itself, title bars included, whether or not a window
    // manager runs.
    return SetUserText("Software\\Wine\\Explorer", "Desktop", "Default", error) &&
           SetUserText("Software\\Wine\\Explorer\\Desktops", "Default", desktop.c_str(), error);
}

bool SeedMachine(const Scenario& scenario, std::string& error) {
    if (!SetUserText("Software\\Wine\\AppDefaults\\UlvexTandrel.exe", "Version", scenario.windows.c_str(), error)) {
        return false;
    }
    {
        NativeFileSystem native;
        if (!PutFile(DriverPath(false), "UlvexPass.sys", scenario.driverInSystem32, error) ||
            !PutFile(DriverPath(true), "UlvexPass.sys", scenario.driverInSysWow64, error)) {
            return false;
        }
    }
    const std::string product = kProductExe;
    const std::string productFolder = product.substr(0, product.rfind('\\'));
    if (!PutFile(productFolder, product.substr(productFolder.size() + 1), scenario.productFile, error)) return false;

    for (KeyId key : {KeyId::AppPaths, KeyId::Service, KeyId::ClassKey}) {
        for (const KeyPlace& place : Places(key)) {
            if (!DeleteKey(place, error)) return false;
        }
    }
    if (scenario.appPathsKey && !WriteValue(AppPathsPlace(false), "", scenario.appPaths, error)) {
        return false;
    }
    if (scenario.serviceKey && !WriteValue(Places(KeyId::Service)[0], "Start", scenario.start, error)) return false;
    if (scenario.classKey && !WriteValue(Places(KeyId::ClassKey)[0], kUpperFiltersValue, scenario.filters, error)) {
        return false;
    }
    for (const Action& action : scenario.restrictions) {
        if (!ApplyAction(action, error)) return false;
    }
    return true;
}

bool ApplyAction(const Action& action, std::string& error) {
    switch (action.kind) {
    case Action::Kind::SetFilters:
        return WriteValue(Places(KeyId::ClassKey)[0], kUpperFiltersValue, action.value, error);
    case Action::Kind::SetStart:
        return WriteValue(Places(KeyId::Service)[0], "Start", action.value, error);
    case Action::Kind::DenyWrite:
    case Action::Kind::DenyAll:
        for (const KeyPlace& place : Places(action.key)) {
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, place.path, 0, KEY_READ | place.view, &key) != ERROR_SUCCESS) continue;
            RegCloseKey(key);
            if (!SetRights(place, action.kind == Action::Kind::DenyWrite ? Rights::ReadOnly : Rights::None)) {
                error = std::string("cannot restrict HKLM\\") + place.path;
                return false;
            }
        }
        return true;
    case Action::Kind::DeleteKey:
        for (const KeyPlace& place : Places(action.key)) {
            if (!DeleteKey(place, error)) return false;
        }
        return true;
    }
    return false;
}

void RestoreRights() {
    for (KeyId key : {KeyId::AppPaths, KeyId::Service, KeyId::ClassKey}) {
        for (const KeyPlace& place : Places(key)) SetRights(place, Rights::Full);
    }
}

RegValue ReadStart() { return ReadValue(Places(KeyId::Service)[0], "Start"); }

RegValue ReadFilters() { return ReadValue(Places(KeyId::ClassKey)[0], kUpperFiltersValue); }

void PrintMachine() {
    {
        NativeFileSystem native;
        for (bool wow64 : {false, true}) {
            const std::string path = DriverPath(wow64) + "\\UlvexPass.sys";
            const bool exists = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
            std::printf("  %-46s %s\n", path.c_str(), exists ? "present" : "absent");
        }
    }
    const RegValue native = ReadValue(AppPathsPlace(false), "");
    const RegValue wow64 = ReadValue(AppPathsPlace(true), "");
    std::printf("  HKLM\\%s\n      (default)    = %s\n", kProductRegistrationKey, Describe(native).c_str());
    if (wow64 != native) std::printf("      32-bit view  = %s\n", Describe(wow64).c_str());
    const bool productExists = GetFileAttributesA(kProductExe) != INVALID_FILE_ATTRIBUTES;
    std::printf("  %-46s %s\n", kProductExe, productExists ? "present" : "absent");
    std::printf("  HKLM\\%s\n      Start        = %s\n", kServiceKey, Describe(ReadStart()).c_str());
    std::printf("  HKLM\\%s\n      UpperFilters = %s\n", kCdromClassKey, Describe(ReadFilters()).c_str());
}
