// One end-to-end scenario: how the machine is seeded, which boxes the tool
// must show and how each is answered, and what the machine holds afterwards.
// Scenarios are read from tests/e2e/scenarios.txt; its header describes the
// syntax.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A registry value as the tests see it: absent, or a type and exact bytes.
struct RegValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> bytes;

    bool operator==(const RegValue& other) const {
        return present == other.present && (!present || (type == other.type && bytes == other.bytes));
    }
    bool operator!=(const RegValue& other) const { return !(*this == other); }
};

// Readable form, e.g. REG_MULTI_SZ "foo" "UlvexPass" [66 6f 6f 00 ...].
std::string Describe(const RegValue& value);

// The keys a scenario can take rights away from or delete.
enum class KeyId { AppPaths, Service, ClassKey };

// A change to the machine, made while seeding or while a question is open.
struct Action {
    enum class Kind { SetFilters, SetStart, DenyWrite, DenyAll, DeleteKey } kind = Kind::SetFilters;
    KeyId key = KeyId::ClassKey;
    RegValue value;
};

struct ExpectedBox {
    std::string message;  // catalogue name without "Msg", e.g. AskRepair
    int answer = IDOK;    // IDOK, IDYES or IDNO
};

struct WhileOpen {
    std::string message;  // the question during which the actions run
    std::vector<Action> actions;
};

struct Scenario {
    std::string name;

    // The machine. Defaults: the product's typical broken installation.
    std::string windows = "win10";
    bool driverInSystem32 = true;   // the native system32\drivers
    bool driverInSysWow64 = false;  // the 32-bit view's drivers folder
    bool productFile = true;
    bool appPathsKey = true;
    RegValue appPaths;
    bool serviceKey = true;
    RegValue start;
    bool classKey = true;
    RegValue filters;
    std::vector<Action> restrictions;  // applied after seeding

    // The run.
    std::vector<ExpectedBox> boxes;
    std::vector<WhileOpen> whileOpen;
    int exitCode = 0;
    bool finalStartGiven = false;
    RegValue finalStart;  // defaults to the seeded value
    bool finalFiltersGiven = false;
    RegValue finalFilters;
    bool restart = false;
};

// The text of a catalogue entry by its name without "Msg"; null if unknown.
const char* MessageText(const std::string& name);

// The product's executable as seeded by default.
extern const char* const kProductExe;

// Reads every scenario of the file. False with a message naming the line on a
// syntax error.
bool LoadScenarios(const std::string& path, std::vector<Scenario>& scenarios, std::string& error);
