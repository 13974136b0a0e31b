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

#include <pthread.h>

#include <algorithm>

#include "api/JsonTestRecords.h"

namespace nelvo::test {
namespace {

// The deepest walk a request can cause runs on a connection thread's stack: a JSON value nested
// to the reader's bound, read into a variant level by level.
TEST(ThreadStackTest, HoldsTheDeepestJsonWalk) {
    struct TRun {
        static void* Body(void* failed) {
            std::string text = R"({"any": )";
            text += std::string(JSONMaxDepth - 1, '[') + std::string(JSONMaxDepth - 1, ']') + "}";
            try {
                TAllKinds record;
                record.LoadFromJSON(text);
                const std::string written = record.AsJSONString();
                const auto levels = std::count(written.begin(), written.end(), '[');
                *static_cast<bool*>(failed) = levels < JSONMaxDepth - 2;
            } catch (...) {
                *static_cast<bool*>(failed) = true;
            }
            return nullptr;
        }
    };
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, ThreadStackBytes), 0);
    bool failed = true;
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, &TRun::Body, &failed), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_FALSE(failed);
}

}  // namespace
}  // namespace nelvo::test
