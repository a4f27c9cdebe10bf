#include "sim_fixture.h"

#include <cstdio>

namespace test {

std::string Show(const winsim::Bytes& bytes) {
    std::string text;
    char hex[4];
    for (BYTE b : bytes) {
        std::snprintf(hex, sizeof hex, "%02x ", b);
        text += hex;
    }
    return text.empty() ? "(no bytes)" : text;
}

void SimTest::TearDown() {
    EXPECT_TRUE(winsim::AllReleased()) << winsim::ResourceReport();
    for (const std::string& error : Machine().errors) ADD_FAILURE() << "winsim: " << error;
}

void InstallProduct(DWORD start) {
    winsim::AddFile(kDriverPath);
    winsim::AddFile(kProductExe);
    winsim::SetString(kProductRegistrationKey, "", kProductExe);
    winsim::SetDword(kServiceKey, "Start", start);
    winsim::AddKey(kCdromClassKey);
}

int RunTool(const char* commandLine) {
    return WinMain(nullptr, nullptr, const_cast<LPSTR>(commandLine), 1);
}

}  // namespace test
