#include "registry_calls.h"

ScopedKey& ScopedKey::operator=(ScopedKey&& other) noexcept {
    if (this != &other) {
        Close();
        key_ = other.key_;
        other.key_ = nullptr;
    }
    return *this;
}

void ScopedKey::Close() {
    if (key_) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}

ScopedKey OpenRegistryKey(HKEY root, const char* subkey, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, access, &key) != ERROR_SUCCESS) return ScopedKey();
    return ScopedKey(key);
}

bool ProbeRegistryValue(HKEY key, const char* valueName, DWORD& type, DWORD& size) {
    DWORD probedType = 0;
    DWORD probedSize = 0;
    if (RegQueryValueExA(key, valueName, nullptr, &probedType, nullptr, &probedSize) != ERROR_SUCCESS) return false;
    type = probedType;
    size = probedSize;
    return true;
}

bool ReadRegistryValue(HKEY key, const char* valueName, DWORD& type, BYTE* buffer, DWORD capacity) {
    DWORD readType = 0;
    DWORD count = capacity;
    if (RegQueryValueExA(key, valueName, nullptr, &readType, buffer, &count) != ERROR_SUCCESS) return false;
    type = readType;
    return true;
}

bool WriteRegistryValue(HKEY key, const char* valueName, DWORD type, const BYTE* data, DWORD size) {
    return RegSetValueExA(key, valueName, 0, type, data, size) == ERROR_SUCCESS;
}

DeleteResult DeleteRegistryValue(HKEY key, const char* valueName) {
    const LSTATUS result = RegDeleteValueA(key, valueName);
    if (result == ERROR_SUCCESS) return DeleteResult::Deleted;
    if (result == ERROR_FILE_NOT_FOUND) return DeleteResult::Absent;
    return DeleteResult::Failed;
}
