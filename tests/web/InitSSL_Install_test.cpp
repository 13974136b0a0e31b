// `--install-ca` against a stand-in certutil that records its calls, in a private HOME.
#include <sys/stat.h>

#include "InitSSL_TestSupport.h"
#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo::test {
namespace {

class SslInstallTest : public SslTest {
protected:
    SslInstallTest()
        : home_("HOME", (dir_ / "home").c_str()), path_("PATH", (dir_ / "bin").c_str()) {
        ::mkdir((dir_ / "bin").c_str(), 0700);
        ::mkdir((dir_ / "home").c_str(), 0700);
    }

    // A certutil that logs each call and copies the imported file; `failAdd` refuses imports.
    void FakeCertutil(bool failAdd) {
        const std::string script = dir_ / "bin/certutil";
        WriteFile(script,
                  "#!/bin/sh\n"
                  "echo \"$*\" >> '" +
                      (dir_ / "calls") +
                      "'\n"
                      "case \"$1\" in -A) while IFS= read -r l; do printf '%s\\n' \"$l\"; done < "
                      "\"$9\" > '" +
                      (dir_ / "imported") + "'; " + (failAdd ? "echo refused; exit 1" : "exit 0") +
                      ";; esac\n");
        ::chmod(script.c_str(), 0700);
    }

    std::string home() const { return dir_ / "home"; }

private:
    ScopedEnv home_;
    ScopedEnv path_;
};

TEST_F(SslInstallTest, ImportsTheCAIntoChromiumAndEveryFirefoxProfile) {
    FakeCertutil(false);
    const std::string profile = home() + "/.mozilla/firefox/abc.default";
    ASSERT_TRUE(platform::ForceDirectories(profile));
    WriteFile(profile + "/cert9.db", "");
    ASSERT_TRUE(platform::ForceDirectories(home() + "/.mozilla/firefox/no-db"));

    std::string message;
    ASSERT_TRUE(InstallCA(message)) << message;
    const std::string chromium = "sql:" + home() + "/.pki/nssdb";
    const std::string nick = "-n Nelvo Plugin Host local CA";
    const std::string calls = ReadFile(dir_ / "calls");
    for (const std::string& expected :
         {"-N -d " + chromium + " --empty-password\n", "-D -d " + chromium + " " + nick + "\n",
          "-A -d " + chromium + " -t C,, " + nick + " -i ", "-A -d sql:" + profile + " -t C,, "})
        EXPECT_NE(calls.find(expected), std::string::npos) << expected << "\n" << calls;
    EXPECT_EQ(calls.find("no-db"), std::string::npos);
    EXPECT_EQ(ReadFile(dir_ / "imported"), ReadFile(SSLMaterialFile(TsslResource::sslCertCA)));
    EXPECT_TRUE(TempFiles().empty());  // the CA copy for certutil is gone
}

TEST_F(SslInstallTest, RefusedImportOrMissingCertutilIsReported) {
    FakeCertutil(true);
    std::string message;
    EXPECT_FALSE(InstallCA(message));
    EXPECT_NE(message.find("refused"), std::string::npos) << message;

    ::unlink((dir_ / "bin/certutil").c_str());
    EXPECT_FALSE(InstallCA(message));
    EXPECT_NE(message.find("libnss3-tools"), std::string::npos) << message;
}

}  // namespace
}  // namespace nelvo::test
