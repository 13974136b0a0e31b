// nelvo-keytool on the test key store: what each command does, and its messages and exit
// codes on bad input.
#include <gtest/gtest.h>
#include <openssl/pkcs12.h>

#include <filesystem>
#include <fstream>

#include "EngineDriver.h"
#include "TestPki.h"

namespace nelvo::cryptoplugin::test {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

fs::path Scratch(const std::string& name) { return fs::path(KeyStoreRoot()).parent_path() / name; }

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(Keytool, DemoTwiceChangesNothing) {
    const fs::path user = fs::path(KeyStoreRoot()) / "NelvoDemoUser";
    const std::string key = ReadText(user / "key.pem");
    const std::string certificate = ReadText(user / "certificate.pem");
    const ToolRun again = RunKeytool("demo");
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(ReadText(user / "key.pem"), key);
    EXPECT_EQ(ReadText(user / "certificate.pem"), certificate);
}

TEST(Keytool, ListShowsNameSubjectSerialAndValidity) {
    const ToolRun list = RunKeytool("list");
    ASSERT_EQ(list.exitCode, 0) << list.output;
    const X509Ptr user = DemoUserCertificate();
    const std::size_t line = list.output.find("NelvoDemoUser\t");
    ASSERT_NE(line, std::string::npos) << list.output;
    const std::string text = list.output.substr(line, list.output.find('\n', line) - line);
    EXPECT_NE(text.find("CN = Иванов Иван Иванович"), std::string::npos) << text;
    EXPECT_NE(text.find("\t" + SerialHex(user.get()) + "\t"), std::string::npos) << text;
    EXPECT_NE(text.find(" - "), std::string::npos) << text;
}

TEST(Keytool, ExportCaWritesTheDemoAuthority) {
    const fs::path file = Scratch("exported-ca.pem");
    const ToolRun run = RunKeytool("export-ca " + file.string());
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadText(file), Pem(DemoAuthority().certificate.get()));
}

TEST(Keytool, ImportP12ThenSignWithIt) {
    const KeyPtr key = NewKey("EC");
    const Authority authority = DemoAuthority();
    CertParams wanted;
    wanted.commonName = "From PKCS12";
    const X509Ptr certificate = MakeCertificate(wanted, key.get(), &authority);
    PKCS12* bundle = PKCS12_create("secret", "p12", key.get(), certificate.get(), nullptr, 0, 0, 0, 0, 0);
    ASSERT_NE(bundle, nullptr);
    unsigned char* der = nullptr;
    const int size = i2d_PKCS12(bundle, &der);
    PKCS12_free(bundle);
    const fs::path file = Scratch("import.p12");
    WriteBytes(file, std::string(reinterpret_cast<char*>(der), static_cast<std::size_t>(size)));
    OPENSSL_free(der);

    const ToolRun wrong = RunKeytool("import-p12 " + file.string() + " p12-wrong", "NELVO_P12_PASSWORD=nope ");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.output.find("pass phrase"), std::string::npos) << wrong.output;

    const ToolRun escaping = RunKeytool("import-p12 " + file.string() + " ../escaped", "NELVO_P12_PASSWORD=secret ");
    EXPECT_EQ(escaping.exitCode, 1);
    EXPECT_NE(escaping.output.find("invalid container name"), std::string::npos) << escaping.output;
    EXPECT_FALSE(fs::exists(Scratch("escaped")));

    const std::string name = UniqueName("p12");
    const ToolRun run = RunKeytool("import-p12 " + file.string() + " " + name, "NELVO_P12_PASSWORD=secret ");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(fs::exists(fs::path(KeyStoreRoot()) / name / "key.pem"));

    Engine engine;
    ASSERT_TRUE(engine.Import(13, Base64(Der(certificate.get())))) << engine.LastError().text;
    EXPECT_TRUE(engine.Export(61, Base64("data"), 2)) << engine.LastError().text;

    const ToolRun twice = RunKeytool("import-p12 " + file.string() + " " + name, "NELVO_P12_PASSWORD=secret ");
    EXPECT_EQ(twice.exitCode, 1) << "an existing container is never replaced";
    EXPECT_NE(twice.output.find("already exists"), std::string::npos) << twice.output;
}

TEST(Keytool, BadInputGetsAMessageAndANonZeroExit) {
    const KeyPtr key = NewKey("EC");
    const X509Ptr stranger = MakeCertificate({}, key.get(), nullptr);
    const fs::path strangerFile = Scratch("stranger.pem");
    WriteBytes(strangerFile, Pem(stranger.get()));
    const fs::path garbage = Scratch("garbage.bin");
    WriteBytes(garbage, "this is no certificate");

    struct Case {
        std::string arguments;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {"", 2, "Usage"},
        {"frobnicate", 2, "unknown command"},
        {"export-ca", 2, "Usage"},
        {"install-cert " + strangerFile.string(), 1, "not in the key store"},
        {"install-cert " + garbage.string(), 1, "holds no certificate"},
        {"install-cert /no/such/file", 1, "no such file"},
        {"import-p12 " + garbage.string(), 1, "not a PKCS#12 file"},
        {"import-p12 /no/such/file.p12", 1, "no such file"},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunKeytool(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << ": " << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << ": " << run.output;
    }
}

// What a crash in the middle of a container write leaves: a hidden temporary folder. It is no
// container, and it keeps no name from being used.
TEST(Keytool, LeftoversOfAnInterruptedWriteAreNoContainer) {
    const std::string name = UniqueName("interrupted");
    const fs::path leftover = fs::path(KeyStoreRoot()) / ("." + name + ".tmp-ABC123");
    fs::create_directories(leftover);
    WriteBytes(leftover / "key.pem", "-----BEGIN PRIV");
    const ToolRun list = RunKeytool("list");
    EXPECT_EQ(list.output.find(name), std::string::npos) << list.output;
    Engine engine;
    engine.Set("Container Name Location", "ZRB_NAME:" + name);
    engine.Set("Key gen - Common name", name);
    engine.Set("Key gen - Request Type", "EC");
    EXPECT_TRUE(engine.Export(11, "")) << engine.LastError().text;
    EXPECT_NE(RunKeytool("list").output.find(name + "\t(certificate requested)"), std::string::npos);
}

TEST(Keytool, ExportCaWithoutDemo) {
    const fs::path empty = Scratch("empty-store");
    const ToolRun run = RunKeytool("export-ca -", "NELVO_KEYSTORE=" + empty.string() + " ");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("nelvo-keytool demo"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test
