// Arbitrary registry data through the multi-string codec and the filter
// match, the way the tool reads UpperFilters: the bytes read, then two zero
// bytes. The buffer is a heap block of exactly that size, so AddressSanitizer
// reports any read past `length`.
#include "app/filters.h"
#include "app/names.h"
#include "registry/filter_list.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Aborts, so that libFuzzer keeps the input as a crash reproducer.
void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "multi_string_fuzzer: %s\n", what);
    std::abort();
}

// The tool's read buffer: the data and two zero bytes, and not one byte more.
std::unique_ptr<BYTE[]> BufferAsTheToolReads(const uint8_t* data, size_t size) {
    std::unique_ptr<BYTE[]> buffer(new BYTE[size + 2]);
    if (size) std::memcpy(buffer.get(), data, size);
    buffer[size] = 0;
    buffer[size + 1] = 0;
    return buffer;
}

FilterList Parse(const BYTE* bytes, size_t length) {
    FilterList list;
    Check(ParseMultiString(bytes, static_cast<DWORD>(length), list) == kParsed, "parse did not report success");
    return list;
}

// The match rule written out independently of the production one: only A to
// Z fold, every other byte (128 to 255 included) must be equal.
char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool MatchesFilterName(std::string_view entry) {
    const size_t length = std::strlen(kFilterName);
    if (entry.size() != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (FoldAscii(entry[i]) != FoldAscii(kFilterName[i])) return false;
    }
    return true;
}

void CheckEntries(const FilterList& list) {
    for (std::string_view entry : list) {
        Check(!entry.empty(), "an entry is empty");
        Check(entry.find('\0') == std::string_view::npos, "an entry holds a zero byte");
    }
}

// Parsing stops at the first empty text and nowhere else: the entries with
// their terminators are exactly the bytes at the start of the buffer, and the
// byte after them is zero. Encoding the list gives those bytes and that zero.
void CheckParseConsumedUpToFirstEmptyText(const BYTE* buffer, size_t length, const FilterList& list,
                                          const std::vector<BYTE>& encoded) {
    if (list.empty()) {
        Check(buffer[0] == 0, "parse found no entry in data that starts with one");
        Check(encoded == std::vector<BYTE>({0, 0}), "the empty list does not encode as two zero bytes");
        return;
    }
    size_t entryBytes = 0;
    for (std::string_view entry : list) entryBytes += entry.size() + 1;
    Check(encoded.size() == entryBytes + 1, "the encoding is not each entry and its zero, then one more zero");
    Check(encoded.size() <= length, "the entries span more bytes than were parsed");
    Check(std::memcmp(encoded.data(), buffer, encoded.size()) == 0,
          "the entries are not the data up to its first empty text");
}

void CheckRoundTrip(const FilterList& list, const std::vector<BYTE>& encoded) {
    // Written, then read back by the tool: the same two zero bytes follow.
    const std::unique_ptr<BYTE[]> reread = BufferAsTheToolReads(encoded.data(), encoded.size());
    const FilterList again = Parse(reread.get(), encoded.size() + 2);
    Check(again == list, "parsing the encoded list gives another list");
    Check(EncodeMultiString(again) == encoded, "encoding the list again gives other bytes");
}

void CheckAddFilterIfMissing(const FilterList& list) {
    bool listed = false;
    for (std::string_view entry : list) {
        const bool matches = MatchesFilterName(entry);
        Check(EqualsIgnoringAsciiCase(entry, kFilterName) == matches, "the case-insensitive compare disagrees");
        listed = listed || matches;
    }

    FilterList after = list;
    const bool found = AddFilterIfMissing(after, kFilterName);
    Check(found == listed, "AddFilterIfMissing misjudged whether the name is listed");
    Check(after.size() == list.size() + (found ? 0 : 1), "the list did not grow by exactly the missing entry");
    Check(std::equal(list.begin(), list.end(), after.begin()), "an earlier entry changed");
    if (!found) Check(after.back() == kFilterName, "the appended entry is not spelled as the filter name");

    bool matchAfter = false;
    for (std::string_view entry : after) matchAfter = matchAfter || MatchesFilterName(entry);
    Check(matchAfter, "no entry matches after AddFilterIfMissing");
    CheckEntries(after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A REG_MULTI_SZ value larger than a DWORD cannot be read.
    if (size > 0xFFFFFFFFu - 2) return 0;
    const size_t length = size + 2;
    const std::unique_ptr<BYTE[]> buffer = BufferAsTheToolReads(data, size);

    const FilterList list = Parse(buffer.get(), length);
    CheckEntries(list);

    // Parsing appends: what the list already held stays in front.
    FilterList appended = {"held"};
    Check(ParseMultiString(buffer.get(), static_cast<DWORD>(length), appended) == kParsed,
          "parse did not report success");
    Check(appended.size() == list.size() + 1 && appended[0] == "held" &&
              std::equal(list.begin(), list.end(), std::next(appended.begin())),
          "parse did not append to the list it was given");

    const std::vector<BYTE> encoded = EncodeMultiString(list);
    CheckParseConsumedUpToFirstEmptyText(buffer.get(), length, list, encoded);
    CheckRoundTrip(list, encoded);
    CheckAddFilterIfMissing(list);
    return 0;
}
