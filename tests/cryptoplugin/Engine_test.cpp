// The engine object's own rules: initialisation by type, the error state after every call,
// parameters, and the form of the current data.
#include <gtest/gtest.h>

#include "EngineDriver.h"
#include "TestPki.h"

namespace nelvo::cryptoplugin::test {
namespace {

TEST(CryptoEngine, InitialisesOnlyWithType8) {
    Engine engine(false);
    EXPECT_FALSE(engine.Call("InitCryptoEngineByType", {"sCryptoEngineType=3"}));
    EXPECT_EQ(engine.LastError().code, "2");
    EXPECT_NE(engine.LastError().text.find("type"), std::string::npos) << engine.LastError().text;
    EXPECT_FALSE(engine.Call("InitCryptoEngineByType", {}));
    EXPECT_EQ(engine.LastError().code, "3");
    EXPECT_TRUE(engine.Call("InitCryptoEngineByType", {"sCryptoEngineType=8"}));
    EXPECT_EQ(engine.LastError().text, "");
}

TEST(CryptoEngine, RefusesWorkBeforeInitialisation) {
    Engine engine(false);
    EXPECT_FALSE(engine.Set("Hash Algorithm", "SHA256"));
    EXPECT_EQ(engine.LastError().code, "1");
    EXPECT_FALSE(engine.Export(50, Base64("x")));
    EXPECT_EQ(engine.LastError().code, "1");
}

TEST(CryptoEngine, BadCallsGetCodesAndTheNextGoodCallClearsThem) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        const char* method;
        const char* code;
    };
    const Case cases[] = {
        {"unknown export type", {"DataType=77", "sParamData=", "Flags=0"}, "ExportCryptoObject", "4"},
        {"unknown import type", {"DataType=77", "Flags=0", "sData="}, "ImportCryptoObject", "4"},
        {"type not a number", {"DataType=x1", "sParamData=", "Flags=0"}, "ExportCryptoObject", "3"},
        {"flags not a number", {"DataType=50", "sParamData=", "Flags=7z"}, "ExportCryptoObject", "3"},
        {"no data type", {"sParamData=", "Flags=0"}, "ExportCryptoObject", "3"},
        {"empty certificate", {"DataType=50", "sParamData=", "Flags=0"}, "ExportCryptoObject", "11"},
        {"not Base64", {"DataType=14", "sParamData=%%%", "Flags=0"}, "ExportCryptoObject", "10"},
        {"not a certificate", {"DataType=14", "sParamData=" + Base64("hello"), "Flags=0"}, "ExportCryptoObject", "11"},
        {"signer import without flag 1", {"DataType=11", "Flags=0", "sData=x"}, "ImportCryptoObject", "3"},
        {"unknown method", {}, "Frobnicate", "1002"},
    };
    Engine engine;
    const std::string certificate = Base64(Der(DemoUserCertificate().get()));
    for (const Case& c : cases) {
        EXPECT_FALSE(engine.Call(c.method, c.lines)) << c.what;
        EXPECT_EQ(engine.LastError().code, c.code) << c.what;
        EXPECT_FALSE(engine.LastError().text.empty()) << c.what;
        EXPECT_TRUE(engine.Export(50, certificate)) << c.what << ": " << engine.LastError().text;
        EXPECT_EQ(engine.LastError().text, "") << c.what;
    }
}

TEST(CryptoEngine, CurrentDataPropertiesAndTheirForms) {
    Engine engine;
    // A description is long enough to need several MIME lines.
    ASSERT_TRUE(engine.Export(14, Base64(Der(DemoUserCertificate().get())))) << engine.LastError().text;
    const std::string text = engine.Property("UnicodeCurrentData");
    EXPECT_EQ(engine.Property("CurrentData"), text);
    const std::string mime = engine.Property("MimeCurrentData");
    ASSERT_GT(mime.size(), 200u);
    std::size_t start = 0;
    for (std::size_t end; (end = mime.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_EQ(end - start, 76u) << "every line but the last has 76 characters";
    }
    EXPECT_LE(mime.size() - start, 76u);
    EXPECT_EQ(mime.find('\n', mime.size() - 1), std::string::npos) << "no line break after the last line";
    EXPECT_EQ(Unbase64(mime), text);

    // ClearCash drops the current data.
    EXPECT_TRUE(engine.Call("ClearCash"));
    EXPECT_EQ(engine.Property("CurrentData"), "");
}

TEST(CryptoEngine, Base64WithLineBreaksAnywhereAndMalformedBase64) {
    const std::string certificate = Base64(Der(DemoUserCertificate().get()));
    for (const std::size_t width : {64u, 76u, 7u, 1u}) {
        std::string broken;
        for (std::size_t i = 0; i < certificate.size(); i += width) broken += certificate.substr(i, width) + "\r\n";
        Engine engine;
        EXPECT_TRUE(engine.Export(50, broken)) << width << ": " << engine.LastError().text;
    }
    // The signed bytes are the decoded ones, whatever the padding.
    for (const char* text : {"QQ==", "QUI=", "QUJD", "QUJDRA=="}) {
        Engine engine;
        ASSERT_TRUE(engine.Import(13, certificate));
        EXPECT_TRUE(engine.Export(42, text)) << text;
    }
    for (const char* text : {"QQ=Q", "Q", "QUJDR", "QQ===", "QQ==QQ==", "QU\tJD!"}) {
        Engine engine;
        ASSERT_TRUE(engine.Import(13, certificate));
        EXPECT_FALSE(engine.Export(42, text)) << text;
        EXPECT_EQ(engine.LastError().code, "10") << text;
    }
}

TEST(CryptoEngine, ParametersKeepUnknownNamesAndEmptyValuesClear) {
    const X509Ptr certificate = DemoUserCertificate();
    Engine engine;
    ASSERT_TRUE(engine.Import(13, Base64(Der(certificate.get()))));
    EXPECT_TRUE(engine.Set("Some parameter no engine knows", "kept"));
    EXPECT_TRUE(engine.Set("Hash Algorithm", "NO-SUCH-DIGEST"));
    EXPECT_FALSE(engine.Export(42, Base64("data")));
    EXPECT_EQ(engine.LastError().code, "15");
    EXPECT_TRUE(engine.Set("Hash Algorithm", ""));
    EXPECT_TRUE(engine.Export(42, Base64("data"))) << "an empty value clears the parameter: " << engine.LastError().text;
    EXPECT_FALSE(engine.Call("SetCryptoParamValue", {"Value=x"}));
    EXPECT_EQ(engine.LastError().code, "3");
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test
