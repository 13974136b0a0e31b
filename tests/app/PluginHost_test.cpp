// The host object as the road to the plugin: while it lives, the command protocol reaches the
// plugin through it; once it is gone, commands fail cleanly and the library is left to the
// manager's final clean-up.
#include "app/U_PluginHost.h"

#include <gtest/gtest.h>

#include "plugin/PluginTestSupport.h"

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
