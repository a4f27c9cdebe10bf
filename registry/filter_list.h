// The list of filter driver names held in a REG_MULTI_SZ value, and the
// codec between that layout and memory.
//
// REG_MULTI_SZ layout: each entry's bytes and a zero byte, then one more zero
// byte; the empty list is two zero bytes. An empty entry would read back as
// the end of the list, so a FilterList never holds one.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

// The entries in order, each held with its terminating zero byte, one after
// another in one block: the value's layout without its final terminator. A
// large value is parsed with one copy instead of one allocation per entry.
class FilterList {
public:
    // Eight zero bytes always follow the entries, so the block can be
    // scanned a word at a time without reading past its end.
    static constexpr size_t kPadding = 8;

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::string_view*;
        using reference = std::string_view;

        const_iterator() = default;
        explicit const_iterator(const char* at) : at_(at), length_(std::strlen(at)) {}
        std::string_view operator*() const { return std::string_view(at_, length_); }
        const_iterator& operator++() {
            at_ += length_ + 1;
            length_ = std::strlen(at_);
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& other) const { return at_ == other.at_; }
        bool operator!=(const const_iterator& other) const { return at_ != other.at_; }

    private:
        const char* at_ = nullptr;
        size_t length_ = 0;
    };

    FilterList() : block_(kPadding, '\0') {}
    FilterList(std::initializer_list<std::string_view> entries) : FilterList() {
        for (std::string_view entry : entries) push_back(entry);
    }

    const_iterator begin() const { return const_iterator(block_.data()); }
    const_iterator end() const { return const_iterator(block_.data() + block_.size() - kPadding); }
    bool empty() const { return block_.size() == kPadding; }
    size_t size() const;
    std::string_view operator[](size_t index) const;
    std::string_view back() const;

    // `entry` must be neither empty nor hold a zero byte. May throw std::bad_alloc.
    void push_back(std::string_view entry);

    // Calls `visit` with each entry in order until it returns true; true when
    // it did. Faster than the iterators on a long list: the zero bytes are
    // found a word at a time, not one entry after the other.
    template <typename Visit>
    bool AnyEntry(Visit visit) const;

    // The entries with their terminators, without the list's final terminator.
    std::string_view bytes() const { return std::string_view(block_.data(), block_.size() - kPadding); }

    friend bool operator==(const FilterList& a, const FilterList& b) { return a.block_ == b.block_; }
    friend bool operator!=(const FilterList& a, const FilterList& b) { return a.block_ != b.block_; }

    // The high bit of each byte of `word` that is zero, and no other bit.
    static std::uint64_t ZeroBytes(std::uint64_t word) {
        constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
        return ~(((word & kLow7) + kLow7) | word | kLow7);
    }

private:
    friend int ParseMultiString(const BYTE* bytes, DWORD length, FilterList& list);

    // Makes room for `extra` more bytes of entries; the only step that can throw.
    void Reserve(size_t extra) { block_.reserve(block_.size() + extra); }
    void AppendEntryBytes(const char* bytes, size_t count);

    std::string block_;  // the entries, then kPadding zero bytes
};

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the word scans number bytes from the low end");

template <typename Visit>
bool FilterList::AnyEntry(Visit visit) const {
    const char* data = block_.data();
    const size_t size = block_.size() - kPadding;
    size_t entryStart = 0;
    for (size_t at = 0; at < size; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + at, sizeof word);
        for (std::uint64_t zeros = ZeroBytes(word); zeros; zeros &= zeros - 1) {
            const size_t entryEnd = at + static_cast<size_t>(__builtin_ctzll(zeros)) / 8;
            if (entryEnd >= size) return false;  // the padding
            if (visit(std::string_view(data + entryStart, entryEnd - entryStart))) return true;
            entryStart = entryEnd + 1;
        }
    }
    return false;
}

constexpr int kParseNoData = 0;       // `bytes` was absent; the list is unchanged
constexpr int kParsed = 1;
constexpr int kParseOutOfMemory = 2;  // the list is unchanged

// Appends the entries found in `bytes` to `list`. `length` is the size of the
// buffer: the bytes read plus at least two zero bytes after them. Parsing
// stops at the first empty string, so a missing terminator or an empty string
// in the middle ends the list; nothing past `length` is ever read.
int ParseMultiString(const BYTE* bytes, DWORD length, FilterList& list);

// The REG_MULTI_SZ bytes for `list`. May throw std::bad_alloc.
std::vector<BYTE> EncodeMultiString(const FilterList& list);

constexpr int kMultiStringWritten = 0;
constexpr int kMultiStringNoWriteRights = 1;  // the key did not open with full access
constexpr int kMultiStringWriteFailed = 2;    // the value could not be replaced; the old value is kept

// Replaces the value with `list` as REG_MULTI_SZ, whatever type it had, and
// creates it when it is missing.
int WriteMultiString(const FilterList& list, HKEY root, const char* subkey, const char* valueName);
