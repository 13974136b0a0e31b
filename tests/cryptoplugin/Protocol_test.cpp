// The JSON object protocol: instances, their identifiers and life cycle, routing, the version
// object, the error properties, and what the plugin makes of commands in other shapes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "PluginDriver.h"

namespace nelvo::cryptoplugin::test {
namespace {

constexpr std::int32_t kBadCommand = -5;
constexpr const char* kUnknownId = "{00000000-0000-4000-8000-000000000000}";

bool LooksLikeGuid(const std::string& id) {
    static const std::string kHex = "0123456789ABCDEF";
    if (id.size() != 38 || id.front() != '{' || id.back() != '}') return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? id[i] != '-' : kHex.find(id[i]) == std::string::npos) return false;
    }
    return true;
}

// An instance that exists only because its call failed: the cheapest way to get one.
std::string FailedVersionInstance() {
    const Reply reply = Send("", kVersionClass, "GetProperty", {"NoSuchProperty"});
    EXPECT_TRUE(LooksLikeGuid(reply.id)) << reply.id;
    return reply.id;
}

TEST(CryptoPluginVersionObject, AnswersTheBuildVersionAndKeepsNoInstance) {
    const Reply reply = Send("", kVersionClass, "GetProperty", {"Version"});
    EXPECT_EQ(reply.result, NELVO_EXPECTED_VERSION);
    EXPECT_EQ(reply.id, "") << "a version query is never released, so nothing may be kept";
    EXPECT_EQ(reply.plugin, kVersionClass);
    EXPECT_EQ(reply.method, "GetProperty");
}

TEST(CryptoPluginReply, HasItsFourMembersInOrder) {
    const std::optional<std::string> text =
        Exchange(CommandText("", kVersionClass, "GetProperty", {"Version"}));
    ASSERT_TRUE(text);
    const auto reply = nlohmann::ordered_json::parse(*text);
    std::string names;
    for (const auto& [name, value] : reply.items()) names += name + ";";
    EXPECT_EQ(names, "ID;Plugin;Method;Result;");
}

TEST(CryptoPluginInstances, LifeCycle) {
    const std::string id = FailedVersionInstance();

    // The same ID reaches the same instance: it still holds the failure.
    EXPECT_EQ(ReadError(kVersionClass, id).code, "1004");

    // A successful call on it keeps the ID and clears the failure.
    const Reply version = Send(id, kVersionClass, "GetProperty", {"Version"});
    EXPECT_EQ(version.id, id);
    EXPECT_EQ(version.result, NELVO_EXPECTED_VERSION);
    const ErrorState cleared = ReadError(kVersionClass, id);
    EXPECT_EQ(cleared.code, "0");
    EXPECT_EQ(cleared.text, "");

    const Reply released = Send(id, kVersionClass, "Release");
    EXPECT_EQ(released.id, "");
    EXPECT_EQ(released.method, "Release");

    // The released ID is unknown now; the reply hands out a new instance carrying that error.
    const Reply stale = Send(id, kVersionClass, "GetProperty", {"Version"});
    EXPECT_TRUE(LooksLikeGuid(stale.id));
    EXPECT_NE(stale.id, id);
    EXPECT_EQ(stale.result, "");
    const ErrorState error = ReadError(kVersionClass, stale.id);
    EXPECT_EQ(error.code, "1003");
    EXPECT_NE(error.text.find(id), std::string::npos) << error.text;
    Send(stale.id, kVersionClass, "Release");
}

TEST(CryptoPluginInstances, IdentifiersAreFreshGuids) {
    const std::string first = FailedVersionInstance();
    const std::string second = FailedVersionInstance();
    EXPECT_NE(first, second);
    EXPECT_EQ(first[15], '4') << "random GUID version digit";
    Send(first, kVersionClass, "Release");
    Send(second, kVersionClass, "Release");
}

TEST(CryptoPluginInstances, AnIdBelongsToItsClassOnly) {
    const Reply foreign = Send("", "SomeOtherObject", "Anything");
    const Reply reply = Send(foreign.id, kVersionClass, "GetProperty", {"Version"});
    EXPECT_NE(reply.id, foreign.id);
    EXPECT_EQ(ReadError(kVersionClass, reply.id).code, "1003");

    // Releasing under the wrong class leaves the instance alone.
    EXPECT_EQ(Send(foreign.id, kVersionClass, "Release").id, "");
    EXPECT_EQ(ReadError("SomeOtherObject", foreign.id).code, "1001");
    Send(foreign.id, "SomeOtherObject", "Release");
    Send(reply.id, kVersionClass, "Release");
}

TEST(CryptoPluginInstances, ReleaseOfNoInstanceAnswersAnEmptyId) {
    for (const char* id : {"", kUnknownId}) {
        const Reply reply = Send(id, kVersionClass, "Release");
        EXPECT_EQ(reply.id, "") << id;
        EXPECT_EQ(reply.result, "") << id;
    }
}

TEST(CryptoPluginInstances, ShutdownReleasesEveryInstanceAndCommandsStillWork) {
    const std::string id = FailedVersionInstance();
    Plugin().shutdown();

    const Reply stale = Send(id, kVersionClass, "GetProperty", {"Version"});
    EXPECT_NE(stale.id, id);
    EXPECT_EQ(ReadError(kVersionClass, stale.id).code, "1003");
    EXPECT_EQ(Send("", kVersionClass, "GetProperty", {"Version"}).result, NELVO_EXPECTED_VERSION);
    Send(stale.id, kVersionClass, "Release");
}

struct ErrorCase {
    const char* name;
    std::string command;
    std::string plugin;  // the class the follow-up reads are sent to
    const char* code;
    const char* textPart;
};

TEST(CryptoPluginErrors, EachFailureLeavesAnInstanceThatReportsIt) {
    const ErrorCase cases[] = {
        {"unknown class", CommandText("", "NoSuchObject", "GetProperty", {"Version"}),
         "NoSuchObject", "1001", "Unknown object class \"NoSuchObject\""},
        {"unknown class with an ID", CommandText(kUnknownId, "NoSuchObject", "GetProperty"),
         "NoSuchObject", "1001", "NoSuchObject"},
        {"missing class", R"({"Method":"GetProperty","Params":[{"Version":""}]})", "", "1001",
         "Unknown object class \"\""},
        {"unknown method", CommandText("", kVersionClass, "Frobnicate"), kVersionClass, "1002",
         "Unknown method \"Frobnicate\" of object class \"VUDuded\""},
        {"missing method", R"({"Plugin":"VUDuded","Params":[{"Version":""}]})", kVersionClass,
         "1002", "Unknown method \"\""},
        {"unknown instance", CommandText(kUnknownId, kVersionClass, "GetProperty", {"Version"}),
         kVersionClass, "1003", kUnknownId},
        {"unknown property", CommandText("", kVersionClass, "GetProperty", {"Colour"}),
         kVersionClass, "1004", "Unknown property \"Colour\""},
        {"escaped solidus in a name",
         R"({"Plugin":"VUDuded","Method":"GetProperty","Params":[{"a\/b":""}]})", kVersionClass,
         "1004", "Unknown property \"a/b\""},
        {"property name missing", CommandText("", kVersionClass, "GetProperty"), kVersionClass,
         "1005", "GetProperty needs a property name"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Reply reply = Send(c.command);
        EXPECT_TRUE(LooksLikeGuid(reply.id)) << reply.id;
        EXPECT_EQ(reply.result, "");
        const ErrorState error = ReadError(c.plugin, reply.id);
        EXPECT_EQ(error.code, c.code);
        EXPECT_NE(error.text.find(c.textPart), std::string::npos) << error.text;
        EXPECT_EQ(Send(reply.id, c.plugin, "Release").id, "");
    }
}

TEST(CryptoPluginErrors, AnInstanceOfAnUnknownClassKeepsFailing) {
    const Reply first = Send("", "NoSuchObject", "InitCryptoEngineByType", {"sCryptoEngineType=8"});
    const Reply again = Send(first.id, "NoSuchObject", "GetProperty", {"Version"});
    EXPECT_EQ(again.id, first.id);
    EXPECT_EQ(again.result, "");
    EXPECT_EQ(ReadError("NoSuchObject", first.id).code, "1001");
    Send(first.id, "NoSuchObject", "Release");
}

TEST(CryptoPluginErrors, ErrorPropertiesOfANewInstanceReportSuccess) {
    // Reading them is a call that succeeds, so nothing is kept either.
    for (const char* property : {"LastErrorCode", "LastError"}) {
        const Reply reply = Send("", kVersionClass, "GetProperty", {property});
        EXPECT_EQ(reply.id, "") << property;
        EXPECT_EQ(reply.result, std::string(property) == "LastErrorCode" ? "0" : "") << property;
    }
}

TEST(CryptoPluginCommandShapes, TextsThatAreNoCommandAreRefused) {
    const std::string deep(100000, '[');
    const std::string deepInParams =
        R"({"Plugin":"VUDuded","Method":"GetProperty","Params":[{"Version":)" + deep +
        std::string(100000, ']') + "}]}";
    const char* const texts[] = {
        "not json",
        "{\"Plugin\":\"VUDuded\"",  // truncated
        "[]",
        R"([{"Plugin":"VUDuded","Method":"GetProperty","Params":[{"Version":""}]}])",
        R"("VUDuded")",
        "42",
        "null",
        R"({"Plugin":5,"Method":"GetProperty"})",
        R"({"ID":[],"Plugin":"VUDuded","Method":"GetProperty"})",
        R"({"Plugin":"VUDuded","Method":{},"Params":[]})",
        R"({"Plugin":"VUDuded","Method":"GetProperty","Params":"Version"})",
        R"({"Plugin":"VUDuded","Method":"GetProperty","Params":{"Version":""}})",
        R"({"Plugin":"VUDuded","Method":"GetProperty","Params":[5]})",
        R"({"Plugin":"VUDuded","Method":"GetProperty","Params":[["Version"]]})",
        R"({"Plugin":"VUDuded","Method":"GetProperty","Params":[{"Version":{"a":"b"}}]})",
        R"({"Plugin":"VUDuded","Method":"GetProperty","Params":[{"Version":["a"]}]})",
        "{\"Plugin\":\"VUD\xFFuded\",\"Method\":\"GetProperty\"}",  // not UTF-8
        R"({"Plugin":"VUDuded","Method":"GetProperty"} trailing)",
        deep.c_str(),
        deepInParams.c_str(),
    };
    for (const char* text : texts) {
        EXPECT_EQ(Prepare(text).status, kBadCommand) << std::string(text).substr(0, 80);
    }
}

TEST(CryptoPluginCommandShapes, ReadableShapesReachTheObject) {
    const char* const texts[] = {
        R"({"Params":[{"Version":""}],"Method":"GetProperty","Plugin":"VUDuded","ID":""})",
        R"({"Method":"GetProperty","Plugin":"VUDuded","Params":[{"Version":""}]})",
        R"({"ID":null,"Plugin":"VUDuded","Method":"GetProperty","Params":[{"Version":""}]})",
        R"({"ID":"","Plugin":"VUDuded","Method":"GetProperty","Params":["Version"]})",
        R"({"ID":"","Plugin":"VUDuded","Method":"GetProperty","Params":[{"Version":5}]})",
        R"({"ID":"","Plugin":"VUDuded","Method":"GetProperty","Params":[{"Version":null}]})",
        R"({"ID":"","Plugin":"VUDuded","Method":"GetProperty","Params":[{"Version":"","x":"y"}]})",
        R"({"ID":"","Plugin":"VUDuded","Method":"GetProperty","Params":[{},{"Version":""}]})",
        R"({"Plugin":"Other","Method":"GetProperty","Plugin":"VUDuded","Params":["Version"]})",
        R"({"Extra":{"deep":[1,2]},"Plugin":"VUDuded","Method":"GetProperty","Params":["Version"]})",
        " {\n \"Plugin\" : \"VUD\\u0075ded\" ,\t\"Method\" : \"GetProperty\" ,"
        " \"Params\" : [ { \"Version\" : \"\" } ] } ",
    };
    for (const char* text : texts) {
        const Reply reply = Send(text);
        EXPECT_EQ(reply.result, NELVO_EXPECTED_VERSION) << text;
        EXPECT_EQ(reply.id, "") << text;
    }
}

TEST(CryptoPluginCommandShapes, NamesAreMatchedExactly) {
    const Reply lower = Send("", "vududed", "GetProperty", {"Version"});
    EXPECT_EQ(ReadError("vududed", lower.id).code, "1001");
    const Reply method = Send("", kVersionClass, "getproperty", {"Version"});
    EXPECT_EQ(ReadError(kVersionClass, method.id).code, "1002");
    const Reply property = Send("", kVersionClass, "GetProperty", {"version"});
    EXPECT_EQ(ReadError(kVersionClass, property.id).code, "1004");
    for (const Reply* reply : {&lower, &method, &property}) {
        Send(reply->id, reply->plugin, "Release");
    }
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test
