#include "filter_list.h"

#include "registry_calls.h"
#include "zeroed_buffer.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

size_t FilterList::size() const { return static_cast<size_t>(std::distance(begin(), end())); }

std::string_view FilterList::operator[](size_t index) const {
    const_iterator entry = begin();
    std::advance(entry, index);
    return *entry;
}

std::string_view FilterList::back() const {
    const std::string_view entries = bytes();
    if (entries.empty()) return std::string_view();
    // The last entry starts after the zero byte that ends the one before it.
    const size_t previousEnd = entries.find_last_of('\0', entries.size() - 2);
    const size_t start = previousEnd == std::string_view::npos ? 0 : previousEnd + 1;
    return entries.substr(start, entries.size() - 1 - start);
}

void FilterList::push_back(std::string_view entry) {
    Reserve(entry.size() + 1);
    block_.resize(block_.size() - kPadding);
    block_.append(entry.data(), entry.size());
    block_.append(kPadding + 1, '\0');
}

void FilterList::AppendEntryBytes(const char* bytes, size_t count) {
    block_.resize(block_.size() - kPadding);
    block_.append(bytes, count);
    block_.append(kPadding, '\0');
}

namespace {

// Room for the one entry a repair may append, so that appending it does not
// copy a large list once more.
constexpr size_t kRoomForOneMore = 32;

// The offset of the first empty string: the first zero byte that begins the
// text or follows another zero byte; `length` when there is none. Eight bytes
// at a time, since a large value is mostly short names.
size_t FindEmptyString(const char* text, size_t length) {
    std::uint64_t previousZeros = 0x80ULL << 56;  // as if a zero came before the text
    size_t at = 0;
    for (; at + 8 <= length; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, text + at, sizeof word);
        const std::uint64_t zeros = FilterList::ZeroBytes(word);
        const std::uint64_t zeroAfterZero = zeros & ((zeros << 8) | (previousZeros >> 56));
        if (zeroAfterZero) return at + static_cast<size_t>(__builtin_ctzll(zeroAfterZero)) / 8;
        previousZeros = zeros;
    }
    bool previousZero = (previousZeros >> 63) != 0;
    for (; at < length; ++at) {
        const bool zero = text[at] == '\0';
        if (zero && previousZero) return at;
        previousZero = zero;
    }
    return length;
}

}  // namespace

int ParseMultiString(const BYTE* bytes, DWORD length, FilterList& list) {
    if (!bytes) return kParseNoData;
    const char* text = reinterpret_cast<const char*>(bytes);

    // Complete entries end at the first empty string. Without one inside the
    // buffer, they end at its last zero byte, and what follows is a last
    // string whose terminator is missing.
    size_t entriesEnd = FindEmptyString(text, length);
    size_t tailLength = 0;
    if (entriesEnd == length) {
        while (entriesEnd > 0 && text[entriesEnd - 1] != '\0') --entriesEnd;
        tailLength = length - entriesEnd;
    }

    try {
        list.Reserve(entriesEnd + (tailLength ? tailLength + 1 : 0) + kRoomForOneMore);
    } catch (const std::bad_alloc&) {
        return kParseOutOfMemory;
    }
    list.AppendEntryBytes(text, entriesEnd);
    if (tailLength) list.push_back(std::string_view(text + entriesEnd, tailLength));
    return kParsed;
}

std::vector<BYTE> EncodeMultiString(const FilterList& list) {
    const std::string_view entries = list.bytes();
    // After the last entry one more zero; the empty list is two zeros.
    std::vector<BYTE> bytes(entries.empty() ? 2 : entries.size() + 1, 0);
    std::memcpy(bytes.data(), entries.data(), entries.size());
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
    if (data.size() != static_cast<DWORD>(data.size()) || !SaveValue(key.get(), valueName, previous)) {
        return kMultiStringWriteFailed;
    }

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
