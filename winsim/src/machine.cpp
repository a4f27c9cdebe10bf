// The machine's state, its set-up helpers and its resource accounting.
#include "winsim/machine.h"

#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace winsim {

const char* const kAdministratorsSid = "S-1-5-32-544";
const char* const kUsersSid = "S-1-5-32-545";

namespace {
char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = static_cast<unsigned char>(FoldAscii(a[i]));
        const unsigned char cb = static_cast<unsigned char>(FoldAscii(b[i]));
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    CaseInsensitiveLess less;
    return !less(a, b) && !less(b, a);
}

Machine& machine() {
    static Machine instance;
    return instance;
}

void Reset() {
    internal::ReleaseAllHandles();
    machine() = Machine();
    machine().groups = {{kUsersSid}, {kAdministratorsSid}};
    AddDirectory(machine().systemDirectory);
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void AddDirectory(const std::string& path) {
    std::string current = path;
    while (!current.empty() && current.back() != ':') {
        machine().directories.insert(current);
        current = ParentOf(current);
    }
}

void AddFile(const std::string& path) {
    machine().files.insert(path);
    AddDirectory(ParentOf(path));
}

RegistryKey& AddKey(const std::string& path) { return machine().keys[path]; }

void SetValue(const std::string& key, const std::string& value, DWORD type, const Bytes& data) {
    RegistryValue& stored = AddKey(key).values[value];
    stored.type = type;
    stored.data = data;
}

void SetDword(const std::string& key, const std::string& value, DWORD data) {
    Bytes bytes(4);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(data >> (8 * i));
    SetValue(key, value, REG_DWORD, bytes);
}

void SetString(const std::string& key, const std::string& value, const std::string& text, DWORD type) {
    Bytes bytes = ToBytes(text);
    bytes.push_back(0);
    SetValue(key, value, type, bytes);
}

const RegistryValue* FindValue(const std::string& key, const std::string& value) {
    const auto k = machine().keys.find(key);
    if (k == machine().keys.end()) return nullptr;
    const auto v = k->second.values.find(value);
    return v == k->second.values.end() ? nullptr : &v->second;
}

Bytes ToBytes(const std::string& raw) { return Bytes(raw.begin(), raw.end()); }

bool AllReleased() {
    const Machine& m = machine();
    return m.openKeys == 0 && m.openTokens == 0 && m.openFindHandles == 0 && m.allocatedSids == 0 &&
           m.openAllocations == 0 && m.fsRedirectionDisabled == 0;
}

std::string ResourceReport() {
    const Machine& m = machine();
    std::ostringstream out;
    out << "keys=" << m.openKeys << " tokens=" << m.openTokens << " finds=" << m.openFindHandles
        << " sids=" << m.allocatedSids << " allocations=" << m.openAllocations
        << " fsRedirectionDisabled=" << m.fsRedirectionDisabled;
    return out.str();
}

std::vector<std::string> CallsStartingWith(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& call : machine().calls) {
        if (call.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
    }
    return found;
}

bool Called(const std::string& prefix) { return !CallsStartingWith(prefix).empty(); }

namespace internal {

void Log(const std::string& line) { machine().calls.push_back(line); }

void Error(const std::string& what) {
    machine().errors.push_back(what);
    std::fprintf(stderr, "winsim: %s\n", what.c_str());
}

std::string Hex(unsigned long value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

std::string Text(const char* text) { return text ? std::string("\"") + text + "\"" : "NULL"; }

}  // namespace internal
}  // namespace winsim
