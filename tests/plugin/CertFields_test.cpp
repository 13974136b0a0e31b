#include <gtest/gtest.h>

#include "plugin/U_CryptLib_Parsers.h"

namespace nelvo {
namespace {

using TPairs = std::vector<TCertFieldsDictionary::TPair>;

TPairs Parse(std::string_view text) {
    TCertFieldsDictionary d;
    d.Add("stale", "x");  // parsing starts from an empty dictionary
    ParseCertText(text, d);
    return d.Pairs();
}

TEST(CertFieldsTest, SingleLineFieldsSplitAtTheFirstEqualsSign) {
    EXPECT_EQ(Parse("SN=01AB\r\nCN=Ivanov=Ivan\nO=Bank\rno equals\r\n\r\nE="),
              (TPairs{{"SN", "01AB"},
                      {"CN", "Ivanov=Ivan"},
                      {"O", "Bank"},
                      {"", "no equals"},
                      {"", ""},
                      {"E", ""}}));
    EXPECT_TRUE(Parse("").empty());
    EXPECT_EQ(Parse("A=1\r\n"), (TPairs{{"A", "1"}}));  // a final line break starts no line
}

TEST(CertFieldsTest, MultiLineBlocksRunToTheFirstEmptyLine) {
    EXPECT_EQ(Parse("SN=1\r\nPKey=\r\nl1\r\nl2\r\nl3\r\n\r\n\r\nCN=x\r\n"),
              (TPairs{{"PKey", "l1\r\nl2\r\nl3"}, {"SN", "1"}, {"CN", "x"}}));
    // A header on the last line gives an empty value; a lower-case header still opens the
    // block, stored under the key as the engine's readers name it.
    EXPECT_EQ(Parse("CN=x\r\npkey="), (TPairs{{"PKey", ""}, {"CN", "x"}}));
    // With the value on the header line it is an ordinary field.
    EXPECT_EQ(Parse("PKey=abc\r\nCN=x"), (TPairs{{"PKey", "abc"}, {"CN", "x"}}));
}

TEST(CertFieldsTest, BlocksAreReadInTheirFixedOrderWhateverTheTextOrder) {
    const std::string text =
        "CPolicies=\r\n1.2.643.100.113.1\r\n\r\n"
        "CN=x\r\n"
        "CRLDp=\r\nhttp://a\r\nhttp://b\r\n\r\n"
        "PKey=\r\n30 82\r\n";
    EXPECT_EQ(Parse(text), (TPairs{{"PKey", "30 82"},
                                   {"CRLDp", "http://a\r\nhttp://b"},
                                   {"CPolicies", "1.2.643.100.113.1"},
                                   {"CN", "x"}}));
}

TEST(CertFieldsTest, LookUpTakesTheFirstPairAndMatchesKeysExactly) {
    TCertFieldsDictionary d;
    ParseCertText("SN=first\r\nSN=second\r\nCN=Upper", d);
    EXPECT_EQ(d.Count(), 3u);
    std::string value = "untouched";
    EXPECT_TRUE(TryGetField(d, "SN", value));
    EXPECT_EQ(value, "first");
    EXPECT_FALSE(TryGetField(d, "cn", value));
    EXPECT_EQ(value, "");
    EXPECT_EQ(GetField(d, "CN"), "Upper");
    EXPECT_EQ(GetField(d, "ICN"), "");
}

}  // namespace
}  // namespace nelvo
