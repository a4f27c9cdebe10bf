// Reading the CD-ROM class's UpperFilters value and judging it.
#pragma once

#include "registry/filter_list.h"
#include "registry/registry_calls.h"

#include <windows.h>

#include <string_view>

// The UpperFilters value as it was read: its registry type (0 when there was
// no value to read) and the filter names it lists.
struct FilterValue {
    DWORD type = 0;
    FilterList entries;
};

// The CD-ROM class key, opened for reading; empty when it did not open.
ScopedKey OpenCdromClassKey();

// Reads UpperFilters through `classKey` and closes the key. A missing value
// is an empty list; only a value that reports a size and then cannot be read
// (or held in memory) is a failure. REG_MULTI_SZ is parsed, REG_SZ is one
// entry, and any other type gives the empty list.
bool ReadFilterValue(ScopedKey classKey, FilterValue& value);

// Equal when ASCII letters are compared without regard to case; every other
// byte must match exactly, whatever the locale or code page.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Appends `name` unless an entry already matches it; true when one did.
bool AddFilterIfMissing(FilterList& entries, const char* name);

// The question to put to the user: the plain "not correctly installed" one
// unless the entry was present in a REG_MULTI_SZ value and the service
// already starts with the system.
const char* ChooseRepairQuestion(bool entryWasPresent, DWORD valueType, bool lateStart);
