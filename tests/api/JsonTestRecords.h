// Small records shaped like the host's own: a result envelope with a collection payload, a
// request with plain-object members and a reading hook, a command with a writing hook, and a
// record with one member of every kind.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "api/U_PluginJSON.h"

namespace nelvo::test {

// The message of the exception of class E that f raises; a test failure when it raises none.
template <class E, class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    ADD_FAILURE() << "nothing raised";
    return {};
}

// --- results ---------------------------------------------------------------------------------

class TResultError : public TPersistent {
public:
    std::int32_t code = 0;
    std::string text = "success";
    static const TMemberTable& Table() {
        static const TMemberTable table{Field("code", &TResultError::code),
                                        Field("text", &TResultError::text)};
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

class TSignedItem : public TCollectionItem {
public:
    std::string signType;
    std::string data;
    static const TMemberTable& Table() {
        static const TMemberTable table{Field("signType", &TSignedItem::signType),
                                        Field("data", &TSignedItem::data)};
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};
class TSignedItems : public TCollectionOf<TSignedItem> {};

class TResultBase : public TjsonPersistent {
public:
    TResultError error;
    static const TMemberTable& Table() {
        static const TMemberTable table =
            TjsonPersistent::Table().Extend({ReadOnlyObject("error", &TResultBase::error)});
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

class TResultSign : public TResultBase {
public:
    std::unique_ptr<TSignedItems> data = std::make_unique<TSignedItems>();
    static const TMemberTable& Table() {
        static const TMemberTable table =
            TResultBase::Table().Extend({ReadOnlyObject("data", &TResultSign::data)});
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

class TResultSignPreInit : public TResultSign {
public:
    std::string keySessID;
    static const TMemberTable& Table() {
        static const TMemberTable table =
            TResultSign::Table().Extend({Field("keySessID", &TResultSignPreInit::keySessID)});
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

// --- requests --------------------------------------------------------------------------------

class TProviderInfo : public TPersistent {
public:
    std::string providerName;
    std::int32_t providerType = 0;
    static const TMemberTable& Table() {
        static const TMemberTable table{Field("providerName", &TProviderInfo::providerName),
                                        Field("providerType", &TProviderInfo::providerType)};
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

class TContainerInfo : public TPersistent {
public:
    std::string _type;
    static const TMemberTable& Table() {
        static const TMemberTable table{Field("_type", &TContainerInfo::_type)};
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

class TContainerInfoFile : public TContainerInfo {
public:
    std::string keyFile;
    static const TMemberTable& Table() {
        static const TMemberTable table =
            TContainerInfo::Table().Extend({Field("keyFile", &TContainerInfoFile::keyFile)});
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

// Its reading hook creates the container description from the kind the JSON names, as the
// key-initialisation request does.
class TInitKey : public TjsonPersistent, public IjsonPropertyReader {
public:
    std::unique_ptr<TProviderInfo> providerInfo = std::make_unique<TProviderInfo>();
    std::string X509data;
    std::unique_ptr<TContainerInfo> containerInfo;  // none until read
    int hookCalls = 0;

    static const TMemberTable& Table() {
        static const TMemberTable table = TjsonPersistent::Table().Extend({
            ReadOnlyObject("providerInfo", &TInitKey::providerInfo),
            Field("X509data", &TInitKey::X509data),
            ReadOnlyObject("containerInfo", &TInitKey::containerInfo),
        });
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }

    void ReadProperty(TJSONDeStreamer&, TPersistent&, const TPropInfo& member,
                      const TJSONData& value, bool&) override {
        ++hookCalls;
        if (member.Name != "containerInfo") return;
        if (value.is_object() && value.value("_type", "") == "File")
            containerInfo = std::make_unique<TContainerInfoFile>();
        else
            containerInfo = std::make_unique<TContainerInfo>();
    }
};

// A base that owns a list its descendants publish.
class TSignBase : public TjsonPersistent {
public:
    TjsonStringList data;
    static const TMemberTable& Table() {
        static const TMemberTable table =
            TjsonPersistent::Table().Extend({ReadOnlyObject("data", &TSignBase::data)});
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

class TSign : public TSignBase {
public:
    std::string keySessID;
    std::string signType;
    static const TMemberTable& Table() {
        static const TMemberTable table = TSignBase::Table().Extend({
            Field("keySessID", &TSign::keySessID), Field("signType", &TSign::signType),
            ReadOnlyObject("data", &TSign::data),  // declared again: keeps the base position
        });
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

class TSignPreInit : public TSignBase {
public:
    std::unique_ptr<TInitKey> keyInfo = std::make_unique<TInitKey>();
    std::string signType;
    static const TMemberTable& Table() {
        static const TMemberTable table = TSignBase::Table().Extend({
            Field("keyInfo", &TSignPreInit::keyInfo),
            Field("signType", &TSignPreInit::signType),
            ReadOnlyObject("data", &TSignPreInit::data),
        });
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

// --- commands --------------------------------------------------------------------------------

// Writes Params as an array of one-member objects, split at the first "=".
class TCommand : public TjsonPersistent, public IjsonPropertyWriter {
public:
    std::string ID;
    std::string Plugin;
    std::string Method;
    TjsonStringList Params;
    static const TMemberTable& Table() {
        static const TMemberTable table = TjsonPersistent::Table().Extend({
            Field("ID", &TCommand::ID),
            Field("Plugin", &TCommand::Plugin),
            Field("Method", &TCommand::Method),
            ReadOnlyObject("Params", &TCommand::Params),
        });
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }

    void WriteProperty(const TJSONStreamer&, const TPersistent& object, const TPropInfo& member,
                       std::optional<TJSONData>& value) const override {
        if (&object != this || member.Name != "Params") return;
        TJSONData params = TJSONData::array();
        for (const std::string& line : Params.Lines()) {
            const std::size_t eq = line.find('=');
            TJSONData param = TJSONData::object();
            param[line.substr(0, eq)] = eq == std::string::npos ? "" : line.substr(eq + 1);
            params.push_back(std::move(param));
        }
        value = std::move(params);
    }
};

// Holds a command as a plain member: the command's hook must not run for it.
class TCommandHolder : public TjsonPersistent {
public:
    TCommand command;
    static const TMemberTable& Table() {
        static const TMemberTable table =
            TjsonPersistent::Table().Extend({ReadOnlyObject("command", &TCommandHolder::command)});
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

// --- every kind ------------------------------------------------------------------------------

enum class TMode { mdOff, mdOn, mdAuto };
inline const TEnumNames ModeNames{"mdOff", "mdOn", "mdAuto"};

class TAllKinds : public TjsonPersistent {
public:
    std::int32_t integer = 0;
    std::int64_t int64 = 0;
    std::uint64_t qword = 0;
    bool flag = false;
    char letter = 'a';
    TMode mode = TMode::mdOff;
    TSet<TMode> modes;
    double real = 0;
    TDateTime stamp;
    std::string text;
    std::string wide;
    TVariant any;
    std::unique_ptr<TProviderInfo> object;  // writable, none until given
    TjsonStringList lines;
    TSignedItems items;

    static const TMemberTable& Table() {
        static const TMemberTable table = TjsonPersistent::Table().Extend({
            Field("integer", &TAllKinds::integer),
            Field("int64", &TAllKinds::int64),
            Field("qword", &TAllKinds::qword),
            Field("flag", &TAllKinds::flag),
            Field("letter", &TAllKinds::letter),
            EnumField("mode", &TAllKinds::mode, ModeNames),
            SetField("modes", &TAllKinds::modes, ModeNames),
            Field("real", &TAllKinds::real),
            Field("stamp", &TAllKinds::stamp),
            Field("text", &TAllKinds::text),
            WideField("wide", &TAllKinds::wide),
            Field("any", &TAllKinds::any),
            Field("object", &TAllKinds::object),
            ReadOnlyObject("lines", &TAllKinds::lines),
            ReadOnlyObject("items", &TAllKinds::items),
        });
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

}  // namespace nelvo::test
