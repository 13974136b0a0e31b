// Certificate search (data type 45) over the key store, read back the way the host splits it.
#include <gtest/gtest.h>
#include <openssl/x509v3.h>

#include <algorithm>

#include "EngineDriver.h"
#include "TestPki.h"

namespace nelvo::cryptoplugin::test {
namespace {

// The host's reading of the result: lines; three header lines, body lines up to the one before
// the trailer, the trailer, the empty separator.
std::vector<std::string> SplitLikeTheHost(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + ((text.compare(end, 2, "\r\n") == 0) ? 2 : 1);
    }
    std::vector<std::string> items;
    std::size_t i = 0;
    while (lines.size() - i > 4) {
        i += 3;
        std::string item;
        while (lines.size() - i >= 2 && !lines[i + 1].empty()) item += lines[i++];
        ++i;
        if (i < lines.size()) ++i;
        items.push_back(item);
    }
    return items;
}

std::string AuthorityKeyIdHex(X509* certificate) {
    const ASN1_OCTET_STRING* id = X509_get0_subject_key_id(certificate);
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (int i = 0; i < ASN1_STRING_length(id); ++i) {
        const unsigned char byte = ASN1_STRING_get0_data(id)[i];
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
        if (i % 2 == 1) hex += ' ';  // pages write them with spaces at times
    }
    return hex;
}

class CertificateSearch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        first_ = new User(NewUser("EC", {"Key gen - INN=500100732259", "Key gen - Sign tool=Tool A"},
                                  {"1.2.643.100.113.1"}));
        second_ = new User(NewUser("EC", {"Key gen - OGRN=1027700000002"}, {"1.2.643.100.113.2"}));
    }
    static void TearDownTestSuite() {
        delete first_;
        delete second_;
    }

    // The containers found, by their certificates' Base64 bodies.
    static std::vector<std::string> Find(const std::vector<std::pair<std::string, std::string>>& parameters,
                                         const std::string& searchData = "", int flags = 100) {
        Engine engine;
        for (const auto& [name, value] : parameters) engine.Set(name, value);
        EXPECT_TRUE(engine.Export(45, searchData, flags)) << engine.LastError().text;
        return SplitLikeTheHost(engine.CurrentData());
    }

    static bool Holds(const std::vector<std::string>& found, const User* user) {
        return std::find(found.begin(), found.end(), user->base64) != found.end();
    }

    static inline User* first_ = nullptr;
    static inline User* second_ = nullptr;
};

TEST_F(CertificateSearch, FiltersByTheHostsParameters) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> parameters;
        bool first;
        bool second;
    };
    const Case cases[] = {
        {"no filter", {}, true, true},
        {"common name", {{"Key gen - Common name", "Test " + first_->container}}, true, false},
        {"INN", {{"Key gen - INN", "500100732259"}}, true, false},
        {"OGRN", {{"Key gen - OGRN", "1027700000002"}}, false, true},
        {"OGRNIP nobody has", {{"Key gen - OGRNIP", "304500000000001"}}, false, false},
        {"sign tool", {{"Key gen - Sign tool", "Tool A"}}, true, false},
        {"policy", {{"Key gen - Certificate policies", "1.2.643.100.113.2"}}, false, true},
        {"either policy", {{"Key gen - Certificate policies", "1.2.643.100.113.1;1.2.643.100.113.2"}}, true, true},
        {"two filters", {{"Key gen - INN", "500100732259"}, {"Key gen - Certificate policies", "1.2.643.100.113.2"}},
         false, false},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> found = Find(c.parameters);
        EXPECT_EQ(Holds(found, first_), c.first) << c.what;
        EXPECT_EQ(Holds(found, second_), c.second) << c.what;
    }
}

TEST_F(CertificateSearch, IssuerKeyIdentifierList) {
    const std::string demoCa = AuthorityKeyIdHex(DemoAuthority().certificate.get());
    const std::string other = "0123456789ABCDEF0123456789ABCDEF01234567";
    EXPECT_TRUE(Holds(Find({}, Base64("|||" + other + ";\"" + demoCa + "\"")), first_));
    EXPECT_TRUE(Find({}, Base64("|||" + other)).empty());

    Engine engine;
    EXPECT_FALSE(engine.Export(45, Base64("no bars " + demoCa), 100));
    EXPECT_EQ(engine.LastError().code, "30");
    EXPECT_FALSE(engine.Export(45, "###", 100));
    EXPECT_EQ(engine.LastError().code, "10");
}

TEST_F(CertificateSearch, BlocksHaveTheShapeTheHostSplits) {
    Engine engine;
    engine.Set("Key gen - Common name", "Test " + second_->container);
    ASSERT_TRUE(engine.Export(45, "", 100));
    const std::string text = engine.CurrentData();
    EXPECT_EQ(text.substr(0, 10), "Container=");
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
    EXPECT_EQ(SplitLikeTheHost(text), std::vector<std::string>{second_->base64});
}

TEST_F(CertificateSearch, ExpiredCertificatesOnlyWithFlag1) {
    // A container whose certificate has expired: made by the plugin, issued in the past.
    Engine keygen;
    const std::string container = UniqueName("expired");
    keygen.Set("Container Name Location", "ZRB_NAME:" + container);
    keygen.Set("Key gen - Common name", container);
    keygen.Set("Key gen - Request Type", "EC");
    ASSERT_TRUE(keygen.Export(11, ""));
    const RequestPtr request = RequestFromDer(Unbase64(keygen.CurrentData()));
    CertParams wanted;
    wanted.commonName = container;
    wanted.notBeforeDays = -30;
    wanted.notAfterDays = -1;
    const Authority authority = DemoAuthority();
    const X509Ptr expired = MakeCertificate(wanted, X509_REQ_get0_pubkey(request.get()), &authority);
    const std::string file = KeyStoreRoot() + "/../" + container + ".pem";
    FILE* out = fopen(file.c_str(), "w");
    fputs(Pem(expired.get()).c_str(), out);
    fclose(out);
    ASSERT_EQ(RunKeytool("install-cert " + file).exitCode, 0);

    const std::vector<std::pair<std::string, std::string>> byName{{"Key gen - Common name", container}};
    EXPECT_TRUE(Find(byName, "", 100).empty());
    EXPECT_EQ(Find(byName, "", 101).size(), 1u);
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test
