// Live handle tables: every key, token, find handle and SID the machine
// hands out is recorded here until the tool gives it back, so a double
// close or a stray handle is caught rather than ignored.
#include "handles.h"

namespace winsim {
namespace internal {

HandleTables& Tables() {
    static HandleTables tables;
    return tables;
}

void ReleaseAllHandles() {
    HandleTables& t = Tables();
    for (KeyHandle* key : t.keys) delete key;
    for (TokenHandle* token : t.tokens) delete token;
    for (FindHandle* find : t.finds) delete find;
    for (SidBlock* sid : t.sids) delete sid;
    t = HandleTables();
}

}  // namespace internal
}  // namespace winsim
