#include "service_start.h"

#include "registry_calls.h"

#include <string>

namespace {
constexpr const char* kServicesKeyPrefix = "SYSTEM\\CurrentControlSet\\Services\\";
constexpr const char* kStartValue = "Start";
constexpr DWORD kSystemStart = 1;
}  // namespace

int ServiceStart(const char* service, bool write) {
    const std::string path = std::string(kServicesKeyPrefix) + service;
    ScopedKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, path.c_str(), kFullAccess);
    if (!key) return write ? kServiceNotOpened : kStartUnreadable;

    if (write) {
        const DWORD start = kSystemStart;
        const bool written =
            WriteRegistryValue(key.get(), kStartValue, REG_DWORD, reinterpret_cast<const BYTE*>(&start), sizeof start);
        return written ? kStartWritten : kStartWriteFailed;
    }

    // Whatever the value holds, up to 4 bytes, lands in the low bytes of a
    // zeroed integer; its type is not looked at.
    DWORD start = 0;
    DWORD type = 0;
    if (!ReadRegistryValue(key.get(), kStartValue, type, reinterpret_cast<BYTE*>(&start), sizeof start)) {
        return kStartUnreadable;
    }
    return start > 1 ? kStartsLater : kStartsWithSystem;
}
