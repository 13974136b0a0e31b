// Request bodies and plugin replies are outside input. Any bytes must read into a record or
// fail with the host's own exceptions; what was read must write, read back and write again to
// the same text; and the compact text of any parsed tree must parse back to the same tree.
#include <cstdint>
#include <memory>
#include <string_view>

#include "api/U_PluginJSON.h"

namespace {

using namespace nelvo;

class TFuzzInfo : public TPersistent {
public:
    std::string name;
    std::int32_t type = 0;
    static const TMemberTable& Table() {
        static const TMemberTable table{Field("name", &TFuzzInfo::name),
                                        Field("type", &TFuzzInfo::type)};
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

class TFuzzItem : public TCollectionItem {
public:
    std::string data;
    std::unique_ptr<TFuzzInfo> info = std::make_unique<TFuzzInfo>();
    static const TMemberTable& Table() {
        static const TMemberTable table{Field("data", &TFuzzItem::data),
                                        ReadOnlyObject("info", &TFuzzItem::info)};
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

enum class TFuzzMode { fmA, fmB, fmC };
const TEnumNames FuzzModeNames{"fmA", "fmB", "fmC"};

// Every kind but the character, whose single byte of a multi-byte text is no UTF-8 on its own.
class TFuzzRecord : public TjsonPersistent {
public:
    std::int32_t integer = 0;
    std::int64_t int64 = 0;
    std::uint64_t qword = 0;
    bool flag = false;
    TFuzzMode mode = TFuzzMode::fmA;
    TSet<TFuzzMode> modes;
    double real = 0;
    TDateTime stamp;
    std::string text;
    TVariant any;
    std::unique_ptr<TFuzzInfo> info = std::make_unique<TFuzzInfo>();
    TjsonStringList lines;
    TCollectionOf<TFuzzItem> items;

    static const TMemberTable& Table() {
        static const TMemberTable table = TjsonPersistent::Table().Extend({
            Field("integer", &TFuzzRecord::integer),
            Field("int64", &TFuzzRecord::int64),
            Field("qword", &TFuzzRecord::qword),
            Field("flag", &TFuzzRecord::flag),
            EnumField("mode", &TFuzzRecord::mode, FuzzModeNames),
            SetField("modes", &TFuzzRecord::modes, FuzzModeNames),
            Field("real", &TFuzzRecord::real),
            Field("stamp", &TFuzzRecord::stamp),
            Field("text", &TFuzzRecord::text),
            Field("any", &TFuzzRecord::any),
            ReadOnlyObject("info", &TFuzzRecord::info),
            ReadOnlyObject("lines", &TFuzzRecord::lines),
            ReadOnlyObject("items", &TFuzzRecord::items),
        });
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

// Both hooks, and a member that holds nothing until its hook creates it: written as null,
// which does not read back, so this record only has to read and write.
class TFuzzCommand : public TjsonPersistent,
                     public IjsonPropertyReader,
                     public IjsonPropertyWriter {
public:
    std::string ID;
    TjsonStringList Params;
    std::unique_ptr<TFuzzInfo> created;
    static const TMemberTable& Table() {
        static const TMemberTable table = TjsonPersistent::Table().Extend({
            Field("ID", &TFuzzCommand::ID),
            ReadOnlyObject("Params", &TFuzzCommand::Params),
            ReadOnlyObject("created", &TFuzzCommand::created),
        });
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }

    void ReadProperty(TJSONDeStreamer&, TPersistent& object, const TPropInfo& member,
                      const TJSONData& value, bool&) override {
        if (&object == this && member.Name == "created" && value.is_object())
            created = std::make_unique<TFuzzInfo>();
    }
    void WriteProperty(const TJSONStreamer&, const TPersistent& object, const TPropInfo& member,
                       std::optional<TJSONData>& value) const override {
        if (&object != this || member.Name != "Params") return;
        TJSONData params = TJSONData::array();
        for (const std::string& line : Params.Lines()) {
            const std::size_t eq = line.find('=');
            params.push_back({{line.substr(0, eq), eq == line.npos ? "" : line.substr(eq + 1)}});
        }
        value = std::move(params);
    }
};

[[noreturn]] void Fail() {
    __builtin_trap();
}

// Reads the text; false when it fails with one of the host's exceptions. Any other exception
// escapes and libFuzzer reports it.
bool Read(TjsonPersistent& record, std::string_view text) {
    try {
        return record.LoadFromJSON(text);
    } catch (const nelvo::Exception&) {
        return false;
    }
}

void CheckCompactText(std::string_view text) {
    TJSONData tree;
    try {
        tree = ParseJSON(text);
    } catch (const EJSON&) {
        return;
    }
    if (ParseJSON(JSONToCompactText(tree)) != tree) Fail();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckCompactText(text);
    TFuzzCommand command;
    if (Read(command, text)) command.AsJSONString();
    TFuzzRecord record;
    if (!Read(record, text)) return 0;
    const std::string written = record.AsJSONString();
    TFuzzRecord again;
    if (!Read(again, written) || again.AsJSONString() != written) Fail();
    return 0;
}
