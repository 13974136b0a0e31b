// The host part of page addresses and the ";" text form of domain lists.
#include <gtest/gtest.h>

#include "settings/U_Settings.h"

namespace nelvo {
namespace {

using Entries = std::vector<std::string>;

struct NormalizeCase {
    std::string value;
    std::string withoutPort;
    std::string withPort;
    friend void PrintTo(const NormalizeCase& c, std::ostream* os) {
        *os << testing::PrintToString(c.value);
    }
};

class NormalizeDomainTest : public testing::TestWithParam<NormalizeCase> {};

TEST_P(NormalizeDomainTest, GivesTheLowerCaseHost) {
    const NormalizeCase& c = GetParam();
    EXPECT_EQ(NormalizeDomain(c.value, false), c.withoutPort) << "\"" << c.value << "\"";
    EXPECT_EQ(NormalizeDomain(c.value, true), c.withPort) << "\"" << c.value << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, NormalizeDomainTest,
    testing::Values(NormalizeCase{" \tHTTPS://Online.ZRB.example:8443/pay/form?id=7&x=/y \r\n",
                                  "online.zrb.example", "online.zrb.example:8443"},
                    NormalizeCase{"http://Bank.Example", "bank.example", "bank.example"},
                    NormalizeCase{"hTTp://bank.example:80/", "bank.example", "bank.example:80"},
                    NormalizeCase{"bank.example:11741", "bank.example", "bank.example:11741"},
                    NormalizeCase{"BANK.example", "bank.example", "bank.example"},
                    // Only the first "http://" goes; the second ends at its own "/".
                    NormalizeCase{"http://http://bank.example/", "http", "http:"},
                    // "http://" is looked for first, wherever it stands, then "https://".
                    NormalizeCase{"https://http://bank.example", "bank.example", "bank.example"},
                    NormalizeCase{"https://", "", ""}, NormalizeCase{"", "", ""},
                    NormalizeCase{"null", "null", "null"},
                    // Only A to Z change; the bytes of other letters stay as they are.
                    NormalizeCase{"https://БАНК.Example", "БАНК.example", "БАНК.example"}));

struct ParseCase {
    std::string text;
    Entries entries;
    friend void PrintTo(const ParseCase& c, std::ostream* os) {
        *os << testing::PrintToString(c.text);
    }
};

class DomainTextParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(DomainTextParseTest, SplitsIntoEntries) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(TBaseDomainList(c.text).Items(), c.entries) << "\"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DomainTextParseTest,
    testing::Values(ParseCase{"", {}}, ParseCase{"a.example;b.example", {"a.example", "b.example"}},
                    ParseCase{" a.example ; b.example ", {"a.example", "b.example"}},
                    ParseCase{"a.example b.example\tc.example\r\nd.example",
                              {"a.example", "b.example", "c.example", "d.example"}},
                    ParseCase{"a.example;b.example;", {"a.example", "b.example", ""}},
                    ParseCase{"a.example;;b.example", {"a.example", "", "b.example"}},
                    ParseCase{";", {"", ""}}, ParseCase{"\"\"", {""}},
                    ParseCase{"\"my bank.example\";b.example", {"my bank.example", "b.example"}},
                    ParseCase{"\"say \"\"hi\"\"\";x", {"say \"hi\"", "x"}},
                    ParseCase{"\"a;b\"", {"a;b"}},
                    ParseCase{"\"unclosed;b.example", {"unclosed;b.example"}},
                    ParseCase{"банк.example;\xFF\xFE", {"банк.example", "\xFF\xFE"}}));

struct WriteCase {
    Entries entries;
    std::string text;
    friend void PrintTo(const WriteCase& c, std::ostream* os) {
        *os << testing::PrintToString(c.text);
    }
};

class DomainTextWriteTest : public testing::TestWithParam<WriteCase> {};

TEST_P(DomainTextWriteTest, JoinsAndReadsBackTheSame) {
    const WriteCase& c = GetParam();
    TBaseDomainList list;
    for (const std::string& entry : c.entries) list.Add(entry);
    EXPECT_EQ(list.Text(), c.text);
    EXPECT_EQ(TBaseDomainList(list.Text()).Items(), c.entries) << "\"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DomainTextWriteTest,
    testing::Values(WriteCase{{}, ""},
                    WriteCase{{"a.example", "b.example:8443"}, "a.example;b.example:8443"},
                    WriteCase{{""}, "\"\""}, WriteCase{{"a.example", ""}, "a.example;"},
                    WriteCase{{"", "a.example"}, ";a.example"},
                    WriteCase{{"my bank.example"}, "\"my bank.example\""},
                    WriteCase{{"tab\there"}, "\"tab\there\""}, WriteCase{{"a;b"}, "\"a;b\""},
                    WriteCase{{"say \"hi\""}, "\"say \"\"hi\"\"\""}));

TEST(BaseDomainListTest, LooksEntriesUpWithoutLetterCaseAndKeepsDuplicates) {
    TBaseDomainList list("Bank.Example;bank.example");
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_TRUE(list.Contains("BANK.EXAMPLE"));
    EXPECT_FALSE(list.Contains("bank.example:80"));
}

TEST(BaseDomainListTest, RemoveBlankDropsEntriesOfBlanksOnly) {
    TBaseDomainList list;
    for (const char* entry : {"", "a.example", " \t", "b.example", ""}) list.Add(entry);
    list.RemoveBlank();
    EXPECT_EQ(list.Items(), (Entries{"a.example", "b.example"}));
}

}  // namespace
}  // namespace nelvo
