// The multi-string codec and the writer of the filter list.
#include "registry/filter_list.h"
#include "sim_fixture.h"

using test::Raw;
using test::Show;
using test::SimTest;

namespace {

struct ParseCase {
    const char* name;
    winsim::Bytes read;  // the bytes the registry returned
    FilterList expected;
};

// The tool hands the parser the bytes read plus two zero bytes; the buffer
// is filled with a sentinel beyond that, so any read past `length` shows.
FilterList ParseAsTheToolDoes(const winsim::Bytes& read) {
    winsim::Bytes buffer = read;
    buffer.push_back(0);
    buffer.push_back(0);
    const DWORD length = static_cast<DWORD>(buffer.size());
    buffer.insert(buffer.end(), 8, 'Z');
    FilterList list;
    EXPECT_EQ(ParseMultiString(buffer.data(), length, list), kParsed);
    return list;
}

class ParseTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, SplitsAtZeroBytesAndStopsAtAnEmptyString) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(ParseAsTheToolDoes(c.read), c.expected) << Show(c.read);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ParseTable,
    ::testing::Values(ParseCase{"TwoEntries", Raw("A\0B\0\0"), {"A", "B"}},
                      ParseCase{"NoFinalTerminator", Raw("A\0B\0"), {"A", "B"}},
                      ParseCase{"LastStringUnterminated", Raw("A\0B"), {"A", "B"}},
                      ParseCase{"NothingRead", {}, {}},
                      ParseCase{"OnlyTerminator", Raw("\0"), {}},
                      ParseCase{"EmptyListAsWritten", Raw("\0\0"), {}},
                      ParseCase{"EmptyStringInTheMiddle", Raw("A\0\0B\0\0"), {"A"}},
                      ParseCase{"FirstStringEmpty", Raw("\0A\0\0"), {}},
                      ParseCase{"NoZeroByte", Raw("AB"), {"AB"}},
                      ParseCase{"Duplicates", Raw("x\0x\0X\0\0"), {"x", "x", "X"}},
                      ParseCase{"HighBytesKept", Raw("\xdf\xe4\0\0"), {"\xdf\xe4"}},
                      ParseCase{"Typical", Raw("foo\0UlvexPass\0\0"), {"foo", "UlvexPass"}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(FilterList, EntriesInOrderEachWithItsTerminator) {
    const FilterList empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_EQ(empty.back(), "");

    FilterList list{"foo"};
    EXPECT_EQ(list.back(), "foo");
    list.push_back("UlvexPass");
    list.push_back("b");
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], "foo");
    EXPECT_EQ(list[1], "UlvexPass");
    EXPECT_EQ(list.back(), "b");
    EXPECT_EQ(list.bytes(), std::string("foo\0UlvexPass\0b\0", 16));
    EXPECT_NE(list, (FilterList{"foo", "UlvexPass"}));
}

TEST(ParseMultiString, AbsentBytesLeaveTheListAsItWas) {
    FilterList list{"kept"};
    EXPECT_EQ(ParseMultiString(nullptr, 7, list), kParseNoData);
    EXPECT_EQ(list, FilterList{"kept"});
}

TEST(ParseMultiString, AppendsToWhatTheListHeld) {
    FilterList list{"first"};
    const winsim::Bytes bytes = Raw("second\0\0\0");
    ParseMultiString(bytes.data(), static_cast<DWORD>(bytes.size()), list);
    EXPECT_EQ(list, (FilterList{"first", "second"}));
}

TEST(ParseMultiString, NeverReadsPastLength) {
    // No zero byte inside `length`: the text ends where the buffer does.
    const winsim::Bytes bytes = Raw("ABCD");
    FilterList list;
    ParseMultiString(bytes.data(), 2, list);
    EXPECT_EQ(list, FilterList{"AB"});
}

struct EncodeCase {
    const char* name;
    FilterList list;
    winsim::Bytes expected;
};

class EncodeTable : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTable, EachEntryZeroTerminatedThenOneMoreZero) {
    const EncodeCase& c = GetParam();
    const std::vector<BYTE> bytes = EncodeMultiString(c.list);
    EXPECT_EQ(bytes, c.expected) << Show(bytes);
    EXPECT_EQ(ParseAsTheToolDoes(bytes), c.list);
}

INSTANTIATE_TEST_SUITE_P(Lists, EncodeTable,
                         ::testing::Values(EncodeCase{"Empty", {}, Raw("\0\0")},
                                           EncodeCase{"One", {"UlvexPass"}, Raw("UlvexPass\0\0")},
                                           EncodeCase{"Typical", {"foo", "UlvexPass"}, Raw("foo\0UlvexPass\0\0")}),
                         [](const ::testing::TestParamInfo<EncodeCase>& info) { return std::string(info.param.name); });

constexpr const char* kKey = "SYSTEM\\Test";
constexpr const char* kValue = "UpperFilters";

TEST_F(SimTest, WriteMultiStringReplacesAnyTypeWithMultiString) {
    winsim::SetString(kKey, kValue, "foo", REG_SZ);
    EXPECT_EQ(WriteMultiString({"foo", "UlvexPass"}, HKEY_LOCAL_MACHINE, kKey, kValue), kMultiStringWritten);
    const winsim::RegistryValue* value = winsim::FindValue(kKey, kValue);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(value->data, Raw("foo\0UlvexPass\0\0")) << Show(value->data);
    EXPECT_EQ(value->data.size(), 15u);
}

TEST_F(SimTest, WriteMultiStringCreatesAMissingValue) {
    winsim::AddKey(kKey);
    EXPECT_EQ(WriteMultiString({}, HKEY_LOCAL_MACHINE, kKey, kValue), kMultiStringWritten);
    const winsim::RegistryValue* value = winsim::FindValue(kKey, kValue);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(value->data, Raw("\0\0"));
}

struct WriteFailureCase {
    const char* name;
    void (*arrange)(winsim::Machine&);
    int expected;
};

class WriteFailureTable : public SimTest, public ::testing::WithParamInterface<WriteFailureCase> {};

// Whatever fails, the value that was there before is there afterwards, with
// its type and bytes.
TEST_P(WriteFailureTable, KeepsThePreviousValue) {
    const WriteFailureCase& c = GetParam();
    const winsim::Bytes before = Raw("other\0\xff\x01");
    winsim::SetValue(kKey, kValue, REG_BINARY, before);
    c.arrange(Machine());
    EXPECT_EQ(WriteMultiString({"UlvexPass"}, HKEY_LOCAL_MACHINE, kKey, kValue), c.expected);
    const winsim::RegistryValue* value = winsim::FindValue(kKey, kValue);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, DWORD(REG_BINARY));
    EXPECT_EQ(value->data, before) << Show(value->data);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WriteFailureTable,
    ::testing::Values(
        WriteFailureCase{"NoWriteRights", [](winsim::Machine& m) { m.keys[kKey].writable = false; },
                         kMultiStringNoWriteRights},
        WriteFailureCase{"DeleteFails", [](winsim::Machine& m) { m.deleteFaults.push_back({kKey, kValue}); },
                         kMultiStringWriteFailed},
        // The old value is deleted, the new one is refused: the old one is put back.
        WriteFailureCase{"SetFailsOnce",
                         [](winsim::Machine& m) { m.setFaults.push_back({kKey, kValue, ERROR_ACCESS_DENIED, 1}); },
                         kMultiStringWriteFailed},
        // The old value cannot be copied first, so nothing is touched.
        WriteFailureCase{"CopyFails", [](winsim::Machine& m) { m.queryDataFaults.push_back({kKey, kValue}); },
                         kMultiStringWriteFailed}),
    [](const ::testing::TestParamInfo<WriteFailureCase>& info) { return std::string(info.param.name); });

TEST_F(SimTest, WriteMultiStringOpensWithFullAccessAndDeletesBeforeWriting) {
    winsim::SetString(kKey, kValue, "foo");
    WriteMultiString({"foo"}, HKEY_LOCAL_MACHINE, kKey, kValue);
    std::vector<std::string> writes;
    for (const std::string& call : Machine().calls) {
        if (call.rfind("RegOpenKeyExA", 0) == 0 || call.rfind("RegDeleteValueA", 0) == 0 ||
            call.rfind("RegSetValueExA", 0) == 0) {
            writes.push_back(call);
        }
    }
    EXPECT_EQ(writes, (std::vector<std::string>{"RegOpenKeyExA(SYSTEM\\Test, 0xf003f) = 0",
                                                "RegDeleteValueA(SYSTEM\\Test, \"UpperFilters\") = 0",
                                                "RegSetValueExA(SYSTEM\\Test, \"UpperFilters\", 7, 5) = 0"}));
}

}  // namespace
