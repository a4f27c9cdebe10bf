// The system restart and its shutdown privilege.
#include "sim_fixture.h"
#include "system/restart.h"

using test::SimTest;

namespace {

struct RestartCase {
    const char* name;
    void (*arrange)(winsim::Machine&);
    bool expectedResult;
    bool shutdownRequested;
};

class RestartTable : public SimTest, public ::testing::WithParamInterface<RestartCase> {};

TEST_P(RestartTable, EnablesThePrivilegeThenAsksForTheShutdown) {
    const RestartCase& c = GetParam();
    if (c.arrange) c.arrange(Machine());
    EXPECT_EQ(RestartSystem(EWX_REBOOT), c.expectedResult);
    if (c.shutdownRequested) {
        ASSERT_EQ(Machine().shutdownRequests.size(), 1u);
        EXPECT_EQ(Machine().shutdownRequests[0].flags, UINT(EWX_REBOOT));
        EXPECT_EQ(Machine().shutdownRequests[0].reason, 0u);
    } else {
        EXPECT_TRUE(Machine().shutdownRequests.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RestartTable,
    ::testing::Values(
        RestartCase{"AllStepsSucceed", nullptr, true, true},
        RestartCase{"OpenProcessTokenFails", [](winsim::Machine& m) { m.openProcessTokenFails = true; }, false,
                    false},
        RestartCase{"LookupPrivilegeFails", [](winsim::Machine& m) { m.lookupPrivilegeFails = true; }, false, false},
        RestartCase{"AdjustPrivilegesFails", [](winsim::Machine& m) { m.adjustPrivilegesFails = true; }, false,
                    false},
        // Success without the privilege enabled: the shutdown is still asked
        // for, and Windows' refusal is what comes back.
        RestartCase{"PartialAssignment", [](winsim::Machine& m) { m.adjustPrivilegesNotAssigned = true; }, false,
                    true},
        RestartCase{"ShutdownRefused", [](winsim::Machine& m) { m.exitWindowsResult = FALSE; }, false, true},
        // Windows 9x has no token to adjust.
        RestartCase{"Windows98",
                    [](winsim::Machine& m) {
                        m.platformId = VER_PLATFORM_WIN32_WINDOWS;
                        m.majorVersion = 4;
                        m.minorVersion = 10;
                    },
                    true, true}),
    [](const ::testing::TestParamInfo<RestartCase>& info) { return std::string(info.param.name); });

TEST_F(SimTest, RestartAsksForAdjustAndQueryAccessAndTheLocalShutdownPrivilege) {
    EXPECT_TRUE(RestartSystem(EWX_REBOOT));
    EXPECT_EQ(winsim::CallsStartingWith("OpenProcessToken"), std::vector<std::string>{"OpenProcessToken(0x28)"});
    EXPECT_EQ(winsim::CallsStartingWith("LookupPrivilegeValueA"),
              std::vector<std::string>{"LookupPrivilegeValueA(NULL, \"SeShutdownPrivilege\")"});
    EXPECT_TRUE(Machine().shutdownRequests[0].privilegeEnabled);
    // The privilege is left enabled.
    EXPECT_TRUE(Machine().shutdownPrivilegeEnabled);
}

TEST_F(SimTest, RestartOnWindows98TouchesNoToken) {
    Machine().platformId = VER_PLATFORM_WIN32_WINDOWS;
    Machine().majorVersion = 4;
    RestartSystem(EWX_REBOOT);
    EXPECT_FALSE(winsim::Called("OpenProcessToken"));
}

TEST_F(SimTest, RestartPassesTheFlagsThrough) {
    RestartSystem(EWX_SHUTDOWN);
    ASSERT_EQ(Machine().shutdownRequests.size(), 1u);
    EXPECT_EQ(Machine().shutdownRequests[0].flags, UINT(EWX_SHUTDOWN));
}

}  // namespace
