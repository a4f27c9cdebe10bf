// Shared set-up for tests that run against the simulated machine.
#pragma once

#include "app/messages.h"
#include "app/names.h"
#include "registry/filter_list.h"
#include "winsim/machine.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

// Lists print as {"foo", "bar"} in failure messages.
inline void PrintTo(const FilterList& list, std::ostream* out) {
    *out << "{";
    const char* separator = "";
    for (std::string_view entry : list) {
        *out << separator << '"' << entry << '"';
        separator = ", ";
    }
    *out << "}";
}

namespace test {

constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\UlvexPass";
constexpr const char* kDriverPath = "C:\\WINDOWS\\system32\\DRIVERS\\UlvexPass.sys";
constexpr const char* kProductExe = "C:\\Program Files\\Ulvex\\Ulvex.exe";

// The bytes of a string literal, embedded zeros included, without the
// literal's own terminator: Raw("A\0B\0") is A, 0, B, 0.
template <size_t N>
winsim::Bytes Raw(const char (&literal)[N]) {
    return winsim::Bytes(literal, literal + N - 1);
}

std::string Show(const winsim::Bytes& bytes);  // "66 6f 6f 00 ..." for failure messages

// Every test starts on a fresh machine (Windows XP, an administrator, an
// empty registry) and ends by checking that the tool gave back everything
// it acquired and never misused the platform.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override { winsim::Reset(); }
    void TearDown() override;
    static winsim::Machine& Machine() { return winsim::machine(); }
};

// A machine where the product is installed: the driver file, the App Paths
// registration naming an existing exe, the service with this Start value,
// and the CD-ROM class key (without UpperFilters).
void InstallProduct(DWORD start);

// Runs the tool's entry point as the process start-up would.
int RunTool(const char* commandLine = "");

}  // namespace test
