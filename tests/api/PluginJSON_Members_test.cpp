// Member tables: positions, kinds and read-only flags from the declarations; member lists;
// class references as factories; the string list's text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/JsonTestRecords.h"

namespace nelvo {
namespace {

using namespace test;
using K = TTypeKind;

TEST(JsonMembersTest, TablesHoldNameKindReadOnlyFlagClassAndPosition) {
    struct Row {
        std::string name;
        K kind;
        bool readOnly;
        std::string objectClass;
    };
    auto rows = [](const TMemberTable& table) {
        std::vector<std::string> out;
        for (const TPropInfo& p : table)
            out.push_back(std::to_string(p.Position) + " " + p.Name + " " +
                          std::to_string(static_cast<int>(p.Kind)) + (p.IsReadOnly() ? " ro" : "") +
                          (p.ObjectClass ? " " + p.ObjectClassName() : ""));
        return out;
    };
    const auto k = [](K kind) { return std::to_string(static_cast<int>(kind)); };
    EXPECT_THAT(rows(TResultSignPreInit::Table()),
                testing::ElementsAre("0 error " + k(K::tkClass) + " ro TResultError",
                                     "1 data " + k(K::tkClass) + " ro TSignedItems",
                                     "2 keySessID " + k(K::tkString)));
    // Declared again in the derived class: same position, the derived declaration.
    EXPECT_THAT(
        rows(TSign::Table()),
        testing::ElementsAre("0 data " + k(K::tkClass) + " ro TjsonStringList",
                             "1 keySessID " + k(K::tkString), "2 signType " + k(K::tkString)));
    EXPECT_THAT(rows(TSignPreInit::Table())[1], testing::EndsWith(k(K::tkClass) + " TInitKey"));

    const std::vector<std::pair<std::string, K>> kinds = {
        {"integer", K::tkInteger}, {"int64", K::tkInt64},  {"qword", K::tkQWord},
        {"flag", K::tkBool},       {"letter", K::tkChar},  {"mode", K::tkEnumeration},
        {"modes", K::tkSet},       {"real", K::tkFloat},   {"stamp", K::tkFloat},
        {"text", K::tkString},     {"wide", K::tkWString}, {"any", K::tkVariant},
        {"object", K::tkClass},
    };
    for (const auto& [name, kind] : kinds) {
        const TPropInfo* info = TAllKinds::Table().Find(name);
        ASSERT_NE(info, nullptr) << name;
        EXPECT_EQ(info->Kind, kind) << name;
        EXPECT_FALSE(info->IsReadOnly()) << name;
    }
    EXPECT_TRUE(TAllKinds::Table().Find("stamp")->IsDateTime());
    EXPECT_FALSE(TAllKinds::Table().Find("real")->IsDateTime());
    EXPECT_EQ(TAllKinds::Table().Find("Text"), nullptr);
}

class TReadOnlyScalar : public TjsonPersistent {
public:
    std::string fixed = "fixed";
    static const TMemberTable& Table() {
        static const TMemberTable table{ReadOnlyField("fixed", &TReadOnlyScalar::fixed)};
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

TEST(JsonMembersTest, ReadOnlyScalarIsWrittenButNeverStored) {
    TReadOnlyScalar record;
    EXPECT_TRUE(record.Table()[0].IsReadOnly());
    EXPECT_EQ(record.AsJSONString(), R"({ "fixed" : "fixed" })");
    EXPECT_TRUE(record.LoadFromJSON(R"({"fixed": "changed"})"));
    EXPECT_EQ(record.fixed, "fixed");
}

TEST(JsonMembersTest, NameDeclaredTwiceInOneClassIsRefused) {
    EXPECT_THROW(TjsonPersistent::Table().Extend(
                     {Field("a", &TSign::keySessID), Field("a", &TSign::signType)}),
                 std::logic_error);
}

TEST(JsonMembersTest, MemberListsFilterKindsAndSortIgnoringCase) {
    class TNames : public TPersistent {
    public:
        std::string b, A, c;
        std::int32_t n = 0;
        static const TMemberTable& Table() {
            static const TMemberTable table{Field("b", &TNames::b), Field("n", &TNames::n),
                                            Field("A", &TNames::A), Field("c", &TNames::c)};
            return table;
        }
        const TMemberTable& Members() const override { return Table(); }
    } object;
    auto names = [](const TPropInfoList& list) {
        std::string out;
        for (const TPropInfo* p : list) out += p->Name;
        return out;
    };
    EXPECT_EQ(names(TPropInfoList(object, AllKinds(), false)), "bnAc");
    EXPECT_EQ(names(TPropInfoList(object, AllKinds(), true)), "Abcn");
    EXPECT_EQ(names(TPropInfoList(object, {K::tkString}, false)), "bAc");
    EXPECT_EQ(TPropInfoList(object, {K::tkMethod}, false).Count(), 0);
}

TEST(JsonMembersTest, ClassReferencesCreateRecordsOfTheirClass) {
    const std::vector<TJsonClassRef> classes = {TJsonClassRef::Of<TSign>(),
                                                TJsonClassRef::Of<TResultSignPreInit>()};
    std::vector<std::string> texts;
    for (const TJsonClassRef& ref : classes) {
        std::unique_ptr<TjsonPersistent> record = ref.Create();
        EXPECT_EQ(record->ClassName(), ref.ClassName());
        texts.push_back(record->AsJSONString());
    }
    EXPECT_EQ(texts[0], R"({ "data" : [], "keySessID" : "", "signType" : "" })");
    EXPECT_EQ(TSignedItems().ItemClass().ClassName(), "TSignedItem");
}

TEST(JsonMembersTest, StringListText) {
    TStringList plain;
    TjsonStringList json;
    for (TStringList* list : std::initializer_list<TStringList*>{&plain, &json}) {
        list->SetText("a\r\nb\rc\n\nd\n");
        EXPECT_EQ(list->Lines(), (std::vector<std::string>{"a", "b", "c", "", "d"}));
    }
    EXPECT_EQ(plain.Text(), "a\nb\nc\n\nd\n");
    EXPECT_EQ(json.Text(), "a\nb\nc\n\nd");
    json.Clear();
    EXPECT_EQ(json.Text(), "");
    json.Add("x");
    json.Add("y");
    json.Delimiter = ';';
    EXPECT_EQ(json.DelimitedText(), "x;y");
    EXPECT_THROW(json.Delete(2), std::out_of_range);
}

}  // namespace
}  // namespace nelvo
