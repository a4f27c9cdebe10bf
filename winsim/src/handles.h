#pragma once

#include "internal.h"

#include <set>
#include <string>
#include <vector>

namespace winsim {
namespace internal {

struct KeyHandle {
    std::string path;  // full path after any WOW64 redirection
    REGSAM access = 0;
};
struct TokenHandle {
    DWORD access = 0;
};
struct FindHandle {
    std::string pattern;
};
struct SidBlock {
    std::vector<BYTE> bytes;
};

struct HandleTables {
    std::set<KeyHandle*> keys;
    std::set<TokenHandle*> tokens;
    std::set<FindHandle*> finds;
    std::set<SidBlock*> sids;
};
HandleTables& Tables();

}  // namespace internal
}  // namespace winsim
