// The description text (data type 14) as the host's certificate-field parser reads it.
#include <gtest/gtest.h>

#include <ctime>

#include "EngineDriver.h"
#include "TestPki.h"
#include "plugin/U_CryptLib_Parsers.h"

namespace nelvo::cryptoplugin::test {
namespace {

TCertFieldsDictionary Describe(const std::string& certificate) {
    Engine engine;
    EXPECT_TRUE(engine.Export(14, certificate)) << engine.LastError().text;
    // The host reads the text through "UnicodeCurrentData".
    TCertFieldsDictionary fields;
    ParseCertText(engine.Property("UnicodeCurrentData"), fields);
    return fields;
}

TEST(CertificateDescription, DemoCertificateFieldsAsTheHostParsesThem) {
    const X509Ptr certificate = DemoUserCertificate();
    const TCertFieldsDictionary fields = Describe(Base64(Der(certificate.get())));
    const std::pair<const char*, std::string> expected[] = {
        {"SN", SerialHex(certificate.get())},
        {"CN", "Иванов Иван Иванович"},
        {"O", "ООО \"Демо Клиент\""},
        {"OU", "Бухгалтерия"},
        {"C", "RU"},
        {"S", "77 г. Москва"},
        {"L", "г. Москва"},
        {"INN", "007701234567"},
        {"OGRN", "1027700000001"},
        {"SNILS", "12345678901"},
        {"E", "demo@example.ru"},
        {"ICN", "Nelvo Demo CA"},
        {"IO", "Nelvo"},
        {"IC", "RU"},
        {"STOOL", "Nelvo reference crypto plugin"},
        {"CPolicies", "1.2.643.100.113.1"},
        {"CRLDp", "http://localhost/nelvo-demo-ca.crl"},
    };
    for (const auto& [key, value] : expected) EXPECT_EQ(GetField(fields, key), value) << key;
    EXPECT_EQ(GetField(fields, "OGRNIP"), "") << "absent fields are absent";
    EXPECT_EQ(GetField(fields, "Thmb").size(), 40u);
    for (const auto& [key, value] : fields.Pairs()) EXPECT_FALSE(key.empty()) << "stray line: " << value;
}

TEST(CertificateDescription, ValidityDatesHaveTheFormTheHostConverts) {
    const Authority authority = DemoAuthority();
    const KeyPtr key = NewKey("EC");
    const X509Ptr certificate = MakeCertificate({}, key.get(), &authority);
    const TCertFieldsDictionary fields = Describe(Base64(Der(certificate.get())));
    for (const char* key : {"NotBefore", "NotAfter"}) {
        const std::string value = GetField(fields, key);
        // day-month-year with "-", a space, the time, and a six-character suffix the host drops
        std::tm parts{};
        ASSERT_GT(value.size(), 6u) << key;
        const std::string date = value.substr(0, value.size() - 6);
        const char* end = strptime(date.c_str(), "%d-%m-%Y %H:%M:%S", &parts);
        ASSERT_NE(end, nullptr) << value;
        EXPECT_EQ(*end, '\0') << value;
    }
    std::tm before{};
    strptime(GetField(fields, "NotBefore").c_str(), "%d-%m-%Y %H:%M:%S", &before);
    EXPECT_EQ(ASN1_TIME_cmp_time_t(X509_get0_notBefore(certificate.get()), timegm(&before)), 0)
        << "the date is the certificate's own, in UTC";
}

TEST(CertificateDescription, PublicKeyBlockIsTheKeyInfoOnSeveralLines) {
    const X509Ptr certificate = DemoUserCertificate();
    const TCertFieldsDictionary fields = Describe(Base64(Der(certificate.get())));
    const std::string block = GetField(fields, "PKey");
    EXPECT_NE(block.find("\r\n"), std::string::npos) << "a multi-line block";
    std::string flat;
    for (const char c : block) {
        if (c != '\r' && c != '\n') flat += c;
    }
    unsigned char* der = nullptr;
    const int size = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate.get()), &der);
    EXPECT_EQ(flat, Base64(std::string(reinterpret_cast<char*>(der), static_cast<std::size_t>(size))));
    OPENSSL_free(der);
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test
