// The five registry calls, over Machine::keys.
#include "handles.h"

#include <cstring>

using namespace winsim;
using namespace winsim::internal;

namespace {

const REGSAM kViewFlags = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// A 32-bit process on 64-bit Windows sees SOFTWARE through WOW6432Node
// unless it asks for the 64-bit view; SYSTEM is shared between the views.
std::string ViewPath(const std::string& subkey, REGSAM access) {
    const Machine& m = machine();
    if (!m.windows64) return subkey;
    const bool view32 = (access & KEY_WOW64_32KEY) || !(access & KEY_WOW64_64KEY);
    if (!view32) return subkey;
    const std::string software = "SOFTWARE\\";
    if (!StartsWithNoCase(subkey, software) || StartsWithNoCase(subkey, "SOFTWARE\\WOW6432Node")) return subkey;
    return software + "WOW6432Node\\" + subkey.substr(software.size());
}

KeyHandle* LiveKey(HKEY key) {
    KeyHandle* handle = reinterpret_cast<KeyHandle*>(key);
    if (Tables().keys.count(handle) == 0) return nullptr;
    return handle;
}

RegistryKey* StoredKey(const KeyHandle& handle) {
    auto found = machine().keys.find(handle.path);
    return found == machine().keys.end() ? nullptr : &found->second;
}

// The fault that applies to this call, if any; a fault with a count is used up.
const ValueFault* FindFault(std::vector<ValueFault>& faults, const std::string& key, const std::string& value) {
    for (ValueFault& fault : faults) {
        if (fault.times == 0 || !EqualsNoCase(fault.key, key) || !EqualsNoCase(fault.value, value)) continue;
        if (fault.times > 0) --fault.times;
        return &fault;
    }
    return nullptr;
}

std::string Name(LPCSTR valueName) { return valueName ? valueName : ""; }

LSTATUS Logged(const std::string& call, LSTATUS result) {
    Log(call + " = " + std::to_string(result));
    return result;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    const std::string call = "RegOpenKeyExA(" + std::string(subKey ? subKey : "") + ", " + Hex(access) + ")";
    if (root != HKEY_LOCAL_MACHINE || subKey == nullptr || result == nullptr || options != 0) {
        Error("RegOpenKeyExA: only HKEY_LOCAL_MACHINE, a subkey, options 0 and a result are simulated");
        return Logged(call, ERROR_INVALID_PARAMETER);
    }
    if ((access & kViewFlags) && !machine().windows64) {
        // Windows 2000 rejects the view flags; the tool must not pass them on 32-bit Windows.
        Error("RegOpenKeyExA: WOW64 view flag passed on 32-bit Windows");
        return Logged(call, ERROR_INVALID_PARAMETER);
    }
    const REGSAM rights = access & ~kViewFlags;
    if (rights != KEY_READ && rights != KEY_ALL_ACCESS) {
        Error("RegOpenKeyExA: access " + Hex(access) + " is not simulated");
        return Logged(call, ERROR_INVALID_PARAMETER);
    }
    const std::string path = ViewPath(subKey, access);
    auto found = machine().keys.find(path);
    if (found == machine().keys.end()) return Logged(call, ERROR_FILE_NOT_FOUND);
    const RegistryKey& key = found->second;
    if (!key.readable || (rights == KEY_ALL_ACCESS && !key.writable)) return Logged(call, ERROR_ACCESS_DENIED);

    KeyHandle* handle = new KeyHandle{path, rights};
    Tables().keys.insert(handle);
    ++machine().openKeys;
    *result = reinterpret_cast<HKEY>(handle);
    return Logged(call, ERROR_SUCCESS);
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize) {
    KeyHandle* handle = LiveKey(key);
    const std::string name = Name(valueName);
    std::string call = "RegQueryValueExA(" + (handle ? handle->path : std::string("?")) + ", " + Text(valueName) +
                       ", " + (data ? "buffer" : "NULL") + ", " + (dataSize ? std::to_string(*dataSize) : "NULL") +
                       ")";
    if (!handle) {
        Error("RegQueryValueExA on a key that is not open");
        return Logged(call, ERROR_INVALID_HANDLE);
    }
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        Error("RegQueryValueExA: reserved must be NULL and a buffer needs a size");
        return Logged(call, ERROR_INVALID_PARAMETER);
    }
    RegistryKey* stored = StoredKey(*handle);
    if (!stored) return Logged(call, ERROR_FILE_NOT_FOUND);
    if (const ValueFault* fault = FindFault(machine().queryFaults, handle->path, name)) {
        return Logged(call, fault->error);
    }
    if (data != nullptr) {
        if (const ValueFault* fault = FindFault(machine().queryDataFaults, handle->path, name)) {
            return Logged(call, fault->error);
        }
    }
    auto found = stored->values.find(name);
    if (found == stored->values.end()) return Logged(call, ERROR_FILE_NOT_FOUND);
    const RegistryValue& value = found->second;
    const DWORD storedSize = static_cast<DWORD>(value.data.size());

    if (data == nullptr) {
        if (type) *type = value.type;
        if (dataSize) {
            *dataSize = storedSize;
            for (const auto& override : machine().probedSizeOverrides) {
                if (EqualsNoCase(override.first.key, handle->path) && EqualsNoCase(override.first.value, name)) {
                    *dataSize = override.second;
                }
            }
        }
        return Logged(call, ERROR_SUCCESS);
    }
    if (type) *type = value.type;
    if (storedSize > *dataSize) {
        *dataSize = storedSize;
        return Logged(call, ERROR_MORE_DATA);
    }
    if (storedSize) std::memcpy(data, value.data.data(), storedSize);
    *dataSize = storedSize;
    return Logged(call, ERROR_SUCCESS);
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD dataSize) {
    KeyHandle* handle = LiveKey(key);
    const std::string name = Name(valueName);
    const std::string call = "RegSetValueExA(" + (handle ? handle->path : std::string("?")) + ", " +
                             Text(valueName) + ", " + std::to_string(type) + ", " + std::to_string(dataSize) + ")";
    if (!handle) {
        Error("RegSetValueExA on a key that is not open");
        return Logged(call, ERROR_INVALID_HANDLE);
    }
    if (reserved != 0 || (data == nullptr && dataSize != 0)) {
        Error("RegSetValueExA: reserved must be 0 and a size needs data");
        return Logged(call, ERROR_INVALID_PARAMETER);
    }
    if (!(handle->access & KEY_SET_VALUE)) return Logged(call, ERROR_ACCESS_DENIED);
    RegistryKey* stored = StoredKey(*handle);
    if (!stored) return Logged(call, ERROR_FILE_NOT_FOUND);
    if (const ValueFault* fault = FindFault(machine().setFaults, handle->path, name)) {
        return Logged(call, fault->error);
    }
    RegistryValue& value = stored->values[name];
    value.type = type;
    value.data.assign(data, data + dataSize);
    return Logged(call, ERROR_SUCCESS);
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    KeyHandle* handle = LiveKey(key);
    const std::string name = Name(valueName);
    const std::string call = "RegDeleteValueA(" + (handle ? handle->path : std::string("?")) + ", " +
                             Text(valueName) + ")";
    if (!handle) {
        Error("RegDeleteValueA on a key that is not open");
        return Logged(call, ERROR_INVALID_HANDLE);
    }
    if (!(handle->access & KEY_SET_VALUE)) return Logged(call, ERROR_ACCESS_DENIED);
    RegistryKey* stored = StoredKey(*handle);
    if (!stored) return Logged(call, ERROR_FILE_NOT_FOUND);
    if (const ValueFault* fault = FindFault(machine().deleteFaults, handle->path, name)) {
        return Logged(call, fault->error);
    }
    if (stored->values.erase(name) == 0) return Logged(call, ERROR_FILE_NOT_FOUND);
    return Logged(call, ERROR_SUCCESS);
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    KeyHandle* handle = LiveKey(key);
    const std::string call = "RegCloseKey(" + (handle ? handle->path : std::string("?")) + ")";
    if (!handle) {
        Error("RegCloseKey on a key that is not open");
        return Logged(call, ERROR_INVALID_HANDLE);
    }
    Tables().keys.erase(handle);
    delete handle;
    --machine().openKeys;
    return Logged(call, ERROR_SUCCESS);
}
