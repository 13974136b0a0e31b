// The host object as the road to the plugin: while it lives, the command protocol reaches the
// plugin through it; once it is gone, commands fail cleanly and the library is left to the
// manager's final clean-up.
#include "app/U_PluginHost.h"

#include <gtest/gtest.h>

#include "plugin/PluginTestSupport.h"
#include "plugin/U_PluginGate.h"

namespace nelvo::test {
namespace {

TEST(PluginHostTest, IsTheTransportWhileItLives) {
    ScopedLogLines log;
    ScopedSearchPaths paths({PluginFolder("scripted")});
    std::vector<TScriptCallKind> observed;
    {
        TPluginHost host;
        ASSERT_TRUE(host.LoadPlugin());
        LoadedScript()->SetObserver(
            [&observed](const TScriptCall& call) { observed.push_back(call.kind); });
        std::string reply;
        EXPECT_TRUE(ProcessPluginCommand(R"({"ID":"5","Plugin":"P","Method":"M"})", reply, true));
        EXPECT_EQ(reply, R"({"ID":"5","Plugin":"P","Method":"M","Result":""})");
        EXPECT_EQ(log.Lines().back(), (LogLine{"TPluginHost", false, "Command processed.", reply}));
    }
    std::string reply;
    EXPECT_FALSE(ProcessPluginCommand("{}", reply, true));
    EXPECT_EQ(log.Lines().back(), (LogLine{"", true, "No executor! Library not loaded?", ""}));

    EXPECT_NE(FindLibrary(PluginLibName), nullptr) << "destroying the host does not unload";
    ReleasePluginLibrary();
    EXPECT_EQ(observed, (std::vector<TScriptCallKind>{TScriptCallKind::ExecuteEx,
                                                      TScriptCallKind::ExecuteEx}))
        << "and does not shut the plugin down";
}

}  // namespace
}  // namespace nelvo::test

namespace nelvo::test {
namespace {

// The host with our own reference plugin, as installed beside the program.
TEST(PluginHostTest, DrivesTheReferencePlugin) {
    ScopedLogLines log;
    ScopedSearchPaths paths({NELVO_REFERENCE_PLUGIN_DIR});
    {
        TPluginHost host;
        ASSERT_TRUE(host.LoadPlugin());
        EXPECT_EQ(host.PluginVersion(), NELVO_PROJECT_VERSION);
        EXPECT_EQ(QueryPluginVersion(), NELVO_PROJECT_VERSION);

        TPluginExecutor missing("NoSuchObject");
        ASSERT_TRUE(missing.Execute("GetProperty", {"Version"}));
        std::string code, text;
        ASSERT_TRUE(missing.Execute("GetProperty", {"LastErrorCode"}, code));
        ASSERT_TRUE(missing.Execute("GetProperty", {"LastError"}, text));
        EXPECT_NE(code, "0");
        EXPECT_FALSE(text.empty());
        EXPECT_TRUE(host.UnloadPlugin());
    }
    ReleasePluginLibrary();
}

}  // namespace
}  // namespace nelvo::test
