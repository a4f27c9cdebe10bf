// The end-to-end driver: a console program run under Wine that seeds the
// machine, starts the tool, reads and answers its boxes as a user would, and
// checks what the tool left behind.
//
//   e2e_driver prepare [--desktop WxH]              settings of the prefix: headless,
//                                                   or a virtual desktop on $DISPLAY
//   e2e_driver list SCENARIOS
//   e2e_driver run SCENARIOS NAME TOOL LOG          one scenario; exit 0 when it passed
//   e2e_driver seed SCENARIOS NAME                  seeds the machine only
//   e2e_driver show                                 prints the product's files and values
//   e2e_driver demo TOOL OUTDIR LOG [--watch]       runs the tool, saves each box as BMP
//                                                   and answers Yes/OK (--watch: a person answers)
//
// LOG is the file the driver's own stderr goes to: the tool inherits it, and
// Wine writes the relay trace of the tool's restart call there.
// Paths may be given as Unix paths; they are reached through drive Z:.
#include "boxes.h"
#include "machine.h"
#include "scenario.h"

#include "app/messages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr DWORD kBoxTimeoutMs = 20000;
constexpr DWORD kCloseTimeoutMs = 5000;
constexpr DWORD kExitTimeoutMs = 20000;

const char* Arch() { return sizeof(void*) == 8 ? "x64" : "x86"; }

std::string WindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string converted = "Z:" + path;
    for (char& c : converted) {
        if (c == '/') c = '\\';
    }
    return converted;
}

// A printable box text: line feeds shown as \n.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else out += c;
    }
    return out + "\"";
}

std::string ButtonList(const std::vector<int>& buttons) {
    std::string out;
    for (int id : buttons) out += (out.empty() ? "" : "+") + ButtonName(id);
    return out.empty() ? "none" : out;
}

// The name of the catalogue entry a text is, or the text itself.
std::string NameOf(const std::string& text) {
    for (const char* name : {"WrongWindows", "NeedAdmin", "DriverFileMissing", "NotInstalled", "ServiceMissing",
                             "RegistryOpenFailed", "RegistryReadError", "NoWriteRights", "RepairFailed", "AskRepair",
                             "AskRepairAnyway", "AskRestart"}) {
        if (text == MessageText(name)) return name;
    }
    return Quoted(text);
}

struct RunningTool {
    PROCESS_INFORMATION process = {};
};

// Starts the tool with relay tracing of its restart call. Wine writes the
// trace of a GUI program to the Unix stderr it inherits, which is ours: the
// caller points it at a log file.
bool StartTool(const std::string& tool, RunningTool& running, std::string& error) {
    // The environment as it is, with WINEDEBUG replaced.
    std::string environment;
    const LPCH strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry; entry += std::strlen(entry) + 1) {
        if (_strnicmp(entry, "WINEDEBUG=", 10) == 0) continue;
        environment.append(entry).push_back('\0');
    }
    FreeEnvironmentStringsA(strings);
    environment.append("WINEDEBUG=-all,+relay").push_back('\0');
    environment.push_back('\0');

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + tool + "\"";
    if (!CreateProcessA(tool.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, &environment[0], nullptr, &startup,
                        &running.process)) {
        error = "cannot start " + tool + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return true;
}

// The restart calls in the relay trace, as "ExitWindowsEx(flags,reason)".
std::vector<std::string> RestartCalls(const std::string& logPath) {
    std::vector<std::string> calls;
    std::ifstream log(logPath);
    std::string line;
    const std::string marker = "Call user32.ExitWindowsEx(";
    while (std::getline(log, line)) {
        const size_t at = line.find(marker);
        if (at == std::string::npos) continue;
        const size_t end = line.find(')', at);
        calls.push_back(line.substr(at + 12, end == std::string::npos ? std::string::npos : end + 1 - at - 12));
    }
    return calls;
}

void Stop(RunningTool& running) {
    if (WaitForSingleObject(running.process.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(running.process.hProcess, 0xdead);
        WaitForSingleObject(running.process.hProcess, kExitTimeoutMs);
    }
}

DWORD ExitCode(const RunningTool& running) {
    DWORD code = 0;
    GetExitCodeProcess(running.process.hProcess, &code);
    return code;
}

void Close(RunningTool& running) {
    CloseHandle(running.process.hThread);
    CloseHandle(running.process.hProcess);
}

// Compares one box with what the script expects; the differences go to
// `failures`.
void CheckBox(size_t index, const SeenBox& box, const ExpectedBox& expected, std::vector<std::string>& failures) {
    const std::string where = "box " + std::to_string(index + 1) + " (expected " + expected.message + ")";
    const char* text = MessageText(expected.message);
    const bool question = expected.answer != IDOK;
    const std::vector<int> buttons = question ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK};
    if (box.text != text) {
        failures.push_back(where + ": text differs\n      expected " + Quoted(text) + "\n      actual   " +
                           NameOf(box.text) + (NameOf(box.text)[0] == '"' ? "" : " " + Quoted(box.text)));
    }
    if (box.caption != MsgCaption) failures.push_back(where + ": caption " + Quoted(box.caption));
    if (box.buttons != buttons) {
        failures.push_back(where + ": buttons " + ButtonList(box.buttons) + ", expected " + ButtonList(buttons));
    }
    if (box.defaultButton != buttons.front()) {
        failures.push_back(where + ": default button " + ButtonName(box.defaultButton) + ", expected " +
                           ButtonName(buttons.front()));
    }
    if (box.icon) failures.push_back(where + ": shows an icon");
    if (box.owned) failures.push_back(where + ": has an owner window");
}

int Run(const Scenario& scenario, const std::string& tool, const std::string& relayLog) {
    std::vector<std::string> failures;
    std::string error;
    if (!SeedMachine(scenario, error)) {
        std::printf("FAIL %s %s: seeding: %s\n", Arch(), scenario.name.c_str(), error.c_str());
        return 1;
    }
    RunningTool running;
    if (!StartTool(tool, running, error)) {
        std::printf("FAIL %s %s: %s\n", Arch(), scenario.name.c_str(), error.c_str());
        return 1;
    }

    std::vector<std::string> seen;
    for (size_t index = 0;; ++index) {
        SeenBox box;
        const BoxWait wait = WaitForBox(running.process.hProcess, running.process.dwProcessId, kBoxTimeoutMs, box);
        if (wait == BoxWait::Exited) break;
        if (wait == BoxWait::TimedOut) {
            failures.push_back("no box and no exit within " + std::to_string(kBoxTimeoutMs / 1000) + " s");
            break;
        }
        seen.push_back(NameOf(box.text) + "/" + ButtonList(box.buttons));
        int answer = 0;
        if (index < scenario.boxes.size()) {
            const ExpectedBox& expected = scenario.boxes[index];
            CheckBox(index, box, expected, failures);
            answer = expected.answer;
            if (box.text == MessageText(expected.message)) {
                for (const WhileOpen& during : scenario.whileOpen) {
                    if (during.message != expected.message) continue;
                    for (const Action& action : during.actions) {
                        if (!ApplyAction(action, error)) failures.push_back("while " + during.message + ": " + error);
                    }
                }
            }
        } else {
            failures.push_back("unexpected box " + std::to_string(index + 1) + ": " + NameOf(box.text));
        }
        // A box without the scripted button is declined where it can be, so
        // that the run ends without writing.
        const bool hasAnswer = std::find(box.buttons.begin(), box.buttons.end(), answer) != box.buttons.end();
        if (!hasAnswer) {
            const bool hasNo = std::find(box.buttons.begin(), box.buttons.end(), IDNO) != box.buttons.end();
            answer = hasNo ? IDNO : box.buttons.empty() ? IDCANCEL : box.buttons.front();
        }
        if (!PressButton(box, answer, kCloseTimeoutMs)) {
            failures.push_back("box " + std::to_string(index + 1) + " did not close after " + ButtonName(answer));
            break;
        }
    }
    if (WaitForSingleObject(running.process.hProcess, kExitTimeoutMs) != WAIT_OBJECT_0) {
        failures.push_back("the tool did not exit");
    }
    Stop(running);
    if (seen.size() < scenario.boxes.size()) {
        failures.push_back("box " + std::to_string(seen.size() + 1) + " (expected " +
                           scenario.boxes[seen.size()].message + ") never appeared");
    }
    const DWORD code = ExitCode(running);
    if (code != static_cast<DWORD>(scenario.exitCode)) {
        failures.push_back("exit code " + std::to_string(code) + ", expected " + std::to_string(scenario.exitCode));
    }
    Close(running);

    RestoreRights();
    const RegValue start = ReadStart();
    const RegValue& wantStart = scenario.finalStartGiven ? scenario.finalStart : scenario.start;
    const RegValue expectedStart = scenario.serviceKey ? wantStart : RegValue();
    if (start != expectedStart) {
        failures.push_back("Start\n      expected " + Describe(expectedStart) + "\n      actual   " + Describe(start));
    }
    const RegValue filters = ReadFilters();
    const RegValue& wantFilters = scenario.finalFiltersGiven ? scenario.finalFilters : scenario.filters;
    const RegValue expectedFilters = scenario.classKey || scenario.finalFiltersGiven ? wantFilters : RegValue();
    if (filters != expectedFilters) {
        failures.push_back("UpperFilters\n      expected " + Describe(expectedFilters) + "\n      actual   " +
                           Describe(filters));
    }
    const std::vector<std::string> restarts = RestartCalls(relayLog);
    const std::vector<std::string> expectedRestarts =
        scenario.restart ? std::vector<std::string>{"ExitWindowsEx(00000002,00000000)"} : std::vector<std::string>{};
    if (restarts != expectedRestarts) {
        std::string got;
        for (const std::string& call : restarts) got += " " + call;
        failures.push_back(std::string("restart: expected ") +
                           (scenario.restart ? "one ExitWindowsEx(EWX_REBOOT, 0)" : "none") + ", got" +
                           (got.empty() ? " none" : got));
    }

    std::string boxes;
    for (const std::string& box : seen) boxes += (boxes.empty() ? "" : ", ") + box;
    if (failures.empty()) {
        std::printf("PASS %s %s: boxes %s; exit %lu\n", Arch(), scenario.name.c_str(),
                    boxes.empty() ? "none" : boxes.c_str(), static_cast<unsigned long>(code));
        return 0;
    }
    std::printf("FAIL %s %s\n", Arch(), scenario.name.c_str());
    for (const std::string& failure : failures) std::printf("    %s\n", failure.c_str());
    std::printf("    boxes seen: %s\n    relay trace: %s\n", boxes.empty() ? "none" : boxes.c_str(),
                relayLog.c_str());
    return 1;
}

// Shows each box for a person to see, saves it as box-N-NAME.bmp and answers it
// with its default button (Yes or OK), or lets a person answer it.
int Demo(const std::string& tool, const std::string& outFolder, const std::string& relayLog, bool watch) {
    std::string error;
    RunningTool running;
    if (!StartTool(tool, running, error)) {
        std::printf("demo: %s\n", error.c_str());
        return 1;
    }
    int index = 0;
    for (;;) {
        SeenBox box;
        const BoxWait wait = WaitForBox(running.process.hProcess, running.process.dwProcessId,
                                        watch ? INFINITE : kBoxTimeoutMs, box);
        if (wait != BoxWait::Shown) break;
        ++index;
        // Give the box time to paint before it is captured.
        Sleep(700);
        const std::string name = NameOf(box.text);
        const std::string file = outFolder + "\\box-" + std::to_string(index) + "-" +
                                 (name[0] == '"' ? std::string("unknown") : name) + ".bmp";
        const bool saved = CaptureBox(box, file);
        std::printf("box %d [%s]: %s\n", index, ButtonList(box.buttons).c_str(), Quoted(box.text).c_str());
        std::printf("    %s %s\n", saved ? "saved" : "could not save", file.c_str());
        std::fflush(stdout);
        if (watch) {
            while (IsWindow(box.window) && IsWindowVisible(box.window)) Sleep(50);
        } else {
            const int answer = box.defaultButton ? box.defaultButton : box.buttons.empty() ? IDOK : box.buttons.front();
            std::printf("    answered %s\n", ButtonName(answer).c_str());
            if (!PressButton(box, answer, kCloseTimeoutMs)) break;
        }
    }
    WaitForSingleObject(running.process.hProcess, kExitTimeoutMs);
    Stop(running);
    std::printf("exit code %lu\n", static_cast<unsigned long>(ExitCode(running)));
    Close(running);
    const std::vector<std::string> restarts = RestartCalls(relayLog);
    for (const std::string& call : restarts) {
        std::printf("restart requested: %s%s\n", call.c_str(),
                    call == "ExitWindowsEx(00000002,00000000)" ? " = EWX_REBOOT" : "");
    }
    if (restarts.empty()) std::printf("no restart requested\n");
    return 0;
}

bool Find(const std::string& file, const std::string& name, Scenario& scenario) {
    std::vector<Scenario> scenarios;
    std::string error;
    if (!LoadScenarios(WindowsPath(file), scenarios, error)) {
        std::printf("%s\n", error.c_str());
        return false;
    }
    for (const Scenario& candidate : scenarios) {
        if (candidate.name == name) {
            scenario = candidate;
            return true;
        }
    }
    std::printf("no scenario %s in %s\n", name.c_str(), file.c_str());
    return false;
}

int Usage() {
    std::printf("usage: e2e_driver prepare [--desktop WxH] | list SCENARIOS | run SCENARIOS NAME TOOL LOG |\n"
                "                  seed SCENARIOS NAME | show | demo TOOL OUTDIR LOG [--watch]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    const std::string& command = args[0];
    std::string error;
    if (command == "prepare" && (args.size() == 1 || (args.size() == 3 && args[1] == "--desktop"))) {
        if (PrepareMachine(args.size() == 3 ? args[2] : "", error)) return 0;
        std::printf("prepare: %s\n", error.c_str());
        return 1;
    }
    if (command == "list" && args.size() == 2) {
        std::vector<Scenario> scenarios;
        if (!LoadScenarios(WindowsPath(args[1]), scenarios, error)) {
            std::printf("%s\n", error.c_str());
            return 1;
        }
        for (const Scenario& scenario : scenarios) std::printf("%s\n", scenario.name.c_str());
        return 0;
    }
    if (command == "run" && args.size() == 5) {
        Scenario scenario;
        return Find(args[1], args[2], scenario) ? Run(scenario, WindowsPath(args[3]), WindowsPath(args[4])) : 1;
    }
    if (command == "seed" && args.size() == 3) {
        Scenario scenario;
        if (!Find(args[1], args[2], scenario)) return 1;
        if (SeedMachine(scenario, error)) return 0;
        std::printf("seed: %s\n", error.c_str());
        return 1;
    }
    if (command == "show" && args.size() == 1) {
        PrintMachine();
        return 0;
    }
    if (command == "demo" && (args.size() == 4 || (args.size() == 5 && args[4] == "--watch"))) {
        return Demo(WindowsPath(args[1]), WindowsPath(args[2]), WindowsPath(args[3]), args.size() == 5);
    }
    return Usage();
}
