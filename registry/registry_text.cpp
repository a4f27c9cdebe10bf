#include "registry_text.h"

#include "registry_calls.h"

namespace {
constexpr DWORD kTextBufferSize = 1024;
}

std::string ReadRegistryText(HKEY root, const char* subkey, const char* valueName, REGSAM viewFlags) {
    // One byte short of the buffer, so what is read always ends in a zero.
    BYTE buffer[kTextBufferSize] = {};
    DWORD type = 0;
    ScopedKey key = OpenRegistryKey(root, subkey, kFullAccess | viewFlags);
    if (!key) return std::string();
    if (!ReadRegistryValue(key.get(), valueName, type, buffer, kTextBufferSize - 1)) return std::string();
    key.Close();
    if (type != REG_SZ) return std::string();
    return std::string(reinterpret_cast<const char*>(buffer));
}
