// What outside input gets: malformed text, invalid UTF-8, deep nesting and huge strings fail
// cleanly (or read, where reading is allowed), never crash and never recurse without bound.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/JsonTestRecords.h"

namespace nelvo {
namespace {

using namespace test;

TEST(JsonBadInputTest, MalformedTextFailsWithTheParsersMessage) {
    const std::string cases[] = {
        "",
        "   ",
        "{",
        R"({"ID": })",
        R"({"ID": "a",})",
        "[1,]",
        "nul",
        "{} {}",
        R"({"ID": 'a'})",
        R"({"ID": "a)",
        std::string(R"({"ID": "a)") + '\0' + R"("})",
        "{\"ID\": \"\x01\"}",  // a raw control character inside a string
        R"({"ID": "\x"})",
        R"({"ID": "\ud800"})",  // a lone surrogate
        "{\"ID\": \"\xff\"}",
        "{\"ID\": \"\xc3\x28\"}",
        "{\"ID\": \"\xed\xa0\x80\"}",      // a surrogate encoded in UTF-8
        "{\"ID\": \"\xf4\x90\x80\x80\"}",  // beyond U+10FFFF
        "\xef\xbb\xbf{}x",
    };
    for (const std::string& text : cases) {
        TCommand command;
        const std::string message = MessageOf<EJSON>([&] { command.LoadFromJSON(text); });
        EXPECT_THAT(message, testing::Not(testing::StartsWith("[json.exception"))) << text;
        EXPECT_FALSE(message.empty()) << text;
    }
}

TEST(JsonBadInputTest, WrongMemberTypesFailWithTheMembersRule) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {R"({"ID": null})", R"(Cannot convert JSON data of type "jtNull" to string)"},
        {R"({"ID": {}})", R"(Cannot convert JSON data of type "jtObject" to string)"},
        {R"({"Params": null})", R"( : Unsupported JSON type for stringlists: "jtNull")"},
        {R"({"Params": 1})", R"( : Unsupported JSON type for stringlists: "jtNumber")"},
        {R"({"Params": [{}]})",
         R"( : Array element 0 is not a valid type for a stringlist item: "jtObject")"},
        {R"([{"ID": "x"}])", R"( : JSON array cannot be streamed to object of class "TCommand")"},
    };
    for (const Case& c : cases) {
        TCommand command;
        std::string message;
        try {
            command.LoadFromJSON(c.text);
        } catch (const Exception& e) {
            message = e.what();
        }
        EXPECT_EQ(message, c.message) << c.text;
    }
}

std::string Nested(int depth, char open, char close, const std::string& inner) {
    return std::string(static_cast<std::size_t>(depth), open) + inner +
           std::string(static_cast<std::size_t>(depth), close);
}

TEST(JsonBadInputTest, NestingIsBoundedBeforeAnyWalkRecurses) {
    const std::string kinds[] = {
        "{\"Plugin\": " + Nested(10000, '[', ']', "") + "}",
        "{\"x\": " + Nested(10000, '[', ']', "1") + "}",
        R"({"any": )" + Nested(10000, '[', ']', "") + "}",
        Nested(10000, '[', ']', ""),
    };
    for (const std::string& text : kinds) {
        TAllKinds all;
        EXPECT_EQ(MessageOf<EJSON>([&] { all.LoadFromJSON(text); }),
                  "JSON nesting deeper than 512 levels");
    }
    std::string objects;
    for (int i = 0; i < 10000; ++i) objects += R"({"a":)";
    objects += "1" + std::string(10000, '}');
    TAllKinds all;
    EXPECT_THROW(all.LoadFromJSON(objects), EJSON);

    EXPECT_THROW(all.LoadFromJSON(R"({"any": )" + Nested(JSONMaxDepth, '[', ']', "") + "}"), EJSON);
    // Up to the bound a variant reads every level.
    all.LoadFromJSON(R"({"any": )" + Nested(JSONMaxDepth - 1, '[', ']', "") + "}");
    int levels = 0;
    for (const TVariant* v = &all.any; v->IsArray() && !v->Elements().empty();
         v = &v->Elements()[0])
        ++levels;
    EXPECT_EQ(levels, JSONMaxDepth - 2);
}

TEST(JsonBadInputTest, HundredMebibyteStringReadsWhole) {
    std::string text = R"({"ID": ")";
    text.append(100u << 20, 'A');
    text += R"(", "Params": ["p"]})";
    TCommand command;
    ASSERT_TRUE(command.LoadFromJSON(text));
    EXPECT_EQ(command.ID.size(), 100u << 20);
    EXPECT_EQ(command.Params.Lines(), std::vector<std::string>{"p"});
}

}  // namespace
}  // namespace nelvo
