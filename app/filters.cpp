#include "filters.h"

#include "messages.h"
#include "names.h"
#include "registry/zeroed_buffer.h"

#include <cstring>
#include <new>

ScopedKey OpenCdromClassKey() { return OpenRegistryKey(HKEY_LOCAL_MACHINE, kCdromClassKey, kReadAccess); }

namespace {

bool ParseFilterData(const BYTE* buffer, DWORD bufferSize, DWORD type, FilterList& entries) {
    if (type == REG_MULTI_SZ) return ParseMultiString(buffer, bufferSize, entries) != kParseOutOfMemory;
    if (type != REG_SZ) return true;  // whatever another type held is not carried over
    try {
        // The two zero bytes after the data end the text at the latest there.
        const std::string_view text(reinterpret_cast<const char*>(buffer));
        if (!text.empty()) entries.push_back(text);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

bool ReadFilterValue(ScopedKey classKey, FilterValue& value) {
    value.type = 0;
    value.entries = FilterList();
    DWORD type = 0;
    DWORD size = 0;
    if (!ProbeRegistryValue(classKey.get(), kUpperFiltersValue, type, size)) return true;

    // Two zero bytes follow the data so that every scan of it ends inside the
    // buffer. A size that cannot take them, or cannot be allocated, is a
    // failed read.
    if (size > MAXDWORD - 2) return false;
    const DWORD bufferSize = size + 2;
    const ZeroedBuffer buffer = AllocateZeroed(bufferSize);
    if (!buffer) return false;
    if (!ReadRegistryValue(classKey.get(), kUpperFiltersValue, type, buffer.get(), size)) return false;
    classKey.Close();

    value.type = type;
    return ParseFilterData(buffer.get(), bufferSize, type, value.entries);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool AddFilterIfMissing(FilterList& entries, const char* name) {
    const std::string_view wanted = name;
    if (entries.AnyEntry([wanted](std::string_view entry) { return EqualsIgnoringAsciiCase(entry, wanted); })) {
        return true;
    }
    entries.push_back(name);
    return false;
}

const char* ChooseRepairQuestion(bool entryWasPresent, DWORD valueType, bool lateStart) {
    if (entryWasPresent && valueType == REG_MULTI_SZ && !lateStart) return MsgAskRepairAnyway;
    return MsgAskRepair;
}
