#include "filter_list.h"

#include "registry_calls.h"
#include "zeroed_buffer.h"

#include <cstring>
#include <new>

int ParseMultiString(const BYTE* bytes, DWORD length, FilterList& list) {
    if (!bytes) return kParseNoData;
    try {
        DWORD offset = 0;
        while (offset < length) {
            const char* text = reinterpret_cast<const char*>(bytes + offset);
            const void* zero = std::memchr(text, 0, length - offset);
            const DWORD textLength =
                zero ? static_cast<DWORD>(static_cast<const char*>(zero) - text) : length - offset;
            if (textLength == 0) break;  // the list terminator, or an empty string that ends the list
            list.emplace_back(text, textLength);
            offset += textLength + 1;
        }
    } catch (const std::bad_alloc&) {
        return kParseOutOfMemory;
    }
    return kParsed;
}

std::vector<BYTE> EncodeMultiString(const FilterList& list) {
    size_t total = 0;
    for (const std::string& entry : list) total += entry.size() + 1;
    total = total == 0 ? 2 : total + 1;
    std::vector<BYTE> bytes(total, 0);
    size_t at = 0;
    for (const std::string& entry : list) {
        std::memcpy(bytes.data() + at, entry.data(), entry.size());
        at += entry.size() + 1;
    }
    return bytes;
}

namespace {

struct SavedValue {
    bool present = false;
    DWORD type = 0;
    DWORD size = 0;
    ZeroedBuffer data;
};

// Keeps a copy of the value so that a failed rewrite can put it back. False
// when the value exists but cannot be copied.
bool SaveValue(HKEY key, const char* valueName, SavedValue& saved) {
    DWORD type = 0;
    DWORD size = 0;
    if (!ProbeRegistryValue(key, valueName, type, size)) return true;  // nothing there to keep
    saved.data = AllocateZeroed(size);
    if (!saved.data) return false;
    if (!ReadRegistryValue(key, valueName, saved.type, saved.data.get(), size)) return false;
    saved.present = true;
    saved.size = size;
    return true;
}

}  // namespace

int WriteMultiString(const FilterList& list, HKEY root, const char* subkey, const char* valueName) {
    ScopedKey key = OpenRegistryKey(root, subkey, kFullAccess);
    if (!key) return kMultiStringNoWriteRights;

    std::vector<BYTE> data;
    SavedValue previous;
    try {
        data = EncodeMultiString(list);
    } catch (const std::bad_alloc&) {
        return kMultiStringWriteFailed;
    }
    if (data.size() != static_cast<DWORD>(data.size()) || !SaveValue(key.get(), valueName, previous)) return kMultiStringWriteFailed;

    // The value is deleted first so that it is written fresh, with its new
    // type, whatever type it had.
    if (DeleteRegistryValue(key.get(), valueName) == DeleteResult::Failed) return kMultiStringWriteFailed;
    if (WriteRegistryValue(key.get(), valueName, REG_MULTI_SZ, data.data(), static_cast<DWORD>(data.size()))) {
        return kMultiStringWritten;
    }
    if (previous.present) {
        WriteRegistryValue(key.get(), valueName, previous.type, previous.data.get(), previous.size);
    }
    return kMultiStringWriteFailed;
}
