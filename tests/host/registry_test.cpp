// The service start type and the registry text reader.
#include "registry/registry_calls.h"
#include "registry/registry_text.h"
#include "registry/service_start.h"
#include "sim_fixture.h"

using test::kServiceKey;
using test::Raw;
using test::Show;
using test::SimTest;

namespace {

// How the service key looks before the call.
struct StartSetup {
    bool keyExists = true;
    bool writable = true;
    bool hasValue = true;
    DWORD type = REG_DWORD;
    winsim::Bytes data;
};

StartSetup StartDword(DWORD value) {
    StartSetup setup;
    setup.data = {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
    return setup;
}
StartSetup StartBytes(DWORD type, winsim::Bytes data) {
    StartSetup setup;
    setup.type = type;
    setup.data = std::move(data);
    return setup;
}
StartSetup NoStartValue() {
    StartSetup setup;
    setup.hasValue = false;
    return setup;
}
StartSetup NoServiceKey() {
    StartSetup setup;
    setup.keyExists = false;
    return setup;
}
StartSetup ReadOnlyKey(DWORD value) {
    StartSetup setup = StartDword(value);
    setup.writable = false;
    return setup;
}

void Apply(const StartSetup& setup) {
    if (!setup.keyExists) return;
    winsim::RegistryKey& key = winsim::AddKey(kServiceKey);
    key.writable = setup.writable;
    if (setup.hasValue) winsim::SetValue(kServiceKey, "Start", setup.type, setup.data);
}

struct ServiceStartCase {
    const char* name;
    StartSetup setup;
    int readResult;
    int writeResult;
};

class ServiceStartTable : public SimTest, public ::testing::WithParamInterface<ServiceStartCase> {};

TEST_P(ServiceStartTable, ReadMode) {
    const ServiceStartCase& c = GetParam();
    Apply(c.setup);
    EXPECT_EQ(ServiceStart("UlvexPass", false), c.readResult);
    // Reading never changes the value.
    const winsim::RegistryValue* start = winsim::FindValue(kServiceKey, "Start");
    if (c.setup.keyExists && c.setup.hasValue) {
        ASSERT_NE(start, nullptr);
        EXPECT_EQ(start->data, c.setup.data);
    }
}

TEST_P(ServiceStartTable, WriteMode) {
    const ServiceStartCase& c = GetParam();
    Apply(c.setup);
    EXPECT_EQ(ServiceStart("UlvexPass", true), c.writeResult);
    const winsim::RegistryValue* start = winsim::FindValue(kServiceKey, "Start");
    if (c.writeResult == kStartWritten) {
        ASSERT_NE(start, nullptr);
        EXPECT_EQ(start->type, DWORD(REG_DWORD));
        EXPECT_EQ(start->data, Raw("\x01\0\0\0")) << Show(start->data);
    } else if (c.setup.keyExists && c.setup.hasValue) {
        ASSERT_NE(start, nullptr);
        EXPECT_EQ(start->data, c.setup.data);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ServiceStartTable,
    ::testing::Values(
        ServiceStartCase{"Boot", StartDword(0), kStartsWithSystem, kStartWritten},
        ServiceStartCase{"System", StartDword(1), kStartsWithSystem, kStartWritten},
        ServiceStartCase{"Automatic", StartDword(2), kStartsLater, kStartWritten},
        ServiceStartCase{"OnDemand", StartDword(3), kStartsLater, kStartWritten},
        ServiceStartCase{"Disabled", StartDword(4), kStartsLater, kStartWritten},
        // Compared unsigned: not a negative number.
        ServiceStartCase{"AllBitsSet", StartDword(0xFFFFFFFF), kStartsLater, kStartWritten},
        // Fewer than 4 bytes fill only the low bytes of a zeroed integer.
        ServiceStartCase{"OneByteThree", StartBytes(REG_DWORD, {3}), kStartsLater, kStartWritten},
        ServiceStartCase{"OneByteOne", StartBytes(REG_BINARY, {1}), kStartsWithSystem, kStartWritten},
        ServiceStartCase{"TwoBytesHighByteSet", StartBytes(REG_BINARY, {0, 1}), kStartsLater, kStartWritten},
        ServiceStartCase{"NoData", StartBytes(REG_DWORD, {}), kStartsWithSystem, kStartWritten},
        // The type is not examined: a string "1" is the byte 0x31.
        ServiceStartCase{"StringType", StartBytes(REG_SZ, Raw("1\0")), kStartsLater, kStartWritten},
        // Longer than the 4-byte integer: the read fails.
        ServiceStartCase{"EightBytes", StartBytes(REG_BINARY, Raw("\x01\0\0\0\0\0\0\0")), kStartUnreadable,
                         kStartWritten},
        ServiceStartCase{"NoValue", NoStartValue(), kStartUnreadable, kStartWritten},
        ServiceStartCase{"NoKey", NoServiceKey(), kStartUnreadable, kServiceNotOpened},
        // Full access is asked for in both modes.
        ServiceStartCase{"NoWriteRights", ReadOnlyKey(1), kStartUnreadable, kServiceNotOpened}),
    [](const ::testing::TestParamInfo<ServiceStartCase>& info) { return std::string(info.param.name); });

TEST_F(SimTest, ServiceStartWriteFailureIsReportedAfterTheKeyOpened) {
    winsim::SetDword(kServiceKey, "Start", 3);
    Machine().setFaults.push_back({kServiceKey, "Start"});
    EXPECT_EQ(ServiceStart("UlvexPass", true), kStartWriteFailed);
    EXPECT_EQ(winsim::FindValue(kServiceKey, "Start")->data, Raw("\x03\0\0\0"));
}

TEST_F(SimTest, ServiceStartReadsWithA4ByteCountAndFullAccess) {
    winsim::SetDword(kServiceKey, "Start", 1);
    ServiceStart("UlvexPass", false);
    EXPECT_EQ(winsim::CallsStartingWith("RegOpenKeyExA"),
              std::vector<std::string>{"RegOpenKeyExA(SYSTEM\\CurrentControlSet\\Services\\UlvexPass, 0xf003f) = 0"});
    EXPECT_EQ(winsim::CallsStartingWith("RegQueryValueExA"),
              std::vector<std::string>{
                  "RegQueryValueExA(SYSTEM\\CurrentControlSet\\Services\\UlvexPass, \"Start\", buffer, 4) = 0"});
}

constexpr const char* kTextKey = "SOFTWARE\\Test";

struct TextCase {
    const char* name;
    bool keyExists;
    bool writable;
    DWORD type;
    winsim::Bytes data;
    std::string expected;
};

TextCase Text(const char* name, DWORD type, winsim::Bytes data, std::string expected) {
    return {name, true, true, type, std::move(data), std::move(expected)};
}

winsim::Bytes Repeated(char c, size_t count, bool terminated) {
    winsim::Bytes bytes(count, BYTE(c));
    if (terminated) bytes.push_back(0);
    return bytes;
}

class ReadRegistryTextTable : public SimTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ReadRegistryTextTable, ReturnsTheTextOrEmpty) {
    const TextCase& c = GetParam();
    if (c.keyExists) {
        winsim::AddKey(kTextKey).writable = c.writable;
        winsim::SetValue(kTextKey, "", c.type, c.data);
    }
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kTextKey, ""), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadRegistryTextTable,
    ::testing::Values(
        Text("Plain", REG_SZ, Raw("C:\\Ulvex.exe\0"), "C:\\Ulvex.exe"),
        // 1022 characters and the terminator are exactly the 1023 bytes the read may store.
        Text("Longest", REG_SZ, Repeated('x', 1022, true), std::string(1022, 'x')),
        Text("OneByteTooLong", REG_SZ, Repeated('x', 1023, true), ""),
        // 1023 characters without a terminator still fit, and the zeroed buffer terminates them.
        Text("LongestUnterminated", REG_SZ, Repeated('x', 1023, false), std::string(1023, 'x')),
        Text("Unterminated", REG_SZ, Raw("abc"), "abc"),
        Text("EmbeddedZero", REG_SZ, Raw("abc\0def\0"), "abc"),
        Text("EmptyText", REG_SZ, Raw("\0"), ""),
        Text("NoData", REG_SZ, {}, ""),
        Text("ExpandString", REG_EXPAND_SZ, Raw("%SystemRoot%\\Ulvex.exe\0"), ""),
        Text("MultiString", REG_MULTI_SZ, Raw("C:\\Ulvex.exe\0\0"), ""),
        Text("Dword", REG_DWORD, Raw("\x01\0\0\0"), ""),
        TextCase{"NoWriteRights", true, false, REG_SZ, Raw("C:\\Ulvex.exe\0"), ""},
        TextCase{"MissingKey", false, true, REG_SZ, {}, ""}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST_F(SimTest, ReadRegistryTextOfAMissingValueIsEmpty) {
    winsim::AddKey(kTextKey);
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kTextKey, ""), "");
    winsim::SetString(kTextKey, "Named", "value");
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kTextKey, "Named"), "value");
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, kTextKey, ""), "");
}

TEST_F(SimTest, ScopedKeyClosesOnceWhenMovedAndReassigned) {
    winsim::AddKey(kTextKey);
    {
        ScopedKey first = OpenRegistryKey(HKEY_LOCAL_MACHINE, kTextKey, kReadAccess);
        ASSERT_TRUE(first);
        ScopedKey second = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_EQ(Machine().openKeys, 1);
        second = OpenRegistryKey(HKEY_LOCAL_MACHINE, kTextKey, kFullAccess);
        EXPECT_EQ(Machine().openKeys, 1);
    }
    EXPECT_EQ(Machine().openKeys, 0);
    EXPECT_FALSE(OpenRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", kReadAccess));
}

}  // namespace
