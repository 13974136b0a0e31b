// Writing records: member order, the compact text byte for byte, every kind, the options, the
// writing hook and its reach.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "api/JsonTestRecords.h"
#include "settings/SettingsTestSupport.h"

namespace nelvo {
namespace {

using namespace test;

TEST(JsonWriterTest, ResultEnvelopeIsWrittenBaseMemberFirstWithEveryMember) {
    TResultSignPreInit result;
    EXPECT_EQ(result.AsJSONString(),
              R"({ "error" : { "code" : 0, "text" : "success" }, "data" : [], "keySessID" : "" })");

    result.data->Add().signType = "CMS";
    result.keySessID = "{A}";
    EXPECT_EQ(result.AsJSONString(),
              R"({ "error" : { "code" : 0, "text" : "success" }, )"
              R"("data" : [{ "signType" : "CMS", "data" : "" }], "keySessID" : "{A}" })");
}

TEST(JsonWriterTest, RedeclaredMemberKeepsTheBasePosition) {
    TSign sign;
    sign.data.Add("line");
    EXPECT_EQ(sign.AsJSONString(), R"({ "data" : ["line"], "keySessID" : "", "signType" : "" })");
}

TEST(JsonWriterTest, CompactTextOfTrees) {
    struct Case {
        TJSONData tree;
        std::string text;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {TJSONData::object(), "{}"},
        {TJSONData::array(), "[]"},
        {TJSONData::parse(R"({"a":[1,2],"b":{},"c":[[]]})"),
         R"({ "a" : [1, 2], "b" : {}, "c" : [[]] })"},
        {TJSONData::parse(R"({"z":1,"a":2})"), R"({ "z" : 1, "a" : 2 })"},  // order kept
        {nullptr, "null"},
        {true, "true"},
        {false, "false"},
        {-42, "-42"},
        {std::numeric_limits<std::uint64_t>::max(), "18446744073709551615"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
        {0.1, "0.1"},
        {1e100, "1e+100"},
        {2.0, "2.0"},  // a whole float stays a float
        {-0.0, "-0.0"},
        {nan, "null"},
        {std::numeric_limits<double>::infinity(), "null"},
    };
    for (const Case& c : cases) EXPECT_EQ(JSONToCompactText(c.tree), c.text) << c.text;
}

TEST(JsonWriterTest, StringEscapes) {
    struct Case {
        std::string value;
        std::string text;
    };
    const Case cases[] = {
        {"a/b", R"("a\/b")"},
        {"q\"b\\", R"("q\"b\\")"},
        {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
        {std::string("\0\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
        {"\x7f", "\"\x7f\""},
        {"Привет ✓", "\"Привет ✓\""},
        {"\xff\xc3(", "\"\xff\xc3(\""},  // not UTF-8: the bytes pass unchanged
    };
    for (const Case& c : cases) EXPECT_EQ(JSONToCompactText(c.value), c.text) << c.text;
}

TEST(JsonWriterTest, EveryKindHasItsValue) {
    TAllKinds all;
    all.integer = -7;
    all.int64 = 1LL << 40;
    all.qword = std::numeric_limits<std::uint64_t>::max();
    all.flag = true;
    all.letter = 'x';
    all.mode = TMode::mdAuto;
    all.modes = {TMode::mdOff, TMode::mdAuto};
    all.real = 2.5;
    all.stamp = TDateTime{1900, 1, 1, 12};
    all.text = "t";
    all.wide = "ü";
    all.any = TVariant::Array({TVariant(1), TVariant("s"), TVariant::Null()});
    all.lines.Add("l1");
    all.items.Add().data = "d";
    EXPECT_EQ(
        all.AsJSONString(),
        R"({ "integer" : -7, "int64" : 1099511627776, "qword" : 18446744073709551615, )"
        R"("flag" : true, "letter" : "x", "mode" : "mdAuto", "modes" : ["mdOff", "mdAuto"], )"
        R"("real" : 2.5, "stamp" : 2.5, "text" : "t", "wide" : "ü", "any" : [1, "s", null], )"
        R"("object" : null, "lines" : ["l1"], "items" : [{ "signType" : "", "data" : "d" }] })");
}

TEST(JsonWriterTest, OptionsChangeTheFormOfEnumerationsSetsDateTimesListsAndNames) {
    using O = TJSONStreamOption;
    struct Case {
        TJSONStreamOptions options;
        std::string format;
        const char* member;
        TJSONData value;
    };
    const Case cases[] = {
        {{O::jsoEnumeratedAsInteger}, "", "mode", 2},
        {{O::jsoSetEnumeratedAsInteger}, "", "modes", TJSONData::parse("[0, 2]")},
        {{O::jsoSetAsString}, "", "modes", "mdOff,mdAuto"},
        {{O::jsoSetAsString, O::jsoSetBrackets}, "", "modes", "[mdOff,mdAuto]"},
        {{O::jsoDateTimeAsString}, "", "stamp", "1900-01-01T12:00:00"},
        {{O::jsoDateTimeAsString}, "dd.mm.yyyy", "stamp", "01.01.1900"},
        {{O::jsoTStringsAsObject}, "", "lines", TJSONData::parse(R"({"l1": null})")},
        {{}, "", "lines", "l1\nl2"},
    };
    for (const Case& c : cases) {
        TAllKinds all;
        all.mode = TMode::mdAuto;
        all.modes = {TMode::mdOff, TMode::mdAuto};
        all.stamp = TDateTime{1900, 1, 1, 12};
        all.lines.Add("l1");
        if (!c.options.Contains(O::jsoTStringsAsObject)) all.lines.Add("l2");
        all.Writer().Options = c.options;
        all.Writer().DateTimeFormat = c.format;
        const TJSONData json = all.Writer().SaveObject(all);
        EXPECT_EQ(json.value(c.member, TJSONData()), c.value) << c.member << " " << c.format;
    }
    TResultSignPreInit result;
    result.Writer().Options = {O::jsoLowerPropertyNames, O::jsoTStringsAsArray};
    EXPECT_TRUE(result.Writer().SaveObject(result).contains("keysessid"));
}

TEST(JsonWriterTest, EmptyDateTimeIsTheEmptyStringOnlyWhenAsked) {
    using O = TJSONStreamOption;
    TAllKinds all;
    all.Writer().Options = {O::jsoDateTimeAsString, O::jsoCheckEmptyDateTime};
    EXPECT_EQ(all.Writer().SaveObject(all)["stamp"], "");
    all.Writer().Options = {};
    EXPECT_EQ(all.Writer().SaveObject(all)["stamp"], 0.0);
}

TEST(JsonWriterTest, VariantsOfEveryWritableTypeAndTheOthersRefused) {
    struct Case {
        TVariant value;
        std::string text;
    };
    const Case cases[] = {
        {TVariant(), "null"},
        {TVariant::Null(), "null"},
        {TVariant(false), "false"},
        {TVariant::OfType(varByte, std::int64_t{200}), "200"},
        {TVariant(std::uint64_t{1} << 63), "9223372036854775808"},
        {TVariant(0.5), "0.5"},
        {TVariant(TCurrency{12345}), "1.2345"},
        {TVariant("ok"), R"("ok")"},
        {TVariant::Array({}), "[]"},
        {TVariant::Array({TVariant::Array({TVariant(1)}), TVariant(2)}), "[[1], 2]"},
    };
    for (const Case& c : cases) {
        TAllKinds all;
        all.any = c.value;
        EXPECT_EQ(JSONToCompactText(all.Writer().SaveObject(all)["any"]), c.text) << c.text;
    }
    TAllKinds all;
    all.any = TVariant::OfType(varDispatch);
    EXPECT_EQ(MessageOf<EJSONRTTI>([&] { all.AsJSONString(); }), " : Unsupported variant type : 9");
}

TEST(JsonWriterTest, VariantNestingIsBounded) {
    TVariant deep = TVariant(1);
    for (int i = 0; i < JSONMaxDepth + 100; ++i) deep = TVariant::Array({deep});
    TAllKinds all;
    all.any = deep;
    EXPECT_THROW(all.AsJSONString(), EJSONRTTI);

    TJSONData tree = 1;
    for (int i = 0; i < JSONMaxDepth + 1; ++i) tree = TJSONData::array({std::move(tree)});
    EXPECT_THROW(JSONToCompactText(tree), EJSONRTTI);
}

TEST(JsonWriterTest, ListsAndCollectionsAtTopLevelAreWrappedInAnObject) {
    TJSONStreamer writer;
    writer.Options = {TJSONStreamOption::jsoTStringsAsArray};
    TjsonStringList list;
    list.Add("a");
    EXPECT_EQ(JSONToCompactText(writer.SaveObject(list)), R"({ "Strings" : ["a"] })");
    TSignedItems items;
    items.Add();
    EXPECT_EQ(JSONToCompactText(writer.SaveObject(items)),
              R"({ "Items" : [{ "signType" : "", "data" : "" }] })");
}

TEST(JsonWriterTest, RecordHookReplacesItsOwnMemberButNotWhenTheRecordIsAMember) {
    TCommand command;
    command.Plugin = "VUDuded";
    command.Method = "GetProperty";
    command.Params.Add("Version");
    command.Params.Add("sParamData=QUJD==");
    EXPECT_EQ(command.AsJSONString(),
              R"({ "ID" : "", "Plugin" : "VUDuded", "Method" : "GetProperty", )"
              R"("Params" : [{ "Version" : "" }, { "sParamData" : "QUJD==" }] })");

    TCommandHolder holder;
    holder.command.Params.Add("a=b");
    EXPECT_EQ(holder.AsJSONString(),
              R"({ "command" : { "ID" : "", "Plugin" : "", "Method" : "", "Params" : ["a=b"] } })");
}

TEST(JsonWriterTest, HookMayLeaveAMemberOut) {
    TResultSignPreInit result;
    result.Writer().OnStreamProperty = [](const TJSONStreamer&, const TPersistent&,
                                          const TPropInfo& member,
                                          std::optional<TJSONData>& value) {
        if (member.Name == "text" || member.Name == "data") value.reset();
    };
    EXPECT_EQ(result.AsJSONString(), R"({ "error" : { "code" : 0 }, "keySessID" : "" })");
}

TEST(JsonWriterTest, ObjectEventsRunAroundObjectsWrittenMemberByMember) {
    TResultSign result;
    result.data->Add();
    std::vector<std::string> seen;
    result.Writer().BeforeStreamObject = [&](const TJSONStreamer&, const TPersistent& object,
                                             TJSONData&) {
        seen.push_back("before " + object.ClassName());
    };
    result.Writer().AfterStreamObject = [&](const TJSONStreamer&, const TPersistent& object,
                                            TJSONData& json) {
        seen.push_back("after " + object.ClassName());
        json["extra"] = 1;
    };
    const std::string text = result.AsJSONString();
    EXPECT_THAT(seen, testing::ElementsAre("before TResultSign", "before TResultError",
                                           "after TResultError", "before TSignedItem",
                                           "after TSignedItem", "after TResultSign"));
    EXPECT_THAT(text, testing::EndsWith(R"("extra" : 1 }], "extra" : 1 })"));
}

TEST(JsonWriterTest, WritingAndReadingAreTracedWithTheRecord) {
    ScopedLogCapture log;
    TResultSignPreInit result;
    result.AsJSONString();
    result.LoadFromJSON("{}");
    EXPECT_THROW(result.LoadFromJSON("["), EJSON);
    std::vector<std::string> lines;
    for (const CapturedRecord& r : log.Records())
        lines.push_back(r.sender + " " + TraceTypeToString(r.type) + " " + r.message);
    EXPECT_THAT(lines, testing::ElementsAre("TResultSignPreInit StartExecFunction AsJSONString",
                                            "TResultSignPreInit EndExecFunction AsJSONString",
                                            "TResultSignPreInit StartExecFunction LoadFromJSON",
                                            "TResultSignPreInit EndExecFunction LoadFromJSON",
                                            "TResultSignPreInit StartExecFunction LoadFromJSON",
                                            "TResultSignPreInit EndExecFunction LoadFromJSON"));
}

}  // namespace
}  // namespace nelvo
