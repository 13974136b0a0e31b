// The trusted-domain lists: Origins, the trust rule, the allowed origin and the confirmation of
// unknown domains.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/SettingsTestSupport.h"
#include "settings/U_Settings.h"

namespace nelvo {
namespace {

using Entries = std::vector<std::string>;
using test::CapturedRecord;
using test::ScopedLogCapture;
using testing::ElementsAre;

const std::string kService = ServiceHostName;

TEST(DomainListTest, OriginsStartWithTheServiceHostAndHoldEachEntrysHost) {
    TDomainList list;
    EXPECT_EQ(list.Origins().Items(), Entries{kService});

    list.SetText("https://A.example:8443/x;b.example:81; ;\"  \";c.example;");
    EXPECT_EQ(list.Origins().Items(), (Entries{kService, "a.example", "b.example", "c.example"}));
    // Blank entries leave the list itself too.
    EXPECT_EQ(list.Text(), "https://A.example:8443/x;b.example:81;c.example");
}

TEST(DomainListTest, AnEntryWithoutHostAddsNothingToOrigins) {
    TDomainList list;
    list.SetText("https://;a.example");
    EXPECT_EQ(list.Items().Items(), (Entries{"https://", "a.example"}));
    EXPECT_EQ(list.Origins().Items(), (Entries{kService, "a.example"}));
}

TEST(DomainListTest, SettingTheSameTextKeepsTheListAsItIs) {
    TDomainList list;
    list.SetText("a.example;");
    ASSERT_EQ(list.Text(), "a.example");  // the blank entry went with the rebuild
    list.SetText("a.example");
    EXPECT_EQ(list.Items().Items(), Entries{"a.example"});
    list.SetText("b.example");
    EXPECT_EQ(list.Origins().Items(), (Entries{kService, "b.example"}));
}

TEST(DomainListTest, InsertMissingPutsDefaultsOnTopInReverseOrderTrustedAtOnce) {
    TDomainList list;
    list.SetText("user.example;B.example");
    list.InsertMissing(TBaseDomainList("a.example;b.example;c.example"));
    EXPECT_EQ(list.Text(), "c.example;a.example;user.example;B.example");
    EXPECT_TRUE(list.IsKnown("https://c.example/"));
    EXPECT_TRUE(list.IsKnown("https://a.example/"));
}

TEST(DomainListTest, IsKnownComparesHostsOnly) {
    TDomainList list;
    list.SetText("Bank.example:8443");
    EXPECT_TRUE(list.IsKnown(""));
    EXPECT_TRUE(list.IsKnown("https://BANK.example/any/page"));
    EXPECT_TRUE(list.IsKnown("http://bank.example:1"));
    EXPECT_FALSE(list.IsKnown("https://bank.example.evil.example"));
    EXPECT_FALSE(list.IsKnown(" "));
    EXPECT_FALSE(list.IsKnown("https:///bank.example"));
}

TEST(DomainListTest, ServiceHostIsAlwaysTrusted) {
    TDomainList plain;
    TDomainListPlus plus;
    plus.SetText("a.example");
    plus.SetText("");
    const std::string origin = "https://" + kService + ":11742";
    EXPECT_TRUE(plain.IsTrusted(origin, origin + "/test"));
    EXPECT_TRUE(plus.IsTrusted(origin, ""));
    EXPECT_EQ(plus.AllowOrigin(origin), origin);
}

struct TrustCase {
    std::string origin;
    std::string referer;
    bool plain;  // TDomainList
    bool plus;   // TDomainListPlus without a confirmation handler
    friend void PrintTo(const TrustCase& c, std::ostream* os) {
        *os << testing::PrintToString(c.origin) << " " << testing::PrintToString(c.referer);
    }
};

class IsTrustedTest : public testing::TestWithParam<TrustCase> {};

TEST_P(IsTrustedTest, FollowsTheRuleOfEachList) {
    const TrustCase& c = GetParam();
    TDomainList plain;
    TDomainListPlus plus;
    plain.SetText("a.example;b.example:8443");
    plus.SetText("a.example;b.example:8443");
    EXPECT_EQ(plain.IsTrusted(c.origin, c.referer), c.plain);
    EXPECT_EQ(plus.IsTrusted(c.origin, c.referer), c.plus);
    EXPECT_EQ(plus.Text(), "a.example;b.example:8443");
}

INSTANTIATE_TEST_SUITE_P(
    Requests, IsTrustedTest,
    testing::Values(TrustCase{"", "", true, false}, TrustCase{"https://a.example", "", true, true},
                    TrustCase{"", "https://A.example/page", true, true},
                    TrustCase{"https://a.example", "https://b.example:9/x", true, true},
                    TrustCase{"https://a.example", "https://evil.example/x", false, false},
                    TrustCase{"https://evil.example", "https://a.example/x", false, false},
                    TrustCase{"https://evil.example", "", false, false},
                    TrustCase{"null", "", false, false}));

struct AllowCase {
    std::string origin;
    std::string allowed;
    friend void PrintTo(const AllowCase& c, std::ostream* os) {
        *os << testing::PrintToString(c.origin);
    }
};

class AllowOriginTest : public testing::TestWithParam<AllowCase> {};

TEST_P(AllowOriginTest, EchoesKnownOriginsVerbatim) {
    TDomainList list;
    list.SetText("a.example");
    EXPECT_EQ(list.AllowOrigin(GetParam().origin), GetParam().allowed);
}

INSTANTIATE_TEST_SUITE_P(
    Origins, AllowOriginTest,
    testing::Values(AllowCase{"", "*"},
                    AllowCase{"HTTPS://A.Example:8443", "HTTPS://A.Example:8443"},
                    AllowCase{"http://a.example", "http://a.example"},
                    AllowCase{"https://evil.example", "null"}, AllowCase{"null", "null"}));

// A confirmation handler that records what it was asked and answers as told.
struct FakeUser {
    bool answer = true;
    std::vector<std::pair<std::string, std::string>> asked;  // page, domain
    int newDomains = 0;

    void Attach(TDomainListPlus& list) {
        list.SetOnConfirmDomain([this](const std::string& page, const std::string& domain) {
            asked.emplace_back(page, domain);
            return answer;
        });
        list.SetOnNewDomain([this] { ++newDomains; });
    }
};

class ConfirmDomainTest : public testing::Test {
protected:
    ConfirmDomainTest() {
        list.SetText("a.example");
        user.Attach(list);
    }

    ScopedLogCapture log;
    TDomainListPlus list;
    FakeUser user;
};

TEST_F(ConfirmDomainTest, AcceptedRefererIsAddedWithItsPortAndTrustedFromThen) {
    const std::string referer = "https://B.example:8443/pay?x=1";
    EXPECT_TRUE(list.IsTrusted("https://a.example", referer));

    EXPECT_THAT(user.asked, ElementsAre(std::pair{referer, std::string("b.example:8443")}));
    EXPECT_EQ(list.Text(), "a.example;b.example:8443");
    EXPECT_EQ(list.Origins().Items(), (Entries{kService, "a.example", "b.example"}));
    EXPECT_EQ(user.newDomains, 1);
    const std::vector<CapturedRecord> records = log.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, "Trusted domain ADDED: b.example:8443");
    EXPECT_EQ(records[0].type, TQxLogerTraceType::ttMessage);
    EXPECT_EQ(records[0].sender, "TDomainListPlus");

    EXPECT_TRUE(list.IsTrusted("https://b.example", "https://b.example/other"));
    EXPECT_EQ(user.asked.size(), 1u);
    EXPECT_EQ(list.AllowOrigin("https://b.example"), "https://b.example");
}

TEST_F(ConfirmDomainTest, RefusedDomainChangesNothing) {
    user.answer = false;
    EXPECT_FALSE(list.IsTrusted("https://evil.example", ""));

    EXPECT_THAT(user.asked, ElementsAre(std::pair{std::string("https://evil.example"),
                                                  std::string("evil.example")}));
    EXPECT_EQ(list.Text(), "a.example");
    EXPECT_EQ(list.Origins().Items(), (Entries{kService, "a.example"}));
    EXPECT_EQ(user.newDomains, 0);
    const std::vector<CapturedRecord> records = log.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, "Trusted domain CANCELED: evil.example");
    EXPECT_EQ(records[0].type, TQxLogerTraceType::ttMessage);
}

// A trusted Referer with an unknown Origin: asking about the trusted one would let the unknown
// Origin through on a "yes".
TEST_F(ConfirmDomainTest, AsksAboutTheAddressThatIsNotTrusted) {
    EXPECT_TRUE(list.IsTrusted("https://new.example:444", "https://a.example/page"));
    EXPECT_THAT(user.asked, ElementsAre(std::pair{std::string("https://new.example:444"),
                                                  std::string("new.example:444")}));
    EXPECT_EQ(list.Text(), "a.example;new.example:444");
}

TEST_F(ConfirmDomainTest, AnAddressWithoutHostIsRefusedWithoutAsking) {
    EXPECT_FALSE(list.IsTrusted("", "https:///page"));
    EXPECT_TRUE(user.asked.empty());
    EXPECT_EQ(list.Origins().Items(), (Entries{kService, "a.example"}));
}

TEST_F(ConfirmDomainTest, NoRequestWithoutOriginAndRefererReachesTheUser) {
    EXPECT_FALSE(list.IsTrusted("", ""));
    EXPECT_TRUE(user.asked.empty());
}

TEST_F(ConfirmDomainTest, ClearedHandlerRefusesUnknownDomains) {
    list.SetOnConfirmDomain(nullptr);
    EXPECT_FALSE(list.IsTrusted("https://evil.example", ""));
    EXPECT_TRUE(user.asked.empty());
    EXPECT_TRUE(log.Records().empty());
}

}  // namespace
}  // namespace nelvo
