// The version, administrator and file-presence checks.
#include "sim_fixture.h"
#include "system/environment.h"

using test::SimTest;

namespace {

struct VersionCase {
    const char* name;
    DWORD platform;
    DWORD major;
    DWORD minor;
    bool expected;
};

class VersionCheck : public SimTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionCheck, AcceptsNt5AndLaterOnly) {
    const VersionCase& c = GetParam();
    Machine().platformId = c.platform;
    Machine().majorVersion = c.major;
    Machine().minorVersion = c.minor;
    EXPECT_EQ(IsWindows2000OrLater(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionCheck,
    ::testing::Values(VersionCase{"Windows95", VER_PLATFORM_WIN32_WINDOWS, 4, 0, false},
                      VersionCase{"Windows98", VER_PLATFORM_WIN32_WINDOWS, 4, 10, false},
                      VersionCase{"WindowsMe", VER_PLATFORM_WIN32_WINDOWS, 4, 90, false},
                      // A 9x platform is refused whatever its version numbers say.
                      VersionCase{"Windows9xClaimingMajor6", VER_PLATFORM_WIN32_WINDOWS, 6, 0, false},
                      VersionCase{"Win32s", VER_PLATFORM_WIN32s, 5, 0, false},
                      VersionCase{"NT351", VER_PLATFORM_WIN32_NT, 3, 51, false},
                      VersionCase{"NT4", VER_PLATFORM_WIN32_NT, 4, 0, false},
                      VersionCase{"Windows2000", VER_PLATFORM_WIN32_NT, 5, 0, true},
                      VersionCase{"WindowsXP", VER_PLATFORM_WIN32_NT, 5, 1, true},
                      VersionCase{"Server2003", VER_PLATFORM_WIN32_NT, 5, 2, true},
                      VersionCase{"Vista", VER_PLATFORM_WIN32_NT, 6, 0, true},
                      VersionCase{"Windows10", VER_PLATFORM_WIN32_NT, 10, 0, true}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

TEST_F(SimTest, VersionCheckIsFalseWhenTheVersionCannotBeRead) {
    Machine().getVersionFails = true;
    EXPECT_FALSE(IsWindows2000OrLater());
}

// A domain SID with five sub-authorities takes 28 bytes in the group list.
std::string DomainSid(int rid) { return "S-1-5-21-1004336348-1177238915-682003330-" + std::to_string(rid); }

struct AdminCase {
    const char* name;
    std::vector<winsim::TokenGroup> groups;
    void (*fault)(winsim::Machine&);
    bool expected;
};

class AdministratorCheck : public SimTest, public ::testing::WithParamInterface<AdminCase> {};

TEST_P(AdministratorCheck, FindsTheAdministratorsGroup) {
    const AdminCase& c = GetParam();
    Machine().groups = c.groups;
    if (c.fault) c.fault(Machine());
    EXPECT_EQ(IsAdministrator(), c.expected);
}

std::vector<winsim::TokenGroup> ManyGroupsThenAdministrators(int count) {
    std::vector<winsim::TokenGroup> groups;
    for (int i = 0; i < count; ++i) groups.push_back({DomainSid(1000 + i)});
    groups.push_back({winsim::kAdministratorsSid});
    return groups;
}

const winsim::TokenGroup kUsers{winsim::kUsersSid};
const winsim::TokenGroup kAdmins{winsim::kAdministratorsSid};

INSTANTIATE_TEST_SUITE_P(
    Tokens, AdministratorCheck,
    ::testing::Values(
        AdminCase{"Member", {kUsers, kAdmins}, nullptr, true},
        AdminCase{"OnlyGroup", {kAdmins}, nullptr, true},
        AdminCase{"NotAMember", {kUsers, {DomainSid(513)}}, nullptr, false},
        AdminCase{"NoGroups", {}, nullptr, false},
        // A UAC-filtered token holds the group for deny only; it still counts.
        AdminCase{"DenyOnly", {kUsers, {winsim::kAdministratorsSid, SE_GROUP_USE_FOR_DENY_ONLY}}, nullptr, true},
        AdminCase{"Disabled", {{winsim::kAdministratorsSid, 0}}, nullptr, true},
        // Same authority, other alias: S-1-5-32-545 is Users, not Administrators.
        AdminCase{"SimilarSidIsNotAdministrators", {{"S-1-5-32-545"}, {"S-1-5-33-544"}}, nullptr, false},
        // 19 domain groups and Administrators fit in 1024 bytes on both word
        // sizes; 30 of them do not, and the list is then not read at all.
        AdminCase{"LargeListThatFits", ManyGroupsThenAdministrators(19), nullptr, true},
        AdminCase{"ListOver1024Bytes", ManyGroupsThenAdministrators(30), nullptr, false},
        AdminCase{"OpenProcessTokenFails", {kAdmins}, [](winsim::Machine& m) { m.openProcessTokenFails = true; },
                  false},
        AdminCase{"GetTokenInformationFails", {kAdmins},
                  [](winsim::Machine& m) { m.getTokenInformationFails = true; }, false},
        AdminCase{"AllocateSidFails", {kAdmins}, [](winsim::Machine& m) { m.allocateSidFails = true; }, false}),
    [](const ::testing::TestParamInfo<AdminCase>& info) { return std::string(info.param.name); });

TEST_F(SimTest, AdministratorCheckReadsTheTokenWithTokenReadAccessAndA1024ByteBuffer) {
    EXPECT_TRUE(IsAdministrator());
    EXPECT_EQ(winsim::CallsStartingWith("OpenProcessToken"), std::vector<std::string>{"OpenProcessToken(0x20008)"});
    EXPECT_EQ(winsim::CallsStartingWith("GetTokenInformation"),
              std::vector<std::string>{"GetTokenInformation(2, 1024)"});
}

struct FileCase {
    const char* name;
    const char* path;
    bool expected;
};

class FileExistsCheck : public SimTest, public ::testing::WithParamInterface<FileCase> {
protected:
    void SetUp() override {
        SimTest::SetUp();
        winsim::AddFile("C:\\Program Files\\Ulvex\\Ulvex.exe");
    }
};

TEST_P(FileExistsCheck, IsADirectorySearch) {
    const FileCase& c = GetParam();
    EXPECT_EQ(FileExists(c.path), c.expected) << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileExistsCheck,
    ::testing::Values(FileCase{"ExistingFile", "C:\\Program Files\\Ulvex\\Ulvex.exe", true},
                      FileCase{"OtherLetterCase", "c:\\program files\\ulvex\\ULVEX.EXE", true},
                      FileCase{"MissingFile", "C:\\Program Files\\Ulvex\\Other.exe", false},
                      FileCase{"EmptyPath", "", false},
                      FileCase{"Directory", "C:\\Program Files\\Ulvex", true},
                      FileCase{"DirectoryWithTrailingBackslash", "C:\\Program Files\\Ulvex\\", false},
                      FileCase{"StarMatches", "C:\\Program Files\\Ulvex\\*.exe", true},
                      FileCase{"QuestionMarkMatches", "C:\\Program Files\\Ulvex\\Ulve?.exe", true},
                      FileCase{"PatternMatchingNothing", "C:\\Program Files\\Ulvex\\*.sys", false},
                      FileCase{"QuotedPath", "\"C:\\Program Files\\Ulvex\\Ulvex.exe\"", false}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST_F(SimTest, FileExistsClosesItsSearch) {
    winsim::AddFile("C:\\a.txt");
    EXPECT_TRUE(FileExists("C:\\a.txt"));
    EXPECT_EQ(Machine().openFindHandles, 0);
    EXPECT_TRUE(winsim::Called("FindClose"));
}

}  // namespace
