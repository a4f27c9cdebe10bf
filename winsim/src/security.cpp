// Version, process token, SIDs and privileges.
#include "handles.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

using namespace winsim;
using namespace winsim::internal;

namespace {

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
const DWORD kShutdownPrivilegeLuid = 19;

// Binary SID: revision 1, sub-authority count, 6-byte big-endian authority,
// then the sub-authorities as little-endian DWORDs.
std::vector<BYTE> SidBytes(BYTE subCount, const BYTE authority[6], const DWORD* subs) {
    std::vector<BYTE> bytes(8 + 4 * subCount);
    bytes[0] = 1;
    bytes[1] = subCount;
    std::memcpy(&bytes[2], authority, 6);
    for (BYTE i = 0; i < subCount; ++i) std::memcpy(&bytes[8 + 4 * i], &subs[i], 4);
    return bytes;
}

std::vector<BYTE> ParseSid(const std::string& text) {
    // "S-1-<authority>-<sub>-<sub>..."
    std::vector<unsigned long long> parts;
    size_t pos = 2;
    while (pos <= text.size()) {
        const size_t dash = text.find('-', pos);
        parts.push_back(std::strtoull(text.substr(pos, dash - pos).c_str(), nullptr, 10));
        if (dash == std::string::npos) break;
        pos = dash + 1;
    }
    if (text.compare(0, 2, "S-") != 0 || parts.size() < 2) {
        Error("bad SID text " + text);
        return {};
    }
    BYTE authority[6] = {};
    for (int i = 0; i < 6; ++i) authority[5 - i] = static_cast<BYTE>(parts[1] >> (8 * i));
    std::vector<DWORD> subs;
    for (size_t i = 2; i < parts.size(); ++i) subs.push_back(static_cast<DWORD>(parts[i]));
    return SidBytes(static_cast<BYTE>(subs.size()), authority, subs.data());
}

TokenHandle* LiveToken(HANDLE token) {
    TokenHandle* handle = static_cast<TokenHandle*>(token);
    return Tables().tokens.count(handle) ? handle : nullptr;
}

bool ValidSid(PSID sid) {
    if (!sid) return false;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return bytes[0] == 1 && bytes[1] <= 15;
}

size_t SidLength(PSID sid) { return 8 + 4 * static_cast<const BYTE*>(sid)[1]; }

}  // namespace

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    Log("GetVersionExA");
    const Machine& m = machine();
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        Error("GetVersionExA: the record's size field must be 148");
        return FALSE;
    }
    if (m.getVersionFails) return FALSE;
    info->dwMajorVersion = m.majorVersion;
    info->dwMinorVersion = m.minorVersion;
    info->dwBuildNumber = m.buildNumber;
    info->dwPlatformId = m.platformId;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

HANDLE WINAPI GetCurrentProcess() { return kCurrentProcess; }

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token) {
    Log("OpenProcessToken(" + Hex(desiredAccess) + ")");
    if (process != kCurrentProcess || !token) {
        Error("OpenProcessToken: only the current process is simulated");
        return FALSE;
    }
    if (machine().openProcessTokenFails) return FALSE;
    TokenHandle* handle = new TokenHandle{desiredAccess};
    Tables().tokens.insert(handle);
    ++machine().openTokens;
    *token = handle;
    return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD infoLength,
                                PDWORD returnLength) {
    Log("GetTokenInformation(" + std::to_string(infoClass) + ", " + std::to_string(infoLength) + ")");
    TokenHandle* handle = LiveToken(token);
    if (!handle || infoClass != TokenGroups || !returnLength) {
        Error("GetTokenInformation: needs an open token, TokenGroups and a length out-parameter");
        return FALSE;
    }
    if (!(handle->access & TOKEN_QUERY)) return FALSE;
    if (machine().getTokenInformationFails) return FALSE;

    std::vector<std::vector<BYTE>> sids;
    for (const TokenGroup& group : machine().groups) sids.push_back(ParseSid(group.sid));
    const size_t arrayOffset = offsetof(TOKEN_GROUPS, Groups);
    size_t needed = arrayOffset + sids.size() * sizeof(SID_AND_ATTRIBUTES);
    const size_t sidsOffset = needed;
    for (const auto& sid : sids) needed += sid.size();
    *returnLength = static_cast<DWORD>(needed);
    if (!info || infoLength < needed) return FALSE;
    if (reinterpret_cast<std::uintptr_t>(info) % alignof(TOKEN_GROUPS) != 0) {
        Error("GetTokenInformation: the buffer is not aligned for TOKEN_GROUPS");
        return FALSE;
    }

    BYTE* out = static_cast<BYTE*>(info);
    TOKEN_GROUPS* groups = static_cast<TOKEN_GROUPS*>(info);
    groups->GroupCount = static_cast<DWORD>(sids.size());
    size_t at = sidsOffset;
    for (size_t i = 0; i < sids.size(); ++i) {
        std::memcpy(out + at, sids[i].data(), sids[i].size());
        SID_AND_ATTRIBUTES entry;
        entry.Sid = out + at;
        entry.Attributes = machine().groups[i].attributes;
        std::memcpy(out + arrayOffset + i * sizeof(SID_AND_ATTRIBUTES), &entry, sizeof entry);
        at += sids[i].size();
    }
    return TRUE;
}

BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount, DWORD sub0,
                                     DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6,
                                     DWORD sub7, PSID* sid) {
    Log("AllocateAndInitializeSid(" + std::to_string(subAuthorityCount) + ")");
    if (!authority || !sid || subAuthorityCount > 8) {
        Error("AllocateAndInitializeSid: bad arguments");
        return FALSE;
    }
    if (machine().allocateSidFails) return FALSE;
    const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    SidBlock* block = new SidBlock{SidBytes(subAuthorityCount, authority->Value, subs)};
    Tables().sids.insert(block);
    ++machine().allocatedSids;
    *sid = block->bytes.data();
    return TRUE;
}

BOOL WINAPI EqualSid(PSID sid1, PSID sid2) {
    if (!ValidSid(sid1) || !ValidSid(sid2)) {
        Error("EqualSid: not a valid SID");
        return FALSE;
    }
    const size_t length = SidLength(sid1);
    return length == SidLength(sid2) && std::memcmp(sid1, sid2, length) == 0;
}

PVOID WINAPI FreeSid(PSID sid) {
    Log("FreeSid");
    for (SidBlock* block : Tables().sids) {
        if (block->bytes.data() == sid) {
            Tables().sids.erase(block);
            delete block;
            --machine().allocatedSids;
            return nullptr;
        }
    }
    Error("FreeSid: not a SID from AllocateAndInitializeSid");
    return sid;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
    Log("LookupPrivilegeValueA(" + Text(systemName) + ", " + Text(name) + ")");
    if (systemName != nullptr || !name || !luid) {
        Error("LookupPrivilegeValueA: only the local system is simulated");
        return FALSE;
    }
    if (machine().lookupPrivilegeFails || std::strcmp(name, SE_SHUTDOWN_NAME) != 0) return FALSE;
    luid->LowPart = kShutdownPrivilegeLuid;
    luid->HighPart = 0;
    return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                                  PTOKEN_PRIVILEGES previousState, PDWORD returnLength) {
    Log("AdjustTokenPrivileges(" + std::to_string(disableAll) + ", " + std::to_string(bufferLength) + ")");
    TokenHandle* handle = LiveToken(token);
    if (!handle || !newState || previousState || returnLength) {
        Error("AdjustTokenPrivileges: needs an open token and a new state only");
        return FALSE;
    }
    if (!(handle->access & TOKEN_ADJUST_PRIVILEGES)) return FALSE;
    if (machine().adjustPrivilegesFails) return FALSE;
    if (machine().adjustPrivilegesNotAssigned) return TRUE;  // partial assignment: nothing enabled
    for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = newState->Privileges[i];
        if (entry.Luid.LowPart == kShutdownPrivilegeLuid && entry.Luid.HighPart == 0) {
            machine().shutdownPrivilegeEnabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    Log("CloseHandle");
    TokenHandle* token = LiveToken(handle);
    if (!token) {
        Error("CloseHandle: not an open handle");
        return FALSE;
    }
    Tables().tokens.erase(token);
    delete token;
    --machine().openTokens;
    return TRUE;
}
