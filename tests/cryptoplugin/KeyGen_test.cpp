// Key pairs with their certificate requests (data type 11), and what bad key-generation input
// gets.
#include <gtest/gtest.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "EngineDriver.h"
#include "TestPki.h"

namespace nelvo::cryptoplugin::test {
namespace {

namespace fs = std::filesystem;

std::string Entry(X509_NAME* name, const char* oid) {
    ASN1_OBJECT* object = OBJ_txt2obj(oid, 1);
    const int index = X509_NAME_get_index_by_OBJ(name, object, -1);
    ASN1_OBJECT_free(object);
    if (index < 0) return {};
    unsigned char* utf8 = nullptr;
    const int size = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
    std::string text(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(size));
    OPENSSL_free(utf8);
    return text;
}

mode_t Mode(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

TEST(KeyGeneration, RequestCarriesTheSubjectUsagesAndVerifies) {
    const std::string container = UniqueName("keygen");
    Engine engine;
    const std::pair<const char*, const char*> parameters[] = {
        {"Container Name Location", nullptr},
        {"Key gen - Common name", "Петров Пётр Петрович"},
        {"Key gen - Company", "ООО \"Ромашка\""},
        {"Key gen - Country/Region", "RU"},
        {"Key gen - City", "Казань"},
        {"Key gen - INN", "165001234567"},
        {"Key gen - OGRN", "1021600000001"},
        {"Key gen - OGRNIP", "304165000000012"},
        {"Key gen - SNILS", "11223344595"},
        {"Key gen - e-mail", "petrov@example.ru"},
        {"Key gen - Request Type", "rsa"},
        {"Key gen - Key Length", "3072"},
        {"Secret Key Usage Types", "DIGITALSIGNATURE;NONREPUDIATION;KEYENCIPHERMENT"},
        {"Key Usage OIDs", "1.3.6.1.5.5.7.3.2;1.3.6.1.5.5.7.3.4"},
        {"Key gen - Exportable key", "false"},
    };
    for (const auto& [name, value] : parameters) {
        ASSERT_TRUE(engine.Set(name, value ? value : "ZRB_NAME:" + container));
    }
    ASSERT_TRUE(engine.Export(11, "")) << engine.LastError().text;

    // One Base64 line once the host has decoded "MimeCurrentData".
    const std::string line = engine.CurrentData();
    EXPECT_EQ(line.find_first_of("\r\n-"), std::string::npos) << line;
    const RequestPtr request = RequestFromDer(Unbase64(line));
    ASSERT_TRUE(request);
    EXPECT_EQ(X509_REQ_verify(request.get(), X509_REQ_get0_pubkey(request.get())), 1);
    EXPECT_EQ(EVP_PKEY_get_bits(X509_REQ_get0_pubkey(request.get())), 3072);

    X509_NAME* subject = X509_REQ_get_subject_name(request.get());
    EXPECT_EQ(Entry(subject, "2.5.4.3"), "Петров Пётр Петрович");
    EXPECT_EQ(Entry(subject, "2.5.4.10"), "ООО \"Ромашка\"");
    EXPECT_EQ(Entry(subject, "2.5.4.7"), "Казань");
    EXPECT_EQ(Entry(subject, "1.2.643.3.131.1.1"), "165001234567") << "INN";
    EXPECT_EQ(Entry(subject, "1.2.643.100.1"), "1021600000001") << "OGRN";
    EXPECT_EQ(Entry(subject, "1.2.643.100.5"), "304165000000012") << "OGRNIP";
    EXPECT_EQ(Entry(subject, "1.2.643.100.3"), "11223344595") << "SNILS";

    STACK_OF(X509_EXTENSION)* extensions = X509_REQ_get_extensions(request.get());
    auto* usage = static_cast<ASN1_BIT_STRING*>(X509V3_get_d2i(extensions, NID_key_usage, nullptr, nullptr));
    ASSERT_NE(usage, nullptr);
    EXPECT_TRUE(ASN1_BIT_STRING_get_bit(usage, 0) && ASN1_BIT_STRING_get_bit(usage, 1) &&
                ASN1_BIT_STRING_get_bit(usage, 2) && !ASN1_BIT_STRING_get_bit(usage, 5));
    ASN1_BIT_STRING_free(usage);
    auto* extended = static_cast<EXTENDED_KEY_USAGE*>(X509V3_get_d2i(extensions, NID_ext_key_usage, nullptr, nullptr));
    ASSERT_NE(extended, nullptr);
    EXPECT_EQ(sk_ASN1_OBJECT_num(extended), 2);
    EXPECT_EQ(OBJ_obj2nid(sk_ASN1_OBJECT_value(extended, 0)), NID_client_auth);
    EXTENDED_KEY_USAGE_free(extended);
    sk_X509_EXTENSION_pop_free(extensions, X509_EXTENSION_free);

    // The container: a private folder with a private key file.
    const fs::path folder = fs::path(KeyStoreRoot()) / container;
    EXPECT_EQ(Mode(folder), 0700u);
    EXPECT_EQ(Mode(folder / "key.pem"), 0600u);
    EXPECT_EQ(Mode(folder / "request.pem"), 0600u);
}

TEST(KeyGeneration, AlgorithmNamesIgnoreLetterCase) {
    struct Case {
        const char* type;
        const char* length;
        int keyId;
        int bits;
    };
    for (const Case& c : {Case{"Rsa", "", EVP_PKEY_RSA, 2048}, Case{"ec", "", EVP_PKEY_EC, 256},
                          Case{"EC", "256", EVP_PKEY_EC, 256}}) {
        Engine engine;
        engine.Set("Container Name Location", "ZRB_NAME:" + UniqueName("alg"));
        engine.Set("Key gen - Common name", "x");
        engine.Set("Key gen - Request Type", c.type);
        engine.Set("Key gen - Key Length", c.length);
        ASSERT_TRUE(engine.Export(11, "")) << c.type << ": " << engine.LastError().text;
        const RequestPtr request = RequestFromDer(Unbase64(engine.CurrentData()));
        ASSERT_TRUE(request);
        EXPECT_EQ(EVP_PKEY_get_base_id(X509_REQ_get0_pubkey(request.get())), c.keyId) << c.type;
        EXPECT_EQ(EVP_PKEY_get_bits(X509_REQ_get0_pubkey(request.get())), c.bits) << c.type;
    }
}

TEST(KeyGeneration, BadInputFailsAndWritesNothing) {
    const std::string taken = UniqueName("taken");
    {
        Engine engine;
        engine.Set("Container Name Location", "ZRB_NAME:" + taken);
        engine.Set("Key gen - Common name", "x");
        engine.Set("Key gen - Request Type", "EC");
        ASSERT_TRUE(engine.Export(11, "")) << engine.LastError().text;
    }
    struct Case {
        const char* what;
        std::string location;
        const char* parameter;
        const char* value;
        const char* code;
    };
    const Case cases[] = {
        {"slash in the name", "ZRB_NAME:a/b", nullptr, nullptr, "20"},
        {"dot-dot name", "ZRB_NAME:..", nullptr, nullptr, "20"},
        {"escape upwards", "ZRB_NAME:../escaped", nullptr, nullptr, "20"},
        {"hidden name", "ZRB_NAME:.hidden", nullptr, nullptr, "20"},
        {"no prefix", "plain-name", nullptr, nullptr, "20"},
        {"empty name", "ZRB_NAME:", nullptr, nullptr, "20"},
        {"name taken", "ZRB_NAME:" + taken, nullptr, nullptr, "21"},
        {"unknown algorithm", "", "Key gen - Request Type", "DSA", "23"},
        {"short RSA key", "", "Key gen - Key Length", "1024", "23"},
        {"length not a number", "", "Key gen - Key Length", "2k", "23"},
        {"INN with letters", "", "Key gen - INN", "77O1", "23"},
        {"three-letter country", "", "Key gen - Country/Region", "RUS", "23"},
        {"unknown key usage", "", "Secret Key Usage Types", "DIGITALSIGNATURE;SORCERY", "23"},
        {"bad usage identifier", "", "Key Usage OIDs", "not.an.oid", "23"},
        {"no subject", "", "Key gen - Common name", "", "23"},
    };
    const fs::path root = KeyStoreRoot();
    const std::set<std::string> before = Listing(root);
    const std::set<std::string> outside = Listing(root.parent_path());
    for (const Case& c : cases) {
        Engine engine;
        engine.Set("Container Name Location", c.location.empty() ? "ZRB_NAME:" + UniqueName("bad") : c.location);
        engine.Set("Key gen - Common name", "x");
        engine.Set("Key gen - Request Type", "RSA");
        if (c.parameter) engine.Set(c.parameter, c.value);
        EXPECT_FALSE(engine.Export(11, "")) << c.what;
        EXPECT_EQ(engine.LastError().code, c.code) << c.what << ": " << engine.LastError().text;
        EXPECT_FALSE(engine.LastError().text.empty()) << c.what;
        EXPECT_EQ(engine.Property("CurrentData"), "") << c.what;
    }
    EXPECT_EQ(Listing(root), before);
    EXPECT_EQ(Listing(root.parent_path()), outside);
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test
