// The registry calls the tool makes, in one place: which access rights it
// opens keys with and which results count as success. Every key is opened
// through ScopedKey, which closes it on every path.
#pragma once

#include <windows.h>

// Reading only (the CD-ROM class key before the repair).
constexpr REGSAM kReadAccess = KEY_READ;
// Reading and writing. The tool also opens keys it only reads with this, so
// a caller without write rights on them is told so early.
constexpr REGSAM kFullAccess = KEY_ALL_ACCESS;

// Owns an open registry key and closes it when it goes out of scope.
class ScopedKey {
public:
    ScopedKey() = default;
    explicit ScopedKey(HKEY key) : key_(key) {}
    ~ScopedKey() { Close(); }
    ScopedKey(ScopedKey&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }
    ScopedKey& operator=(ScopedKey&& other) noexcept;
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    void Close();

private:
    HKEY key_ = nullptr;
};

// An empty ScopedKey when the key did not open; there is then nothing to close.
ScopedKey OpenRegistryKey(HKEY root, const char* subkey, REGSAM access);

// Type and byte count of a value, without its data.
bool ProbeRegistryValue(HKEY key, const char* valueName, DWORD& type, DWORD& size);

// Reads at most `capacity` bytes into `buffer`; a longer value fails.
bool ReadRegistryValue(HKEY key, const char* valueName, DWORD& type, BYTE* buffer, DWORD capacity);

// Writes the value, replacing any earlier value of that name.
bool WriteRegistryValue(HKEY key, const char* valueName, DWORD type, const BYTE* data, DWORD size);

enum class DeleteResult { Deleted, Absent, Failed };
DeleteResult DeleteRegistryValue(HKEY key, const char* valueName);
