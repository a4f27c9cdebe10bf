// Whole runs of the tool through WinMain on the simulated machine: which
// boxes it shows, its exit code, and the registry it leaves behind.
#include "sim_fixture.h"

#include <functional>

using test::InstallProduct;
using test::kDriverPath;
using test::kProductExe;
using test::kServiceKey;
using test::Raw;
using test::RunTool;
using test::Show;
using test::SimTest;

namespace {

std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const winsim::Box& box : winsim::machine().boxes) texts.push_back(box.text);
    return texts;
}

winsim::Bytes StartBytes() {
    const winsim::RegistryValue* start = winsim::FindValue(kServiceKey, "Start");
    return start ? start->data : winsim::Bytes();
}

bool RegistryWritten() { return winsim::Called("RegSetValueExA") || winsim::Called("RegDeleteValueA"); }

// ---- The environment gate ---------------------------------------------------

TEST_F(SimTest, OldWindowsIsRefusedBeforeAnythingElseIsLookedAt) {
    for (const auto& version : {std::make_pair(VER_PLATFORM_WIN32_WINDOWS, 4), std::make_pair(VER_PLATFORM_WIN32_NT, 4)}) {
        winsim::Reset();
        InstallProduct(1);
        Machine().platformId = version.first;
        Machine().majorVersion = version.second;
        EXPECT_EQ(RunTool(), 10);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{MsgWrongWindows});
        EXPECT_FALSE(winsim::Called("OpenProcessToken"));
        EXPECT_FALSE(winsim::Called("RegOpenKeyExA"));
    }
}

TEST_F(SimTest, InformationBoxHasNoOwnerTheCaptionAndOnlyAnOkButton) {
    Machine().platformId = VER_PLATFORM_WIN32_WINDOWS;
    RunTool();
    ASSERT_EQ(Machine().boxes.size(), 1u);
    const winsim::Box& box = Machine().boxes[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.caption, "Ulvex Tandrel");
    EXPECT_EQ(box.style, UINT(MB_OK));
}

TEST_F(SimTest, NonAdministratorIsRefusedBeforeAnyFileOrKeyIsRead) {
    InstallProduct(1);
    Machine().groups = {{winsim::kUsersSid}};
    EXPECT_EQ(RunTool(), 10);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{MsgNeedAdmin});
    EXPECT_FALSE(winsim::Called("FindFirstFileA"));
    EXPECT_FALSE(winsim::Called("GetSystemDirectoryA"));
    EXPECT_FALSE(winsim::Called("RegOpenKeyExA"));
}

TEST_F(SimTest, CommandLineArgumentsChangeNothing) {
    std::vector<std::vector<std::string>> calls;
    for (const char* commandLine : {"", "/fix", "--help -y", "\"C:\\x y\" /quiet /norestart"}) {
        winsim::Reset();
        InstallProduct(3);
        Machine().answers = {IDYES, IDNO};
        EXPECT_EQ(RunTool(commandLine), 0) << commandLine;
        EXPECT_EQ(BoxTexts(), (std::vector<std::string>{MsgAskRepair, MsgAskRestart})) << commandLine;
        calls.push_back(Machine().calls);
    }
    for (const auto& run : calls) EXPECT_EQ(run, calls.front());
}

// ---- The installation probes ------------------------------------------------

struct ProbeCase {
    const char* name;
    std::function<void(winsim::Machine&)> arrange;  // applied to a healthy installation
    std::vector<std::string> boxes;
    int exitCode;
};

class ProbeRuns : public SimTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeRuns, ReportTheFirstMissingPiece) {
    const ProbeCase& c = GetParam();
    InstallProduct(1);
    winsim::SetString(kCdromClassKey, kUpperFiltersValue, std::string("UlvexPass\0", 10), REG_MULTI_SZ);
    c.arrange(Machine());
    Machine().answers = {IDNO};
    EXPECT_EQ(RunTool(), c.exitCode);
    EXPECT_EQ(BoxTexts(), c.boxes);
    if (c.exitCode == 10) {
        EXPECT_FALSE(RegistryWritten());
    }
}

const char* kAppPaths = kProductRegistrationKey;

INSTANTIATE_TEST_SUITE_P(
    Installations, ProbeRuns,
    ::testing::Values(
        ProbeCase{"Healthy", [](winsim::Machine&) {}, {MsgAskRepairAnyway}, 0},
        ProbeCase{"DriverFileMissing", [](winsim::Machine& m) { m.files.erase(kDriverPath); },
                  {MsgDriverFileMissing}, 10},
        // With neither driver nor registration, the driver is reported.
        ProbeCase{"DriverAndRegistrationMissing",
                  [](winsim::Machine& m) {
                      m.files.erase(kDriverPath);
                      m.keys.erase(kAppPaths);
                  },
                  {MsgDriverFileMissing}, 10},
        ProbeCase{"DriverFileInAnotherFolder",
                  [](winsim::Machine& m) {
                      m.files.erase(kDriverPath);
                      winsim::AddFile("C:\\WINDOWS\\system32\\UlvexPass.sys");
                  },
                  {MsgDriverFileMissing}, 10},
        ProbeCase{"RegistrationMissing", [](winsim::Machine& m) { m.keys.erase(kAppPaths); }, {MsgNotInstalled}, 10},
        ProbeCase{"RegistrationWithoutDefaultValue", [](winsim::Machine& m) { m.keys[kAppPaths].values.clear(); },
                  {MsgNotInstalled}, 10},
        ProbeCase{"RegisteredExeMissing", [](winsim::Machine& m) { m.files.erase(kProductExe); }, {MsgNotInstalled},
                  10},
        ProbeCase{"RegistrationQuoted",
                  [](winsim::Machine&) {
                      winsim::SetString(kAppPaths, "", std::string("\"") + kProductExe + "\"");
                  },
                  {MsgNotInstalled}, 10},
        ProbeCase{"RegistrationExpandString",
                  [](winsim::Machine&) { winsim::SetString(kAppPaths, "", kProductExe, REG_EXPAND_SZ); },
                  {MsgNotInstalled}, 10},
        ProbeCase{"RegistrationKeyReadOnly", [](winsim::Machine& m) { m.keys[kAppPaths].writable = false; },
                  {MsgNotInstalled}, 10},
        ProbeCase{"RegistrationEmpty", [](winsim::Machine&) { winsim::SetString(kAppPaths, "", ""); },
                  {MsgNotInstalled}, 10},
        // The probe is a directory search: a directory or a matching pattern counts.
        ProbeCase{"RegistrationNamesADirectory",
                  [](winsim::Machine&) { winsim::SetString(kAppPaths, "", "C:\\Program Files\\Ulvex"); },
                  {MsgAskRepairAnyway}, 0},
        ProbeCase{"RegistrationIsAMatchingPattern",
                  [](winsim::Machine&) { winsim::SetString(kAppPaths, "", "C:\\Program Files\\Ulvex\\*.exe"); },
                  {MsgAskRepairAnyway}, 0},
        ProbeCase{"ServiceKeyMissing", [](winsim::Machine& m) { m.keys.erase(kServiceKey); }, {MsgServiceMissing},
                  10},
        ProbeCase{"ServiceWithoutStart", [](winsim::Machine& m) { m.keys[kServiceKey].values.clear(); },
                  {MsgServiceMissing}, 10},
        ProbeCase{"ServiceKeyReadOnly", [](winsim::Machine& m) { m.keys[kServiceKey].writable = false; },
                  {MsgServiceMissing}, 10},
        // A late start is no failure here; it changes the question asked next.
        ProbeCase{"ServiceStartsOnDemand", [](winsim::Machine&) { winsim::SetDword(kServiceKey, "Start", 3); },
                  {MsgAskRepair}, 0},
        // The longest system directory whose driver path fits in 260 bytes.
        ProbeCase{"LongestSystemDirectory",
                  [](winsim::Machine& m) {
                      m.systemDirectory = "C:\\" + std::string(234, 's');
                      winsim::AddFile(m.systemDirectory + "\\DRIVERS\\UlvexPass.sys");
                  },
                  {MsgAskRepairAnyway}, 0},
        // One byte more and the path does not fit: reported as missing, never overrun.
        ProbeCase{"SystemDirectoryTooLong",
                  [](winsim::Machine& m) {
                      m.systemDirectory = "C:\\" + std::string(235, 's');
                      winsim::AddFile(m.systemDirectory + "\\DRIVERS\\UlvexPass.sys");
                  },
                  {MsgDriverFileMissing}, 10},
        ProbeCase{"SystemDirectoryLongerThanTheBuffer",
                  [](winsim::Machine& m) {
                      m.systemDirectory = "C:\\" + std::string(300, 's');
                      winsim::AddFile(m.systemDirectory + "\\DRIVERS\\UlvexPass.sys");
                  },
                  {MsgDriverFileMissing}, 10},
        // No system directory: the probe is made on the relative path alone.
        ProbeCase{"SystemDirectoryUnavailable",
                  [](winsim::Machine& m) {
                      m.getSystemDirectoryFails = true;
                      winsim::AddFile("\\DRIVERS\\UlvexPass.sys");
                  },
                  {MsgAskRepairAnyway}, 0}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

TEST_F(SimTest, DriverProbeSearchesTheSystemDirectorysDriversFolder) {
    InstallProduct(1);
    Machine().answers = {IDNO};
    RunTool();
    const std::vector<std::string> searches = winsim::CallsStartingWith("FindFirstFileA");
    ASSERT_FALSE(searches.empty());
    EXPECT_EQ(searches[0], "FindFirstFileA(\"C:\\WINDOWS\\system32\\DRIVERS\\UlvexPass.sys\")");
}

// ---- Diagnosis and repair ---------------------------------------------------

struct Filters {
    bool present;
    DWORD type;
    winsim::Bytes bytes;
};
const Filters kNoValue{false, 0, {}};
Filters MultiSz(winsim::Bytes bytes) { return {true, REG_MULTI_SZ, std::move(bytes)}; }
Filters Sz(winsim::Bytes bytes) { return {true, REG_SZ, std::move(bytes)}; }
Filters Other(DWORD type, winsim::Bytes bytes) { return {true, type, std::move(bytes)}; }

struct RepairCase {
    const char* name;
    Filters before;
    DWORD start;
    std::vector<int> answers;
    std::vector<std::string> boxes;
    Filters after;
    DWORD startAfter;
    bool restartRequested;
};

class RepairRuns : public SimTest, public ::testing::WithParamInterface<RepairCase> {};

winsim::Bytes Dword(DWORD value) { return {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)}; }

TEST_P(RepairRuns, AskWriteAndOfferTheRestart) {
    const RepairCase& c = GetParam();
    InstallProduct(c.start);
    if (c.before.present) winsim::SetValue(kCdromClassKey, kUpperFiltersValue, c.before.type, c.before.bytes);
    Machine().answers = c.answers;

    EXPECT_EQ(RunTool(), 0);
    EXPECT_EQ(BoxTexts(), c.boxes);
    for (const winsim::Box& box : Machine().boxes) EXPECT_EQ(box.style, UINT(MB_YESNO)) << box.text;

    const winsim::RegistryValue* filters = winsim::FindValue(kCdromClassKey, kUpperFiltersValue);
    ASSERT_EQ(filters != nullptr, c.after.present);
    if (filters) {
        EXPECT_EQ(filters->type, c.after.type);
        EXPECT_EQ(filters->data, c.after.bytes) << "got " << Show(filters->data) << "\nwant " << Show(c.after.bytes);
    }
    EXPECT_EQ(StartBytes(), Dword(c.startAfter));
    EXPECT_EQ(Machine().shutdownRequests.size(), c.restartRequested ? 1u : 0u);
    if (c.restartRequested) {
        EXPECT_EQ(Machine().shutdownRequests[0].flags, UINT(EWX_REBOOT));
    }
}

const std::vector<int> kYesYes{IDYES, IDYES};
const std::vector<int> kYesNo{IDYES, IDNO};
const std::vector<std::string> kRepairAndRestart{MsgAskRepair, MsgAskRestart};
const std::vector<std::string> kAnywayAndRestart{MsgAskRepairAnyway, MsgAskRestart};

INSTANTIATE_TEST_SUITE_P(
    Values, RepairRuns,
    ::testing::Values(
        RepairCase{"ValueMissing", kNoValue, 1, kYesYes, kRepairAndRestart, MultiSz(Raw("UlvexPass\0\0")), 1, true},
        RepairCase{"OtherFiltersKeptInOrder", MultiSz(Raw("foo\0bar\0\0")), 1, kYesYes, kRepairAndRestart,
                   MultiSz(Raw("foo\0bar\0UlvexPass\0\0")), 1, true},
        RepairCase{"TypicalRepair", MultiSz(Raw("foo\0\0")), 3, kYesYes, kRepairAndRestart,
                   MultiSz(Raw("foo\0UlvexPass\0\0")), 1, true},
        // Present in other letter case and starting with the system: nothing
        // is wrong, the fix may still be run, and it writes the same entries back.
        RepairCase{"PresentInOtherCase", MultiSz(Raw("bar\0ulvexpass\0\0")), 1, kYesNo, {MsgAskRepairAnyway, MsgAskRestart},
                   MultiSz(Raw("bar\0ulvexpass\0\0")), 1, false},
        RepairCase{"PresentButStartsOnDemand", MultiSz(Raw("UlvexPass\0\0")), 3, kYesYes, kRepairAndRestart,
                   MultiSz(Raw("UlvexPass\0\0")), 1, true},
        RepairCase{"PresentButDisabled", MultiSz(Raw("UlvexPass\0\0")), 4, kYesNo, kRepairAndRestart,
                   MultiSz(Raw("UlvexPass\0\0")), 1, false},
        RepairCase{"BootStartKeptAsSystemStart", MultiSz(Raw("UlvexPass\0\0")), 0, kYesNo, kAnywayAndRestart,
                   MultiSz(Raw("UlvexPass\0\0")), 1, false},
        // A plain string counts as one entry but is always rewritten as a multi-string.
        RepairCase{"StringHoldingTheFilter", Sz(Raw("UlvexPass\0")), 1, kYesYes, kRepairAndRestart,
                   MultiSz(Raw("UlvexPass\0\0")), 1, true},
        RepairCase{"StringHoldingAnotherFilter", Sz(Raw("foo\0")), 1, kYesYes, kRepairAndRestart,
                   MultiSz(Raw("foo\0UlvexPass\0\0")), 1, true},
        RepairCase{"StringWithSpaceIsOneEntry", Sz(Raw("foo UlvexPass\0")), 1, kYesYes, kRepairAndRestart,
                   MultiSz(Raw("foo UlvexPass\0UlvexPass\0\0")), 1, true},
        RepairCase{"EmptyString", Sz(Raw("\0")), 1, kYesYes, kRepairAndRestart, MultiSz(Raw("UlvexPass\0\0")), 1,
                   true},
        // Other types are not carried over.
        RepairCase{"ExpandString", Other(REG_EXPAND_SZ, Raw("UlvexPass\0")), 1, kYesYes, kRepairAndRestart,
                   MultiSz(Raw("UlvexPass\0\0")), 1, true},
        RepairCase{"Binary", Other(REG_BINARY, Raw("foo\0\0")), 1, kYesYes, kRepairAndRestart,
                   MultiSz(Raw("UlvexPass\0\0")), 1, true},
        RepairCase{"FirstStringEmpty", MultiSz(Raw("\0foo\0\0")), 1, kYesYes, kRepairAndRestart,
                   MultiSz(Raw("UlvexPass\0\0")), 1, true},
        RepairCase{"EmptyMultiString", MultiSz({}), 1, kYesYes, kRepairAndRestart, MultiSz(Raw("UlvexPass\0\0")), 1,
                   true},
        RepairCase{"MissingFinalTerminator", MultiSz(Raw("foo\0bar\0")), 1, kYesYes, kRepairAndRestart,
                   MultiSz(Raw("foo\0bar\0UlvexPass\0\0")), 1, true},
        RepairCase{"DuplicatesKept", MultiSz(Raw("foo\0foo\0ULVEXPASS\0UlvexPass\0\0")), 1, kYesNo, kAnywayAndRestart,
                   MultiSz(Raw("foo\0foo\0ULVEXPASS\0UlvexPass\0\0")), 1, false},
        // Only A-Z fold: a longer name, a prefix, or a name with a high byte is
        // another filter, whatever the code page would say.
        RepairCase{"NearMissesDoNotMatch", MultiSz(Raw("UlvexPass2\0Ulvex\0UlvexPa\xdf\0UlvexPas\xd3\0\0")), 1, kYesYes,
                   kRepairAndRestart, MultiSz(Raw("UlvexPass2\0Ulvex\0UlvexPa\xdf\0UlvexPas\xd3\0UlvexPass\0\0")), 1,
                   true},
        RepairCase{"ValueAfterTheDataIgnored", MultiSz(Raw("foo\0\0junk\0\0")), 1, kYesYes, kRepairAndRestart,
                   MultiSz(Raw("foo\0UlvexPass\0\0")), 1, true},
        // Declined questions: nothing is written and no further box is shown.
        RepairCase{"RepairDeclined", MultiSz(Raw("foo\0\0")), 3, {IDNO}, {MsgAskRepair}, MultiSz(Raw("foo\0\0")), 3,
                   false},
        RepairCase{"RepairAnywayDeclined", MultiSz(Raw("UlvexPass\0\0")), 1, {IDNO}, {MsgAskRepairAnyway},
                   MultiSz(Raw("UlvexPass\0\0")), 1, false},
        // Only IDYES accepts.
        RepairCase{"OtherAnswerDeclines", MultiSz(Raw("foo\0\0")), 3, {IDCANCEL}, {MsgAskRepair},
                   MultiSz(Raw("foo\0\0")), 3, false},
        RepairCase{"RestartDeclined", MultiSz(Raw("foo\0\0")), 3, kYesNo, kRepairAndRestart,
                   MultiSz(Raw("foo\0UlvexPass\0\0")), 1, false}),
    [](const ::testing::TestParamInfo<RepairCase>& info) { return std::string(info.param.name); });

TEST_F(SimTest, DeclinedRepairWritesNothingAtAll) {
    InstallProduct(3);
    winsim::SetString(kCdromClassKey, kUpperFiltersValue, std::string("foo\0", 4), REG_MULTI_SZ);
    Machine().answers = {IDNO};
    EXPECT_EQ(RunTool(), 0);
    EXPECT_FALSE(RegistryWritten());
    EXPECT_TRUE(Machine().shutdownRequests.empty());
}

TEST_F(SimTest, RepairWritesStartThenTheListThenRestarts) {
    InstallProduct(3);
    winsim::SetString(kCdromClassKey, kUpperFiltersValue, std::string("foo\0", 4), REG_MULTI_SZ);
    Machine().answers = {IDYES, IDYES};
    EXPECT_EQ(RunTool(), 0);
    std::vector<std::string> changes;
    for (const std::string& call : Machine().calls) {
        if (call.rfind("RegSetValueExA", 0) == 0 || call.rfind("RegDeleteValueA", 0) == 0 ||
            call.rfind("ExitWindowsEx", 0) == 0) {
            changes.push_back(call);
        }
    }
    const std::string classKey = kCdromClassKey;
    EXPECT_EQ(changes, (std::vector<std::string>{
                           "RegSetValueExA(SYSTEM\\CurrentControlSet\\Services\\UlvexPass, \"Start\", 4, 4) = 0",
                           "RegDeleteValueA(" + classKey + ", \"UpperFilters\") = 0",
                           "RegSetValueExA(" + classKey + ", \"UpperFilters\", 7, 15) = 0",
                           "ExitWindowsEx(0x2, 0x0)"}));
    // The class key is first opened for reading only.
    EXPECT_EQ(winsim::CallsStartingWith("RegOpenKeyExA(" + classKey)[0],
              "RegOpenKeyExA(" + classKey + ", 0x20019) = 0");
    EXPECT_TRUE(Machine().shutdownRequests[0].privilegeEnabled);
}

TEST_F(SimTest, RefusedRestartStillEndsWithZero) {
    InstallProduct(3);
    Machine().exitWindowsResult = FALSE;
    Machine().answers = {IDYES, IDYES};
    EXPECT_EQ(RunTool(), 0);
    EXPECT_EQ(BoxTexts(), kRepairAndRestart);
    EXPECT_EQ(Machine().shutdownRequests.size(), 1u);
}

// ---- Failures after the probes ------------------------------------------------

struct FailureCase {
    const char* name;
    std::function<void(winsim::Machine&)> arrange;
    std::vector<int> answers;
    std::vector<std::string> boxes;
    DWORD startAfter;
};

class FailureRuns : public SimTest, public ::testing::WithParamInterface<FailureCase> {};

const winsim::Bytes kFooFilters = Raw("foo\0\0");

TEST_P(FailureRuns, ReportTheFailureAndKeepTheFilterList) {
    const FailureCase& c = GetParam();
    InstallProduct(3);
    winsim::SetValue(kCdromClassKey, kUpperFiltersValue, REG_MULTI_SZ, kFooFilters);
    c.arrange(Machine());
    Machine().answers = c.answers;
    EXPECT_EQ(RunTool(), 1);
    EXPECT_EQ(BoxTexts(), c.boxes);
    for (size_t i = 0; i + 1 < Machine().boxes.size(); ++i) EXPECT_EQ(Machine().boxes[i].style, UINT(MB_YESNO));
    EXPECT_EQ(Machine().boxes.back().style, UINT(MB_OK));

    // Whatever failed, UpperFilters is as it was.
    const winsim::RegistryValue* filters = winsim::FindValue(kCdromClassKey, kUpperFiltersValue);
    ASSERT_NE(filters, nullptr);
    EXPECT_EQ(filters->type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(filters->data, kFooFilters) << Show(filters->data);
    EXPECT_EQ(StartBytes(), Dword(c.startAfter));
    EXPECT_TRUE(Machine().shutdownRequests.empty());
}

const std::string kClassKey = kCdromClassKey;

INSTANTIATE_TEST_SUITE_P(
    Faults, FailureRuns,
    ::testing::Values(
        FailureCase{"ClassKeyUnreadable", [](winsim::Machine& m) { m.keys[kClassKey].readable = false; }, {},
                    {MsgRegistryOpenFailed}, 3},
        FailureCase{"ReadFailsAfterTheProbe",
                    [](winsim::Machine& m) { m.queryDataFaults.push_back({kClassKey, kUpperFiltersValue}); }, {},
                    {MsgRegistryReadError}, 3},
        // A probed size near 4 GiB must not wrap into a tiny buffer.
        FailureCase{"ProbedSizeWouldWrap",
                    [](winsim::Machine& m) {
                        m.probedSizeOverrides.push_back({{kClassKey, kUpperFiltersValue}, 0xFFFFFFFF});
                    },
                    {}, {MsgRegistryReadError}, 3},
        FailureCase{"ProbedSizeWouldWrapToZero",
                    [](winsim::Machine& m) {
                        m.probedSizeOverrides.push_back({{kClassKey, kUpperFiltersValue}, 0xFFFFFFFE});
                    },
                    {}, {MsgRegistryReadError}, 3},
        // The value grew between the probe and the read.
        FailureCase{"ValueLargerThanProbed",
                    [](winsim::Machine& m) { m.probedSizeOverrides.push_back({{kClassKey, kUpperFiltersValue}, 2}); },
                    {}, {MsgRegistryReadError}, 3},
        // Start cannot be written: UpperFilters is not attempted.
        FailureCase{"StartNotWritable", [](winsim::Machine& m) { m.setFaults.push_back({kServiceKey, "Start"}); },
                    {IDYES}, {MsgAskRepair, MsgRegistryOpenFailed}, 3},
        // Start is written, then UpperFilters fails: Start stays 1.
        FailureCase{"ClassKeyNotWritable", [](winsim::Machine& m) { m.keys[kClassKey].writable = false; }, {IDYES},
                    {MsgAskRepair, MsgNoWriteRights}, 1},
        FailureCase{"DeleteFails",
                    [](winsim::Machine& m) { m.deleteFaults.push_back({kClassKey, kUpperFiltersValue}); }, {IDYES},
                    {MsgAskRepair, MsgRepairFailed}, 1},
        // The new value is refused after the old one was deleted: the old one is put back.
        FailureCase{"WriteFailsAfterDelete",
                    [](winsim::Machine& m) {
                        m.setFaults.push_back({kClassKey, kUpperFiltersValue, ERROR_ACCESS_DENIED, 1});
                    },
                    {IDYES}, {MsgAskRepair, MsgRepairFailed}, 1},
        // The fresh read after the answer fails: nothing is written.
        FailureCase{"ReadAgainFails",
                    [](winsim::Machine& m) {
                        m.whileBoxOpen = [](const winsim::Box&) {
                            winsim::machine().queryDataFaults.push_back({kClassKey, kUpperFiltersValue});
                        };
                    },
                    {IDYES}, {MsgAskRepair, MsgRegistryReadError}, 3},
        FailureCase{"ClassKeyLockedWhileAsking",
                    [](winsim::Machine& m) {
                        m.whileBoxOpen = [](const winsim::Box&) { winsim::machine().keys[kClassKey].readable = false; };
                    },
                    {IDYES}, {MsgAskRepair, MsgRegistryReadError}, 3}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// ---- Other software at work while the question is open -------------------------

struct ConcurrentCase {
    const char* name;
    Filters changedTo;  // what the other installer leaves in UpperFilters
    winsim::Bytes written;
};

class ConcurrentChange : public SimTest, public ::testing::WithParamInterface<ConcurrentCase> {};

TEST_P(ConcurrentChange, TheListAsItNowStandsIsWritten) {
    const ConcurrentCase& c = GetParam();
    InstallProduct(3);
    winsim::SetValue(kCdromClassKey, kUpperFiltersValue, REG_MULTI_SZ, Raw("foo\0\0"));
    Machine().answers = {IDYES, IDNO};
    Machine().whileBoxOpen = [&c](const winsim::Box& box) {
        if (box.text != MsgAskRepair) return;
        if (c.changedTo.present) {
            winsim::SetValue(kCdromClassKey, kUpperFiltersValue, c.changedTo.type, c.changedTo.bytes);
        } else {
            winsim::machine().keys[kCdromClassKey].values.erase(kUpperFiltersValue);
        }
    };
    EXPECT_EQ(RunTool(), 0);
    const winsim::RegistryValue* filters = winsim::FindValue(kCdromClassKey, kUpperFiltersValue);
    ASSERT_NE(filters, nullptr);
    EXPECT_EQ(filters->type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(filters->data, c.written) << Show(filters->data);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ConcurrentChange,
    ::testing::Values(
        ConcurrentCase{"FilterAdded", MultiSz(Raw("foo\0bar\0\0")), Raw("foo\0bar\0UlvexPass\0\0")},
        ConcurrentCase{"FilterRemoved", MultiSz(Raw("\0")), Raw("UlvexPass\0\0")},
        ConcurrentCase{"ValueDeleted", kNoValue, Raw("UlvexPass\0\0")},
        // Another installer added our filter already: it is not added twice.
        ConcurrentCase{"OurFilterAdded", MultiSz(Raw("foo\0ULVEXPASS\0\0")), Raw("foo\0ULVEXPASS\0\0")},
        ConcurrentCase{"TurnedIntoAString", Sz(Raw("baz\0")), Raw("baz\0UlvexPass\0\0")}),
    [](const ::testing::TestParamInfo<ConcurrentCase>& info) { return std::string(info.param.name); });

// ---- A 32-bit exe on 64-bit Windows ---------------------------------------------

const std::string kAppPaths64 = kProductRegistrationKey;
const std::string kAppPaths32 = "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ulvex.exe";

struct Wow64Case {
    const char* name;
    bool windows64;
    bool hasWow64Functions;
    const char* driverDirectory;  // where the driver file really is
    std::string registrationKey;  // where the product registered itself
    std::vector<std::string> boxes;
};

class Wow64Runs : public SimTest, public ::testing::WithParamInterface<Wow64Case> {};

TEST_P(Wow64Runs, SeeTheNativeDriverFolderAndBothRegistryViews) {
    const Wow64Case& c = GetParam();
    Machine().windows64 = c.windows64;
    Machine().hasWow64Functions = c.hasWow64Functions;
    winsim::AddFile(std::string(c.driverDirectory) + "\\UlvexPass.sys");
    winsim::AddFile(kProductExe);
    winsim::SetString(c.registrationKey, "", kProductExe);
    winsim::SetDword(kServiceKey, "Start", 1);
    winsim::SetValue(kCdromClassKey, kUpperFiltersValue, REG_MULTI_SZ, Raw("UlvexPass\0\0"));
    Machine().answers = {IDNO};

    RunTool();
    EXPECT_EQ(BoxTexts(), c.boxes);
    // Redirection is back on for everything after the driver probe (checked
    // by the fixture), and the view flags never reach a 32-bit Windows
    // (the machine reports them as an error).
}

INSTANTIATE_TEST_SUITE_P(
    Systems, Wow64Runs,
    ::testing::Values(
        Wow64Case{"Native64BitDriverAnd64BitRegistration", true, true, "C:\\WINDOWS\\system32\\DRIVERS", kAppPaths64,
                  {MsgAskRepairAnyway}},
        Wow64Case{"Native64BitDriverAnd32BitRegistration", true, true, "C:\\WINDOWS\\system32\\DRIVERS", kAppPaths32,
                  {MsgAskRepairAnyway}},
        // A driver only in SysWOW64 is not the one Windows loads.
        Wow64Case{"DriverOnlyInSysWow64", true, true, "C:\\WINDOWS\\SysWOW64\\DRIVERS", kAppPaths64,
                  {MsgDriverFileMissing}},
        Wow64Case{"Windows32Bit", false, true, "C:\\WINDOWS\\system32\\DRIVERS", kAppPaths64, {MsgAskRepairAnyway}},
        // Windows 2000 has none of the WOW64 functions.
        Wow64Case{"Windows2000", false, false, "C:\\WINDOWS\\system32\\DRIVERS", kAppPaths64, {MsgAskRepairAnyway}}),
    [](const ::testing::TestParamInfo<Wow64Case>& info) { return std::string(info.param.name); });

TEST_F(SimTest, Wow64RedirectionIsOffOnlyAroundTheDriverProbe) {
    Machine().windows64 = true;
    InstallProduct(1);
    Machine().answers = {IDNO};
    RunTool();
    std::vector<std::string> sequence;
    for (const std::string& call : Machine().calls) {
        if (call.rfind("Wow64", 0) == 0 || call.rfind("FindFirstFileA", 0) == 0) sequence.push_back(call);
    }
    EXPECT_EQ(sequence, (std::vector<std::string>{"Wow64DisableWow64FsRedirection",
                                                  "FindFirstFileA(\"C:\\WINDOWS\\system32\\DRIVERS\\UlvexPass.sys\")",
                                                  "Wow64RevertWow64FsRedirection",
                                                  // Nothing registered in the 32-bit view, then the 64-bit one.
                                                  "FindFirstFileA(\"\")",
                                                  "FindFirstFileA(\"C:\\Program Files\\Ulvex\\Ulvex.exe\")"}));
}

}  // namespace
