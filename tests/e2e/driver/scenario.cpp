#include "scenario.h"

#include "app/messages.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

const char* const kProductExe = "C:\\Program Files\\Ulvex\\Ulvex.exe";

namespace {

RegValue MakeValue(DWORD type, const std::vector<BYTE>& bytes) {
    RegValue value;
    value.present = true;
    value.type = type;
    value.bytes = bytes;
    return value;
}

RegValue Text(DWORD type, const std::string& text) {
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return MakeValue(type, bytes);
}

RegValue Multi(const std::vector<std::string>& entries) {
    std::vector<BYTE> bytes;
    for (const std::string& entry : entries) {
        bytes.insert(bytes.end(), entry.begin(), entry.end());
        bytes.push_back(0);
    }
    bytes.push_back(0);
    return MakeValue(REG_MULTI_SZ, bytes);
}

const char* TypeName(DWORD type) {
    switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return nullptr;
    }
}

bool ParseType(const std::string& word, DWORD& type) {
    static const std::map<std::string, DWORD> names = {
        {"sz", REG_SZ}, {"expand-sz", REG_EXPAND_SZ}, {"binary", REG_BINARY}, {"dword", REG_DWORD},
        {"multi", REG_MULTI_SZ}};
    const auto found = names.find(word);
    if (found != names.end()) {
        type = found->second;
        return true;
    }
    char* end = nullptr;
    const unsigned long number = std::strtoul(word.c_str(), &end, 0);
    if (word.empty() || *end) return false;
    type = static_cast<DWORD>(number);
    return true;
}

// Splits a line into words. A double-quoted word may hold spaces; inside it
// \" stands for a quote and every other backslash is literal, so Windows
// paths are written as they are. '#' outside quotes starts a comment.
bool Tokenize(const std::string& line, std::vector<std::string>& words, std::vector<bool>& quoted) {
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            std::string word;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
                    word += '"';
                    i += 2;
                } else if (line[i] == '"') {
                    closed = true;
                    ++i;
                    break;
                } else {
                    word += line[i++];
                }
            }
            if (!closed) return false;
            words.push_back(word);
            quoted.push_back(true);
        } else {
            const size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
            words.push_back(line.substr(start, i - start));
            quoted.push_back(false);
        }
    }
    return true;
}

class LineParser {
public:
    LineParser(std::vector<std::string> words, std::vector<bool> quoted)
        : words_(std::move(words)), quoted_(std::move(quoted)) {}

    bool AtEnd() const { return at_ >= words_.size(); }
    bool Word(std::string& word) {
        if (AtEnd() || quoted_[at_]) return false;
        word = words_[at_++];
        return true;
    }
    bool QuotedText(std::string& text) {
        if (AtEnd() || !quoted_[at_]) return false;
        text = words_[at_++];
        return true;
    }
    bool Number(long& number) {
        std::string word;
        if (!Word(word)) return false;
        char* end = nullptr;
        number = std::strtol(word.c_str(), &end, 0);
        return !word.empty() && !*end;
    }
    bool HexBytes(std::vector<BYTE>& bytes) {
        std::string word;
        while (Word(word)) {
            char* end = nullptr;
            const unsigned long byte = std::strtoul(word.c_str(), &end, 16);
            if (word.size() > 2 || *end || byte > 0xff) return false;
            bytes.push_back(static_cast<BYTE>(byte));
        }
        return AtEnd();
    }

    // absent | dword N | sz "t" | expand-sz "t" | multi "a" "b"... |
    // binary HEX... | raw TYPE HEX...
    bool Value(RegValue& value) {
        std::string kind;
        if (!Word(kind)) return false;
        value = RegValue();
        if (kind == "absent") return true;
        if (kind == "dword") {
            long number = 0;
            if (!Number(number)) return false;
            const DWORD dword = static_cast<DWORD>(number);
            const BYTE* raw = reinterpret_cast<const BYTE*>(&dword);
            value = MakeValue(REG_DWORD, std::vector<BYTE>(raw, raw + sizeof dword));
            return true;
        }
        if (kind == "sz" || kind == "expand-sz") {
            std::string text;
            if (!QuotedText(text)) return false;
            value = Text(kind == "sz" ? REG_SZ : REG_EXPAND_SZ, text);
            return true;
        }
        if (kind == "multi") {
            std::vector<std::string> entries;
            std::string entry;
            while (QuotedText(entry)) entries.push_back(entry);
            value = Multi(entries);
            return AtEnd();
        }
        DWORD type = REG_BINARY;
        if (kind == "raw") {
            std::string typeWord;
            if (!Word(typeWord) || !ParseType(typeWord, type)) return false;
        } else if (kind != "binary") {
            return false;
        }
        std::vector<BYTE> bytes;
        if (!HexBytes(bytes)) return false;
        value = MakeValue(type, bytes);
        return true;
    }

    bool Key(KeyId& key) {
        std::string word;
        if (!Word(word)) return false;
        if (word == "app-paths") key = KeyId::AppPaths;
        else if (word == "service-key") key = KeyId::Service;
        else if (word == "class-key") key = KeyId::ClassKey;
        else return false;
        return true;
    }

    bool Choice(const char* yes, const char* no, bool& result) {
        std::string word;
        if (!Word(word)) return false;
        if (word == yes) result = true;
        else if (word == no) result = false;
        else return false;
        return true;
    }

    // set-filters VALUE | set-start VALUE | deny-write KEY | deny-all KEY | delete KEY
    bool ActionAt(const std::string& verb, Action& action) {
        if (verb == "set-filters" || verb == "set-start") {
            action.kind = verb == "set-filters" ? Action::Kind::SetFilters : Action::Kind::SetStart;
            return Value(action.value);
        }
        if (verb == "deny-write") action.kind = Action::Kind::DenyWrite;
        else if (verb == "deny-all") action.kind = Action::Kind::DenyAll;
        else if (verb == "delete") action.kind = Action::Kind::DeleteKey;
        else return false;
        return Key(action.key) && AtEnd();
    }

private:
    std::vector<std::string> words_;
    std::vector<bool> quoted_;
    size_t at_ = 0;
};

Scenario DefaultScenario(const std::string& name) {
    Scenario scenario;
    scenario.name = name;
    scenario.appPaths = Text(REG_SZ, kProductExe);
    scenario.start = MakeValue(REG_DWORD, {3, 0, 0, 0});
    scenario.filters = Multi({"OtherVendorFilter"});
    return scenario;
}

bool ParseSetting(const std::string& setting, LineParser& line, Scenario& scenario) {
    if (setting == "windows") return line.Word(scenario.windows) && line.AtEnd();
    if (setting == "driver-file") {
        std::string where;
        if (!line.Word(where) || !line.AtEnd()) return false;
        scenario.driverInSystem32 = where == "system32" || where == "both";
        scenario.driverInSysWow64 = where == "syswow64" || where == "both";
        return where == "system32" || where == "syswow64" || where == "both" || where == "none";
    }
    if (setting == "product-file") return line.Choice("present", "absent", scenario.productFile) && line.AtEnd();
    if (setting == "app-paths") {
        std::string word;
        LineParser probe = line;
        if (probe.Word(word) && word == "no-key" && probe.AtEnd()) {
            scenario.appPathsKey = false;
            return true;
        }
        return line.Value(scenario.appPaths) && line.AtEnd();
    }
    if (setting == "service-key") {
        return line.Choice("present", "absent", scenario.serviceKey) && line.AtEnd();
    }
    if (setting == "class-key") return line.Choice("present", "absent", scenario.classKey) && line.AtEnd();
    if (setting == "start") return line.Value(scenario.start) && line.AtEnd();
    if (setting == "filters") return line.Value(scenario.filters) && line.AtEnd();
    if (setting == "deny-write" || setting == "deny-all") {
        Action action;
        return line.ActionAt(setting, action) && (scenario.restrictions.push_back(action), true);
    }
    if (setting == "box") {
        ExpectedBox box;
        std::string answer;
        if (!line.Word(box.message) || !MessageText(box.message) || !line.Word(answer) || !line.AtEnd()) return false;
        if (answer == "ok") box.answer = IDOK;
        else if (answer == "yes") box.answer = IDYES;
        else if (answer == "no") box.answer = IDNO;
        else return false;
        scenario.boxes.push_back(box);
        return true;
    }
    if (setting == "while") {
        WhileOpen during;
        std::string verb;
        Action action;
        if (!line.Word(during.message) || !MessageText(during.message) || !line.Word(verb)) return false;
        if (!line.ActionAt(verb, action)) return false;
        for (WhileOpen& existing : scenario.whileOpen) {
            if (existing.message == during.message) {
                existing.actions.push_back(action);
                return true;
            }
        }
        during.actions.push_back(action);
        scenario.whileOpen.push_back(during);
        return true;
    }
    if (setting == "exit") {
        long code = 0;
        if (!line.Number(code) || !line.AtEnd()) return false;
        scenario.exitCode = static_cast<int>(code);
        return true;
    }
    if (setting == "final-start") {
        scenario.finalStartGiven = true;
        return line.Value(scenario.finalStart) && line.AtEnd();
    }
    if (setting == "final-filters") {
        scenario.finalFiltersGiven = true;
        return line.Value(scenario.finalFilters) && line.AtEnd();
    }
    if (setting == "restart") return line.Choice("yes", "no", scenario.restart) && line.AtEnd();
    return false;
}

}  // namespace

std::string Describe(const RegValue& value) {
    if (!value.present) return "absent";
    std::ostringstream out;
    const char* name = TypeName(value.type);
    if (name) out << name;
    else out << "type " << value.type;
    if (value.type == REG_MULTI_SZ || value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
        // The texts as a reader would split them, up to the first empty one.
        size_t at = 0;
        while (at < value.bytes.size() && value.bytes[at] != 0) {
            size_t end = at;
            while (end < value.bytes.size() && value.bytes[end] != 0) ++end;
            out << " \"" << std::string(value.bytes.begin() + at, value.bytes.begin() + end) << "\"";
            if (value.type != REG_MULTI_SZ) break;
            at = end + 1;
        }
    } else if (value.type == REG_DWORD && value.bytes.size() == 4) {
        DWORD number = 0;
        for (int i = 3; i >= 0; --i) number = number << 8 | value.bytes[i];
        out << " " << number;
    }
    out << " [";
    for (size_t i = 0; i < value.bytes.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", value.bytes[i]);
        out << (i ? " " : "") << hex;
    }
    out << "]";
    return out.str();
}

const char* MessageText(const std::string& name) {
    static const std::map<std::string, const char*> catalogue = {
        {"WrongWindows", MsgWrongWindows},
        {"NeedAdmin", MsgNeedAdmin},
        {"DriverFileMissing", MsgDriverFileMissing},
        {"NotInstalled", MsgNotInstalled},
        {"ServiceMissing", MsgServiceMissing},
        {"RegistryOpenFailed", MsgRegistryOpenFailed},
        {"RegistryReadError", MsgRegistryReadError},
        {"NoWriteRights", MsgNoWriteRights},
        {"RepairFailed", MsgRepairFailed},
        {"AskRepair", MsgAskRepair},
        {"AskRepairAnyway", MsgAskRepairAnyway},
        {"AskRestart", MsgAskRestart},
    };
    const auto found = catalogue.find(name);
    return found == catalogue.end() ? nullptr : found->second;
}

bool LoadScenarios(const std::string& path, std::vector<Scenario>& scenarios, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    std::string text;
    int number = 0;
    while (std::getline(file, text)) {
        ++number;
        std::vector<std::string> words;
        std::vector<bool> quoted;
        bool ok = Tokenize(text, words, quoted);
        if (ok && words.empty()) continue;
        LineParser line(words, quoted);
        std::string setting;
        ok = ok && line.Word(setting);
        if (ok && setting == "scenario") {
            std::string name;
            ok = line.Word(name) && line.AtEnd();
            if (ok) scenarios.push_back(DefaultScenario(name));
        } else if (ok) {
            ok = !scenarios.empty() && ParseSetting(setting, line, scenarios.back());
        }
        if (!ok) {
            error = path + ":" + std::to_string(number) + ": cannot read: " + text;
            return false;
        }
    }
    return true;
}
