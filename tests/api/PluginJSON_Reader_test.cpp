// Reading records: name matching, the string-list, collection and object-member rules with
// their messages, conversions of every kind, hooks and their reach, error handling.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "api/JsonTestRecords.h"
#include "tools/QxSysTools.h"

namespace nelvo {
namespace {

using namespace test;
using testing::ElementsAre;
using Lines = std::vector<std::string>;

TEST(JsonReaderTest, WrittenRecordReadsBackEqual) {
    TAllKinds all;
    all.integer = -7;
    all.int64 = -(1LL << 40);
    all.qword = std::numeric_limits<std::uint64_t>::max();
    all.flag = true;
    all.letter = 'x';
    all.mode = TMode::mdOn;
    all.modes = {TMode::mdOn, TMode::mdAuto};
    all.real = 0.1;
    all.stamp = TDateTime{2021, 3, 15, 10, 20, 30, 250};
    all.text = "a/b \"q\" \x01 Привет";
    all.wide = "ü";
    all.any = TVariant::Array({TVariant(1), TVariant("s")});
    all.object = std::make_unique<TProviderInfo>();  // written, but read back only into one
    all.lines.Add("l1");
    all.lines.Add("");
    all.items.Add().data = "d";

    TAllKinds back;
    back.object = std::make_unique<TProviderInfo>();
    all.object->providerType = 5;
    ASSERT_TRUE(back.LoadFromJSON(all.AsJSONString()));
    EXPECT_EQ(back.integer, all.integer);
    EXPECT_EQ(back.int64, all.int64);
    EXPECT_EQ(back.qword, all.qword);
    EXPECT_EQ(back.flag, all.flag);
    EXPECT_EQ(back.letter, all.letter);
    EXPECT_EQ(back.mode, all.mode);
    EXPECT_EQ(back.modes, all.modes);
    EXPECT_EQ(back.real, all.real);
    EXPECT_EQ(back.stamp, all.stamp);
    EXPECT_EQ(back.text, all.text);
    EXPECT_EQ(back.wide, all.wide);
    ASSERT_EQ(back.any.Elements().size(), 2u);
    EXPECT_EQ(VariantToText(back.any.Elements()[1]), "s");
    EXPECT_EQ(back.object->providerType, 5);
    EXPECT_EQ(back.lines.Lines(), (Lines{"l1", ""}));
    ASSERT_EQ(back.items.Count(), 1);
    EXPECT_EQ(back.items[0].data, "d");
}

TEST(JsonReaderTest, NamesAreMatchedExactlyUnlessAskedOtherwise) {
    TInitKey key;
    key.X509data = "old";
    key.LoadFromJSON(R"({"X509Data": "new", "unknown": 1})");
    EXPECT_EQ(key.X509data, "old");

    key.Reader().CaseInsensitiveNames = true;
    key.LoadFromJSON(R"({"X509Data": "new"})");
    EXPECT_EQ(key.X509data, "new");
}

TEST(JsonReaderTest, MembersWithoutJsonMemberKeepTheirValues) {
    TSign sign;
    sign.keySessID = "kept";
    sign.data.Add("kept");
    sign.LoadFromJSON(R"({"signType": "CMS"})");
    EXPECT_EQ(sign.keySessID, "kept");
    EXPECT_EQ(sign.data.Lines(), Lines{"kept"});
    EXPECT_EQ(sign.signType, "CMS");
}

TEST(JsonReaderTest, StringListRule) {
    struct Case {
        const char* data;
        Lines lines;
    };
    const Case cases[] = {
        {R"("one\ntwo")", {"one", "two"}},
        {R"("one\r\ntwo\r\n")", {"one", "two"}},
        {R"("")", {}},
        {R"(["a", "", "b=c"])", {"a", "", "b=c"}},
        {R"([])", {}},
        {R"({"Strings": ["s"]})", {"s"}},
        {R"({"Strings": null, "x": null})", {"Strings", "x"}},
        {R"({"n1": null, "n2": {}})", {"n1", "n2"}},
    };
    for (const Case& c : cases) {
        TSign sign;
        sign.data.Add("before");
        sign.LoadFromJSON(std::string(R"({"data": )") + c.data + "}");
        EXPECT_EQ(sign.data.Lines(), c.lines) << c.data;
    }
}

TEST(JsonReaderTest, StringListRuleFailures) {
    struct Case {
        const char* data;
        const char* message;
    };
    const Case cases[] = {
        {R"([1])", R"( : Array element 0 is not a valid type for a stringlist item: "jtNumber")"},
        {R"(["a", null])",
         R"( : Array element 1 is not a valid type for a stringlist item: "jtNull")"},
        {R"(7)", R"( : Unsupported JSON type for stringlists: "jtNumber")"},
        {R"(null)", R"( : Unsupported JSON type for stringlists: "jtNull")"},
        {R"(true)", R"( : Unsupported JSON type for stringlists: "jtBoolean")"},
        {R"({"k": "v"})",
         R"( : Object Element k is not a valid type for a stringlist object: "jtString")"},
        {R"({"Strings": "s"})",
         R"( : Object Element Strings is not a valid type for a stringlist object: "jtString")"},
    };
    for (const Case& c : cases) {
        TSign sign;
        const std::string text = std::string(R"({"data": )") + c.data + "}";
        EXPECT_EQ(MessageOf<EJSONRTTI>([&] { sign.LoadFromJSON(text); }), c.message) << c.data;
    }
}

TEST(JsonReaderTest, StringListObjectsComeFromTheCreateEvent) {
    TSign sign;
    sign.Reader().OnCreateObject = [](TJSONDeStreamer&, TPersistent&, const TPropInfo* member,
                                      const TJSONData&, const std::string& name) {
        EXPECT_EQ(member, nullptr);
        auto info = std::make_unique<TProviderInfo>();
        info->providerName = name;
        return info;
    };
    sign.LoadFromJSON(R"({"data": {"a": {}, "b": null}})");
    ASSERT_EQ(sign.data.Count(), 2);
    ASSERT_NE(sign.data.Objects(0), nullptr);
    EXPECT_EQ(static_cast<TProviderInfo*>(sign.data.Objects(0))->providerName, "a");
    EXPECT_EQ(sign.data.Objects(1), nullptr);
}

TEST(JsonReaderTest, CollectionRule) {
    for (const char* data : {R"([{"data": "x"}, {}])", R"({"Items": [{"data": "x"}, {}]})"}) {
        TResultSign result;
        result.data->Add().data = "before";
        result.LoadFromJSON(std::string(R"({"data": )") + data + "}");
        ASSERT_EQ(result.data->Count(), 2) << data;
        EXPECT_EQ((*result.data)[0].data, "x");
        EXPECT_EQ((*result.data)[1].data, "");
    }
    struct Case {
        const char* data;
        const char* message;
    };
    const Case cases[] = {
        {R"(null)", R"( : Unsupported JSON type for collections: "jtNull")"},
        {R"("x")", R"( : Unsupported JSON type for collections: "jtString")"},
        {R"({"items": []})", R"( : Unsupported JSON type for collections: "jtObject")"},
        {R"({"Items": 1})", R"( : Unsupported JSON type for collections: "jtObject")"},
        {R"([{}, []])",
         R"( : Array element 1 is not a valid type for a collection item: "jtArray")"},
    };
    for (const Case& c : cases) {
        TResultSign result;
        const std::string text = std::string(R"({"data": )") + c.data + "}";
        EXPECT_EQ(MessageOf<EJSONRTTI>([&] { result.LoadFromJSON(text); }), c.message) << c.data;
    }
}

TEST(JsonReaderTest, ObjectMemberRule) {
    TInitKey key;
    key.providerInfo->providerName = "kept";
    // null, a string or a number leave an object that is held untouched.
    key.LoadFromJSON(R"({"providerInfo": null})");
    key.LoadFromJSON(R"({"providerInfo": "x"})");
    key.LoadFromJSON(R"({"providerInfo": 1})");
    EXPECT_EQ(key.providerInfo->providerName, "kept");
    key.LoadFromJSON(R"({"providerInfo": {"providerType": 3}})");
    EXPECT_EQ(key.providerInfo->providerName, "kept");
    EXPECT_EQ(key.providerInfo->providerType, 3);

    // A read-only member that holds nothing: an object is skipped, other values fail.
    TResultSign result;
    result.data.reset();
    EXPECT_TRUE(result.LoadFromJSON(R"({"data": {"Items": []}})"));
    EXPECT_EQ(result.data, nullptr);
    EXPECT_EQ(MessageOf<EJSONRTTI>([&] { result.LoadFromJSON(R"({"data": 1})"); }),
              R"( : Unsupported JSON type for object property: "jtNumber")");
    EXPECT_EQ(MessageOf<EJSONRTTI>([&] { result.LoadFromJSON(R"({"data": null})"); }),
              R"( : Unsupported JSON type for object property: "jtNull")");
}

TEST(JsonReaderTest, CreateEventFillsWritableMembersOnly) {
    auto create = [](TJSONDeStreamer&, TPersistent&, const TPropInfo* member, const TJSONData&,
                     const std::string& name) -> std::unique_ptr<TPersistent> {
        EXPECT_EQ(member->Name, name);
        if (name == "object") return std::make_unique<TProviderInfo>();
        return std::make_unique<TSignedItems>();
    };
    TAllKinds all;
    all.Reader().OnCreateObject = create;
    all.LoadFromJSON(R"({"object": {"providerType": 4}})");
    ASSERT_NE(all.object, nullptr);
    EXPECT_EQ(all.object->providerType, 4);

    TResultSign result;
    result.data.reset();
    result.Reader().OnCreateObject = create;
    result.LoadFromJSON(R"({"data": {"Items": [{}]}})");
    EXPECT_EQ(result.data, nullptr);  // read-only: the instance is not stored

    TAllKinds wrong;
    wrong.Reader().OnCreateObject = [](TJSONDeStreamer&, TPersistent&, const TPropInfo*,
                                       const TJSONData&, const std::string&) {
        return std::make_unique<TResultError>();
    };
    EXPECT_EQ(MessageOf<EJSONRTTI>([&] { wrong.LoadFromJSON(R"({"object": {}})"); }),
              R"( : An object of class "TResultError" cannot be stored in property "object")");
}

TEST(JsonReaderTest, TopLevelValues) {
    TInitKey key;
    EXPECT_EQ(MessageOf<EJSONRTTI>([&] { key.LoadFromJSON("[]"); }),
              R"( : JSON array cannot be streamed to object of class "TInitKey")");
    EXPECT_EQ(MessageOf<EJSONRTTI>([&] { key.LoadFromJSON("12"); }),
              R"( : Cannot destream object from JSON data of type "jtNumber")");
    EXPECT_EQ(MessageOf<EJSONRTTI>([&] { key.LoadFromJSON(R"("s")"); }),
              R"( : Cannot destream object from JSON data of type "jtString")");
    EXPECT_EQ(MessageOf<EJSONRTTI>([&] { key.LoadFromJSON("null"); }),
              R"( : Cannot destream object from JSON data of type "jtNull")");
    EXPECT_THROW(key.LoadFromJSON(""), EJSON);

    TJSONDeStreamer reader;
    TjsonStringList list;
    reader.LoadObject(R"(["a", "b"])", list);
    EXPECT_EQ(list.Lines(), (Lines{"a", "b"}));
    reader.LoadObject(R"("c")", list);
    EXPECT_EQ(list.Lines(), Lines{"c"});
    reader.LoadObject(R"({"Strings": ["d"]})", list);
    EXPECT_EQ(list.Lines(), Lines{"d"});
    TSignedItems items;
    reader.LoadObject(R"([{"data": "e"}])", items);
    reader.LoadObject(R"({"Items": [{"data": "e"}, {}]})", items);
    EXPECT_EQ(items.Count(), 2);
}

struct ScalarCase {
    const char* json;   // the member's JSON value
    const char* error;  // empty: reads; else the start of the message
};

// Reads {"<member>": json} into a TAllKinds and answers the error message, or "" on success.
template <class Check>
void ReadScalars(const char* member, std::initializer_list<ScalarCase> cases, Check check) {
    for (const ScalarCase& c : cases) {
        TAllKinds all;
        std::string error;
        try {
            all.LoadFromJSON(std::string("{\"") + member + "\": " + c.json + "}");
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_THAT(error, testing::StartsWith(c.error)) << member << " " << c.json;
        if (error.empty()) check(all, c.json);
    }
}

TEST(JsonReaderTest, IntegerConversions) {
    ReadScalars("integer",
                {{"12", ""},
                 {"-12.0", ""},
                 {R"("+12")", ""},
                 {"true", ""},
                 {"2147483647", ""},
                 {"2147483648", R"("2147483648" is not a valid integer)"},
                 {"1.5", R"("1.5" is not a valid integer)"},
                 {R"("12 ")", R"("12 " is not a valid integer)"},
                 {R"("")", R"("" is not a valid integer)"},
                 {"null", R"(Cannot convert JSON data of type "jtNull" to integer)"},
                 {"[]", R"(Cannot convert JSON data of type "jtArray" to integer)"},
                 {"{}", R"(Cannot convert JSON data of type "jtObject" to integer)"}},
                [](const TAllKinds& all, std::string json) {
                    const std::int32_t expected = json == "true"         ? 1
                                                  : json == "2147483647" ? 2147483647
                                                  : json == "-12.0"      ? -12
                                                                         : 12;
                    EXPECT_EQ(all.integer, expected) << json;
                });
    ReadScalars("int64",
                {{"-9223372036854775808", ""},
                 {"9223372036854775808", R"("9223372036854775808" is not a valid 64-bit)"}},
                [](const TAllKinds& all, std::string) {
                    EXPECT_EQ(all.int64, std::numeric_limits<std::int64_t>::min());
                });
    ReadScalars("qword",
                {{"18446744073709551615", ""},
                 {"-1", R"("-1" is not a valid unsigned 64-bit integer)"},
                 {"1e30", R"("1e+30" is not a valid unsigned 64-bit integer)"}},
                [](const TAllKinds& all, std::string) {
                    EXPECT_EQ(all.qword, std::numeric_limits<std::uint64_t>::max());
                });
    ReadScalars("qword", {{"7.9", ""}},
                [](const TAllKinds& all, std::string) { EXPECT_EQ(all.qword, 7u); });
}

TEST(JsonReaderTest, BooleanCharacterFloatAndStringConversions) {
    ReadScalars("flag",
                {{"true", ""},
                 {R"("TRUE")", ""},
                 {"1", ""},
                 {R"("yes")", R"("yes" is not a valid boolean)"},
                 {"null", R"(Cannot convert JSON data of type "jtNull" to boolean)"}},
                [](const TAllKinds& all, std::string json) { EXPECT_TRUE(all.flag) << json; });
    ReadScalars("letter", {{R"("xyz")", ""}, {"7", ""}, {R"("")", ""}},
                [](const TAllKinds& all, std::string json) {
                    EXPECT_EQ(all.letter, json == "7" ? '7' : json == R"("")" ? 'a' : 'x');
                });
    ReadScalars("real",
                {{"2", ""},
                 {"2.0", ""},
                 {R"("2")", R"(Cannot convert JSON data of type "jtString" to float)"}},
                [](const TAllKinds& all, std::string) { EXPECT_EQ(all.real, 2.0); });
    ReadScalars("text",
                {{R"("s")", ""},
                 {"5", ""},
                 {"0.5", ""},
                 {"false", ""},
                 {"null", R"(Cannot convert JSON data of type "jtNull" to string)"},
                 {"[]", R"(Cannot convert JSON data of type "jtArray" to string)"}},
                [](const TAllKinds& all, std::string json) {
                    EXPECT_EQ(all.text, json == R"("s")" ? "s" : json);
                });
}

TEST(JsonReaderTest, EnumerationsAndSets) {
    ReadScalars(
        "mode",
        {{R"("mdAuto")", ""},
         {R"("MDAUTO")", ""},
         {"2", ""},
         {"3", R"( : 3 is not a valid ordinal for enumerated property "mode")"},
         {R"("mdNone")", R"( : "mdNone" is not a valid value for enumerated property)"},
         {"true", R"( : Unsupported JSON type for enumerated property "mode" : "jtBoolean")"},
         {"null", R"( : Unsupported JSON type for enumerated property "mode" : "jtNull")"}},
        [](const TAllKinds& all, std::string) { EXPECT_EQ(all.mode, TMode::mdAuto); });
    const TSet<TMode> both{TMode::mdOff, TMode::mdAuto};
    ReadScalars(
        "modes",
        {{R"("mdOff,mdAuto")", ""},
         {R"("[ mdAuto , mdOff ]")", ""},
         {R"(["mdAuto", 0])", ""},
         {R"("mdOff,,mdAuto")", R"( : "" is not a valid value for set property)"},
         {R"([5])", R"( : 5 is not a valid ordinal for set property "modes")"},
         {R"([null])", R"( : Unsupported JSON type for set property "modes" : "jtNull")"},
         {"1", R"( : Unsupported JSON type for set property "modes" : "jtNumber")"}},
        [&](const TAllKinds& all, std::string json) { EXPECT_EQ(all.modes, both) << json; });
    ReadScalars("modes", {{R"("")", ""}, {"[]", ""}, {R"("[]")", ""}},
                [](const TAllKinds& all, std::string) { EXPECT_EQ(all.modes, TSet<TMode>()); });
}

TEST(JsonReaderTest, DateTimes) {
    ReadScalars("stamp",
                {{R"("2021-03-15T10:20:30")", ""},
                 {R"("2021-03-15 10:20:30")", ""},
                 {"44270.43090277778", ""},
                 {R"("2021-02-30T10:20:30")", R"( : "2021-02-30T10:20:30" is not a valid date)"},
                 {R"("soon")", R"( : "soon" is not a valid date and time)"},
                 {"1e300", R"(1e+300 is not a valid date-time serial number)"},
                 {"null", R"(Cannot convert JSON data of type "jtNull" to float)"}},
                [](const TAllKinds& all, std::string) {
                    EXPECT_EQ(all.stamp, (TDateTime{2021, 3, 15, 10, 20, 30}));
                });
    ReadScalars("stamp", {{R"("2021-03-15")", ""}, {"44270", ""}},
                [](const TAllKinds& all, std::string) {
                    EXPECT_EQ(all.stamp, (TDateTime{2021, 3, 15}));
                });
    ReadScalars("stamp", {{"0", ""}, {"-1.25", ""}}, [](const TAllKinds& all, std::string json) {
        const TDateTime expected = json == "0" ? TDateTime{} : TDateTime{1899, 12, 29, 6};
        EXPECT_EQ(all.stamp, expected);
    });

    TAllKinds all;
    all.Reader().DateTimeFormat = "dd.mm.yyyy hh:nn";
    all.LoadFromJSON(R"({"stamp": "15.03.2021 10:20"})");
    EXPECT_EQ(all.stamp, (TDateTime{2021, 3, 15, 10, 20}));
    // With a pattern of its own the reader tries no other forms.
    EXPECT_THROW(all.LoadFromJSON(R"({"stamp": "2021-03-15T10:20:30"})"), EJSONRTTI);
}

TEST(JsonReaderTest, Variants) {
    struct Case {
        const char* json;
        TVarType type;
        std::string text;
    };
    const Case cases[] = {
        {"null", varNull, ""},
        {"7", varInteger, "7"},
        {"-7000000000", varInt64, "-7000000000"},
        {"18446744073709551615", varUInt64, "18446744073709551615"},
        {"0.5", varDouble, "0.5"},
        {"true", varBoolean, "TRUE"},
        {R"("s")", varUString, "s"},
    };
    for (const Case& c : cases) {
        TAllKinds all;
        all.LoadFromJSON(std::string(R"({"any": )") + c.json + "}");
        EXPECT_EQ(all.any.VarType(), c.type) << c.json;
        EXPECT_EQ(VariantToText(all.any), c.text) << c.json;
    }
    TAllKinds all;
    all.LoadFromJSON(R"({"any": [1, ["x"], []]})");
    ASSERT_TRUE(all.any.IsArray());
    ASSERT_EQ(all.any.Elements().size(), 3u);
    EXPECT_EQ(VariantToText(all.any.Elements()[1].Elements()[0]), "x");
    EXPECT_TRUE(all.any.Elements()[2].IsArray());
    EXPECT_EQ(MessageOf<EJSONRTTI>([&] { all.LoadFromJSON(R"({"any": {}})"); }),
              R"( : Unsupported JSON type for variant value : "jtObject")");
}

TEST(JsonReaderTest, RecordHookRunsOnlyInTheRecordsOwnReader) {
    TInitKey key;
    key.LoadFromJSON(R"({"containerInfo": {"_type": "File", "keyFile": "k"}})");
    auto* file = dynamic_cast<TContainerInfoFile*>(key.containerInfo.get());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->_type, "File");
    EXPECT_EQ(file->keyFile, "k");

    // Read as a member of another record: the inner record's hook never runs, so its
    // container is never created and its JSON object is skipped.
    TSignPreInit preInit;
    preInit.LoadFromJSON(
        R"({"keyInfo": {"X509data": "x", "containerInfo": {"_type": "File"}}, "data": []})");
    EXPECT_EQ(preInit.keyInfo->X509data, "x");
    EXPECT_EQ(preInit.keyInfo->containerInfo, nullptr);
    EXPECT_EQ(preInit.keyInfo->hookCalls, 0);
}

TEST(JsonReaderTest, HandledMemberIsNotStored) {
    TSign sign;
    sign.Reader().OnLoadProperty = [](TJSONDeStreamer&, TPersistent&, const TPropInfo& member,
                                      const TJSONData&,
                                      bool& handled) { handled = member.Name == "keySessID"; };
    sign.LoadFromJSON(R"({"keySessID": "k", "signType": "s"})");
    EXPECT_EQ(sign.keySessID, "");
    EXPECT_EQ(sign.signType, "s");
}

TEST(JsonReaderTest, ObjectEventsSeeNestedObjectsAndItemsButNotListMembers) {
    TResultSign result;
    std::vector<std::string> seen;
    result.Reader().BeforeLoadObject = [&](TJSONDeStreamer&, TPersistent& object,
                                           const TJSONData&) {
        seen.push_back("before " + object.ClassName());
    };
    result.Reader().AfterLoadObject = [&](TJSONDeStreamer&, TPersistent& object, const TJSONData&) {
        seen.push_back("after " + object.ClassName());
    };
    result.LoadFromJSON(R"({"error": {}, "data": [{}]})");
    EXPECT_THAT(seen, ElementsAre("before TResultSign", "before TResultError", "after TResultError",
                                  "before TSignedItem", "after TSignedItem", "after TResultSign"));
    TSign sign;
    int calls = 0;
    sign.Reader().BeforeLoadObject = [&](TJSONDeStreamer&, TPersistent&, const TJSONData&) {
        ++calls;
    };
    sign.LoadFromJSON(R"({"data": ["a"]})");
    EXPECT_EQ(calls, 1);
}

TEST(JsonReaderTest, FailureEndsTheReadAndKeepsWhatWasRead) {
    TAllKinds all;
    EXPECT_THROW(all.LoadFromJSON(R"({"integer": 5, "text": null, "wide": "w"})"), EJSON);
    EXPECT_EQ(all.integer, 5);
    EXPECT_EQ(all.wide, "");

    TAllKinds skipping;
    skipping.Reader().SkipPropertyErrors = true;
    EXPECT_TRUE(skipping.LoadFromJSON(R"({"integer": [], "text": null, "wide": "w"})"));
    EXPECT_EQ(skipping.wide, "w");

    TAllKinds handling;
    std::vector<std::string> failed;
    handling.Reader().OnLoadPropertyError = [&](TJSONDeStreamer&, const std::exception&,
                                                TPersistent&, const TPropInfo& member,
                                                const TJSONData&, bool& handled) {
        failed.push_back(member.Name);
        handled = member.Name == "integer";
    };
    EXPECT_THROW(handling.LoadFromJSON(R"({"integer": [], "text": null})"), EJSON);
    EXPECT_THAT(failed, ElementsAre("integer", "text"));
}

}  // namespace
}  // namespace nelvo
