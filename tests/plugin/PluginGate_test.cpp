// The command protocol against a transport that records what it is sent and answers from a
// script, so each command can be read as the plugin would receive it.
#include "plugin/U_PluginGate.h"

#include <gtest/gtest.h>

#include <deque>

#include "plugin/U_PluginTransport.h"

namespace nelvo {
namespace {

class FakeTransport : public IPluginTransport {
public:
    FakeTransport() { SetPluginTransport(this); }
    ~FakeTransport() { ClearPluginTransport(this); }

    bool ProcessCommand(const std::string& Command, std::string& Reply, bool LogData) override {
        commands.push_back(Command);
        logData.push_back(LogData);
        if (replies.empty()) return false;
        auto [ok, text] = replies.front();
        replies.pop_front();
        Reply = ok ? text : std::string();
        return ok;
    }

    void Answer(std::string reply) { replies.emplace_back(true, std::move(reply)); }
    void Fail() { replies.emplace_back(false, std::string()); }

    std::vector<std::string> commands;
    std::vector<bool> logData;
    std::deque<std::pair<bool, std::string>> replies;
};

TEST(PluginCommandTest, ParamsAreOneMemberObjectsSplitAtTheFirstEqualsSign) {
    TPluginCommand command;
    command.Plugin = "VEDuzoziVavodaDizodizi";
    command.Method = "SetCryptoParamValue";
    for (const char* line :
         {"sCryptoEngineType=8", "sParamData=QUJD==", "LastErrorCode", "a/b=c=d", "=empty name"})
        command.Params.Add(line);
    EXPECT_EQ(command.AsJSONString(),
              "{ \"ID\" : \"\", \"Plugin\" : \"VEDuzoziVavodaDizodizi\", "
              "\"Method\" : \"SetCryptoParamValue\", \"Params\" : [{ \"sCryptoEngineType\" : "
              "\"8\" }, { \"sParamData\" : \"QUJD==\" }, { \"LastErrorCode\" : \"\" }, "
              "{ \"a\\/b\" : \"c=d\" }, { \"\" : \"empty name\" }] }");
    command.Params.Clear();
    EXPECT_EQ(command.AsJSONString(),
              "{ \"ID\" : \"\", \"Plugin\" : \"VEDuzoziVavodaDizodizi\", "
              "\"Method\" : \"SetCryptoParamValue\", \"Params\" : [] }");
}

TEST(PluginResultTest, MissingMembersReadAsEmptyAndAnyOrderIsAccepted) {
    TPluginResult result;
    result.ID = "old";
    EXPECT_TRUE(result.LoadFromJSON(R"({"Result":"1.0.0.1","ID":""})"));
    EXPECT_EQ(result.ID, "");
    EXPECT_EQ(result.Result, "1.0.0.1");
    EXPECT_EQ(result.Plugin, "");
}

TEST(ExecutorTest, IdentifierLifeCycle) {
    FakeTransport plugin;
    {
        TPluginExecutor engine("VEDuzoziVavodaDizodizi");
        plugin.Answer(R"({"ID":"{A}","Plugin":"VEDuzoziVavodaDizodizi","Result":"0"})");
        ASSERT_TRUE(engine.Execute("InitCryptoEngineByType", {"sCryptoEngineType=8"}));
        EXPECT_EQ(engine.ID(), "{A}");
        EXPECT_EQ(engine.Result(), "0");

        // The second form leaves the main result alone.
        plugin.Answer(R"({"ID":"{A}","Result":"52"})");
        std::string code;
        ASSERT_TRUE(engine.Execute("GetProperty", {"LastErrorCode"}, code));
        EXPECT_EQ(code, "52");
        EXPECT_EQ(engine.Result(), "0");

        // A failed transport changes nothing.
        plugin.Fail();
        EXPECT_FALSE(engine.Execute("ExportCryptoObject", {"nDataType=61"}));
        EXPECT_EQ(engine.ID(), "{A}");
        EXPECT_EQ(engine.Result(), "0");
        plugin.Answer(R"({"ID":"{A}"})");  // for the Release at the end
    }
    ASSERT_EQ(plugin.commands.size(), 4u);
    EXPECT_NE(plugin.commands[0].find("\"ID\" : \"\""), std::string::npos);
    EXPECT_NE(plugin.commands[1].find("\"ID\" : \"{A}\""), std::string::npos);
    EXPECT_EQ(plugin.commands[3],
              "{ \"ID\" : \"{A}\", \"Plugin\" : \"VEDuzoziVavodaDizodizi\", "
              "\"Method\" : \"Release\", \"Params\" : [] }");
    for (bool logged : plugin.logData) EXPECT_TRUE(logged);
}

TEST(ExecutorTest, AReplyWithoutIdUnbindsAndAnUnboundExecutorReleasesNothing) {
    FakeTransport plugin;
    { TPluginExecutor never("VEDuzoziVavodaDizodizi"); }
    EXPECT_TRUE(plugin.commands.empty());
    {
        TPluginExecutor engine("VEDuzoziVavodaDizodizi");
        plugin.Answer(R"({"ID":"{A}","Result":""})");
        plugin.Answer(R"({"Result":"x"})");
        ASSERT_TRUE(engine.Execute("A"));
        ASSERT_TRUE(engine.Execute("B"));
        EXPECT_EQ(engine.ID(), "");
    }
    EXPECT_EQ(plugin.commands.size(), 2u);
}

TEST(ExecutorTest, AReplyThatIsNotJsonRaisesAndAGarbledReleaseDoesNot) {
    FakeTransport plugin;
    {
        TPluginExecutor engine("VEDuzoziVavodaDizodizi");
        plugin.Answer("not json");
        EXPECT_THROW(engine.Execute("A"), std::exception);
        EXPECT_EQ(engine.ID(), "");
        plugin.Answer(R"({"ID":"{B}"})");
        ASSERT_TRUE(engine.Execute("A"));
        plugin.Answer("[1]");  // the Release reply: logged, not thrown out of the destructor
    }
    EXPECT_EQ(plugin.commands.size(), 3u);
}

TEST(QueryPluginVersionTest, AsksVUDudedAndReleasesNothing) {
    {
        FakeTransport plugin;
        plugin.Answer(
            R"({"ID":"{V}","Plugin":"VUDuded","Method":"GetProperty","Result":"1.2.3.4"})");
        EXPECT_EQ(QueryPluginVersion(), "1.2.3.4");
        ASSERT_EQ(plugin.commands.size(), 1u);
        EXPECT_EQ(plugin.commands[0],
                  "{ \"ID\" : \"\", \"Plugin\" : \"VUDuded\", \"Method\" : \"GetProperty\", "
                  "\"Params\" : [{ \"Version\" : \"\" }] }");
        plugin.Fail();
        EXPECT_EQ(QueryPluginVersion(), "");
        plugin.Answer("garbage");
        EXPECT_EQ(QueryPluginVersion(), "");
    }
    EXPECT_EQ(QueryPluginVersion(), "") << "no plugin at all";
}

}  // namespace
}  // namespace nelvo
