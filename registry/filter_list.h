// The list of filter driver names held in a REG_MULTI_SZ value, and the
// codec between that layout and memory.
//
// REG_MULTI_SZ layout: each entry's bytes and a zero byte, then one more zero
// byte; the empty list is two zero bytes. An empty entry would read back as
// the end of the list, so a FilterList never holds one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

using FilterList = std::vector<std::string>;

constexpr int kParseNoData = 0;       // `bytes` was absent; the list is unchanged
constexpr int kParsed = 1;
constexpr int kParseOutOfMemory = 2;  // the list holds the entries parsed before memory ran out

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
