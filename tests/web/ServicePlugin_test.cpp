// The routes that reach the crypto plugin, against the scripted test plugin loaded through the
// real binding: the raw command passes both texts through untouched and keeps them out of the
// binding's log lines, and the plugin-version route asks the plugin.
#include <gtest/gtest.h>

#include "ServiceTestSupport.h"
#include "plugin/U_PluginBinding.h"
#include "support/plugin/ScriptedPluginAccess.h"

namespace nelvo::test {
namespace {

class ServicePluginTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        ASSERT_TRUE(Binding.LoadPlugin());
        SetPluginTransport(&Binding);
        Script = LoadedScript();
        ASSERT_NE(Script, nullptr);
        Script->Reset();
    }
    void TearDown() override {
        ClearPluginTransport(&Binding);
        Binding.UnloadPlugin();
        ReleasePluginLibrary();
        ServiceTest::TearDown();
    }

    // The detail of every log line with this message.
    std::vector<std::string> DetailsOf(const std::string& message) const {
        std::vector<std::string> details;
        for (const TLogLine& line : LogLines())
            if (line.message == message) details.push_back(line.detail);
        return details;
    }

    ScopedSearchPaths Paths{{PluginFolder("scripted")}};
    TPluginBinding Binding;
    IScriptControl* Script = nullptr;
};

TEST_F(ServicePluginTest, RawCommandPassesBothTextsThroughUnchangedAndUnlogged) {
    // Not the host's own command shape, and bytes a re-encoding would change.
    const std::string command = R"({"Plugin" : "VEDuzoziVavodaDizodizi", "x":"\/ ключ"})";
    const std::string answer = "{\"ID\":\"{7}\",\"Result\":\"секрет\\u0041\"}  ";
    Script->Push({.reply = answer});

    const TReply reply = Request("POST", "/", TrustedPage, command);
    EXPECT_EQ(reply.Status, 200);
    EXPECT_EQ(reply.Body, answer);
    EXPECT_TRUE(reply.HasHeader("Access-Control-Allow-Origin: https://bank.example"));
    EXPECT_EQ(Script->Commands(), std::vector<std::string>{command});

    EXPECT_EQ(DetailsOf("Processing command..."), std::vector<std::string>{""});
    EXPECT_EQ(DetailsOf("Command processed."), std::vector<std::string>{""});
}

TEST_F(ServicePluginTest, ACommandThePluginRejectsIsAnInternalError) {
    Script->Push({.reply = R"({"Result":"half"})", .phase2Status = -7});
    const TReply reply = Request("POST", "/", TrustedPage, "{}");
    EXPECT_EQ(reply.Status, 500);
    EXPECT_EQ(reply.Body, R"({ "code" : "99", "text" : "Внутренняя ошибка сервера" })");
}

TEST_F(ServicePluginTest, PluginVersionIsThePluginsOwnAnswer) {
    Script->Push({.reply = R"({"ID":"","Plugin":"VUDuded","Result":"9.8.7.6"})"});
    const TReply reply = Request("GET", "/api/v1/version/service");
    EXPECT_EQ(reply.Status, 200);
    EXPECT_EQ(reply.Body, R"({ "error" : { "code" : 0, "text" : "success" }, "data" : "9.8.7.6" })");
    ASSERT_EQ(Script->Commands().size(), 1u);
    EXPECT_NE(Script->Commands()[0].find("\"GetProperty\""), std::string::npos);

    // A reply the host cannot read gives the empty version, not a failed request.
    Script->Push({.reply = "not json"});
    EXPECT_EQ(Request("GET", "/sapi/v1/version/service").Body,
              R"({ "error" : { "code" : 0, "text" : "success" }, "data" : "" })");
}

}  // namespace
}  // namespace nelvo::test
