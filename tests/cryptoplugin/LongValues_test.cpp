// Documents travel as long member values, which the plugin reads by a faster road than the
// rest of a command. Whatever the road, a value must arrive exactly as written, and a text
// that is not a command must still be refused.
#include <gtest/gtest.h>

#include "EngineDriver.h"
#include "TestPki.h"

namespace nelvo::cryptoplugin::test {
namespace {

constexpr std::int32_t kBadCommand = -5;

// An unknown instance ID comes back inside the error text, exactly as it arrived.
std::string EchoedId(const std::string& command) {
    const Reply reply = Send(command);
    const std::string text = ReadError(kEngineClass, reply.id).text;
    Send(reply.id, kEngineClass, "Release");
    const std::size_t open = text.find('"');
    return text.substr(open + 1, text.rfind("\" of") - open - 1);
}

std::string Command(const std::string& idLiteral, const std::string& extra = "") {
    return "{\"ID\" : " + idLiteral + extra + ",\"Plugin\":\"VEDuzoziVavodaDizodizi\",\"Method\":\"ClearCash\"}";
}

TEST(LongValues, ArriveExactlyAsWritten) {
    const std::string plain(5000, 'A');
    const std::string withEscape = std::string(3000, 'B') + "\\\"" + std::string(3000, 'C');
    const std::string cyrillic = std::string(5000, 'D') + "Ж";
    struct Case {
        const char* what;
        std::string command;
        std::string id;
    };
    const Case cases[] = {
        {"plain", Command("\"" + plain + "\""), plain},
        {"with an escape", Command("\"" + withEscape + "\""), std::string(3000, 'B') + "\"" + std::string(3000, 'C')},
        {"ending in an escaped backslash", Command("\"" + plain + "\\\\\""), plain + "\\"},
        {"not ASCII", Command("\"" + cyrillic + "\""), cyrillic},
        {"beside a U+0001 escape", Command("\"" + plain + "\"", ",\"x\":\"\\u0001#0\""), plain},
        {"after a long key", Command("\"" + plain + "\"", ",\"" + plain + "\":\"" + plain + "\""), plain},
        {"after long values in an array", Command("\"" + plain + "\"", ",\"y\":[\"" + plain + "\",\"" + plain + "\"]"),
         plain},
    };
    for (const Case& c : cases) EXPECT_EQ(EchoedId(c.command), c.id) << c.what;
}

TEST(LongValues, TextThatIsNoCommandIsStillRefused) {
    const std::string plain(5000, 'A');
    for (const std::string& text : {
             Command("\"" + plain + "\"") + "trailing",
             "{\"ID\":\"" + plain + "\" \"Plugin\":\"x\"}",
             "{\"ID\":\"" + plain,
             "[\"ID\",\"" + plain + "\"]",
             "{\"ID\":\"" + plain + "\",\"Params\":[{\"a\":{\"b\":\"" + plain + "\"}}]}",
         }) {
        EXPECT_EQ(Prepare(text).status, kBadCommand) << text.substr(0, 40) << "..." << text.substr(text.size() - 40);
    }
}

TEST(LongValues, LongDocumentIsSignedAsWritten) {
    std::string document(30000, '\0');
    for (std::size_t i = 0; i < document.size(); ++i) document[i] = static_cast<char>(i * 7 + 3);
    const X509Ptr certificate = DemoUserCertificate();
    Engine engine;
    ASSERT_TRUE(engine.Import(13, Base64(Der(certificate.get()))));
    ASSERT_TRUE(engine.Export(42, Base64(document))) << engine.LastError().text;
    const std::string signature = engine.CurrentData();
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, X509_get0_pubkey(certificate.get()));
    EXPECT_EQ(EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                               reinterpret_cast<const unsigned char*>(document.data()), document.size()),
              1);
    EVP_MD_CTX_free(context);
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test
