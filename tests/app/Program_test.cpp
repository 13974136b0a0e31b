// The command line: our own options never reach a running instance as parameters.
#include <gtest/gtest.h>

#include "app/U_Program.h"

namespace nelvo::test {
namespace {

TEST(ProgramOptionsTest, SeparatesOptionsFromParameters) {
    using Params = std::vector<std::string>;
    struct Case {
        std::vector<std::string> args;
        bool headless;
        Params params;
        std::string exportCA;
    } cases[] = {
        {{}, false, {}, ""},
        {{"exit"}, false, {"exit"}, ""},
        {{"--headless", "exit"}, true, {"exit"}, ""},
        {{"exit", "--headless"}, true, {"exit"}, ""},
        {{"EXIT", "a b"}, false, {"EXIT", "a b"}, ""},
        {{"--", "--headless", "-x"}, false, {"--headless", "-x"}, ""},
        {{"--export-ca", "ca.pem"}, false, {}, "ca.pem"},
        {{"--export-ca=ca.pem"}, false, {}, "ca.pem"},
    };
    for (const Case& c : cases) {
        const TProgramOptions options = ParseProgramOptions(c.args);
        EXPECT_EQ(options.Error, "") << testing::PrintToString(c.args);
        EXPECT_EQ(options.Headless, c.headless) << testing::PrintToString(c.args);
        EXPECT_EQ(options.Params, c.params) << testing::PrintToString(c.args);
        EXPECT_EQ(options.ExportCA.value_or(""), c.exportCA) << testing::PrintToString(c.args);
    }
}

TEST(ProgramOptionsTest, RefusesWhatItDoesNotKnow) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--export-ca"}, {"--export-ca="}, {"--bogus"},
          {"--install-ca", "--export-ca", "x"}})
        EXPECT_NE(ParseProgramOptions(args).Error, "") << testing::PrintToString(args);
}

}  // namespace
}  // namespace nelvo::test
