// The reader: JSON trees into objects, member by member in position order.
#include "api/U_PluginJSON_Internal.h"
#include "tools/QxSysTools.h"

namespace nelvo {

using namespace json_detail;

namespace {

// One walk of the reader over a tree; depth counts the objects entered on the way down.
class TReadWalk {
public:
    explicit TReadWalk(TJSONDeStreamer& reader) : reader_(reader) {}

    void LoadTop(TJSONData& json, TPersistent& object);
    void LoadObject(TJSONData& json, TPersistent& object);
    void LoadProperty(TPersistent& object, const TPropInfo& member, TJSONData& value);

private:
    void LoadMembers(TJSONData& json, TPersistent& object);
    TJSONData* FindMember(TJSONData& json, const std::string& name);
    void StoreValue(TPersistent& object, const TPropInfo& member, TJSONData& value);
    void StoreEnum(TPersistent& object, const TPropInfo& member, const TJSONData& value);
    void StoreSet(TPersistent& object, const TPropInfo& member, const TJSONData& value);
    void StoreFloat(TPersistent& object, const TPropInfo& member, const TJSONData& value);
    void StoreObject(TPersistent& object, const TPropInfo& member, TJSONData& value);
    void LoadStrings(TJSONData& value, TStringList& list);
    void LoadStringObjects(TJSONData& value, TStringList& list);
    void LoadCollection(TJSONData& value, TCollection& collection);
    TVariant VariantOf(const TJSONData& value);
    int OrdinalOf(const TPropInfo& member, const TJSONData& value, const char* what);

    TJSONDeStreamer& reader_;
    int depth_ = 0;
};

// The top value of a text: an object for any object, an array only for a string list or a
// collection, a string only for a string list.
void TReadWalk::LoadTop(TJSONData& json, TPersistent& object) {
    auto* list = dynamic_cast<TStringList*>(&object);
    auto* collection = dynamic_cast<TCollection*>(&object);
    if (json.is_object()) return LoadObject(json, object);
    if (json.is_array()) {
        if (list) return LoadStrings(json, *list);
        if (collection) return LoadCollection(json, *collection);
        RaiseRTTI("JSON array cannot be streamed to object of class \"{}\"", object.ClassName());
    }
    if (json.is_string() && list) return LoadStrings(json, *list);
    RaiseRTTI("Cannot destream object from JSON data of type \"{}\"", JSONTypeName(json));
}

void TReadWalk::LoadObject(TJSONData& json, TPersistent& object) {
    TDepthGuard guard(depth_);
    if (reader_.BeforeLoadObject) reader_.BeforeLoadObject(reader_, object, json);
    if (auto* list = dynamic_cast<TStringList*>(&object)) {
        LoadStrings(json, *list);
    } else if (auto* collection = dynamic_cast<TCollection*>(&object)) {
        LoadCollection(json, *collection);
    } else {
        if (!json.is_object())
            RaiseRTTI("Cannot destream object from JSON data of type \"{}\"", JSONTypeName(json));
        LoadMembers(json, object);
    }
    if (reader_.AfterLoadObject) reader_.AfterLoadObject(reader_, object, json);
}

// JSON members that match no entry are not read; entries without a JSON member keep their
// values.
void TReadWalk::LoadMembers(TJSONData& json, TPersistent& object) {
    const TPropInfoList members(object, AllKindsButMethods(), false);
    for (const TPropInfo* member : members) {
        TJSONData* value = FindMember(json, member->Name);
        if (!value) continue;
        if (reader_.CaseInsensitiveNames) {
            // Two entries may match one JSON member here: each reads its own copy.
            TJSONData copy = *value;
            LoadProperty(object, *member, copy);
        } else {
            LoadProperty(object, *member, *value);
        }
    }
}

TJSONData* TReadWalk::FindMember(TJSONData& json, const std::string& name) {
    if (!reader_.CaseInsensitiveNames) {
        auto found = json.find(name);
        return found == json.end() ? nullptr : &*found;
    }
    for (auto& [key, value] : json.items())
        if (SameText(key, name)) return &value;
    return nullptr;
}

void TReadWalk::LoadProperty(TPersistent& object, const TPropInfo& member, TJSONData& value) {
    try {
        bool handled = false;
        if (reader_.OnLoadProperty) reader_.OnLoadProperty(reader_, object, member, value, handled);
        if (!handled) StoreValue(object, member, value);
    } catch (const std::exception& e) {
        bool handled = false;
        if (reader_.OnLoadPropertyError)
            reader_.OnLoadPropertyError(reader_, e, object, member, value, handled);
        else
            handled = reader_.SkipPropertyErrors;
        if (!handled) throw;
    }
}

template <class T>
void Store(TPersistent& object, const TPropInfo& member, T value) {
    const auto* access = std::get_if<TValueAccess<T>>(&member.Access);
    if (!access) RaiseRTTI("Unknown property kind for property : \"{}\"", member.Name);
    // A member without write access is written but never stored.
    if (access->set) access->set(object, std::move(value));
}

void TReadWalk::StoreValue(TPersistent& object, const TPropInfo& member, TJSONData& value) {
    using K = TTypeKind;
    switch (member.Kind) {
        case K::tkInteger:
            return Store(object, member, JSONToInt32(value));
        case K::tkInt64:
            return Store(object, member, JSONToInt64(value));
        case K::tkQWord:
            return Store(object, member, JSONToUInt64(value));
        case K::tkBool:
            return Store(object, member, JSONToBool(value));
        case K::tkChar: {
            const std::string text = JSONToString(value);
            if (!text.empty()) Store(object, member, text.front());
            return;
        }
        case K::tkEnumeration:
            return StoreEnum(object, member, value);
        case K::tkSet:
            return StoreSet(object, member, value);
        case K::tkFloat:
            return StoreFloat(object, member, value);
        case K::tkString:
        case K::tkWString:
            return Store(object, member, JSONToString(value));
        case K::tkVariant:
            return Store(object, member, VariantOf(value));
        case K::tkClass:
            return StoreObject(object, member, value);
        case K::tkMethod:
            RaiseRTTI("Unsupported property kind for property: \"{}\"", member.Name);
        default:
            RaiseRTTI("Unknown property kind for property : \"{}\"", member.Name);
    }
}

int TReadWalk::OrdinalOf(const TPropInfo& member, const TJSONData& value, const char* what) {
    const TEnumNames& names = *member.EnumNames;
    if (value.is_number()) {
        const std::int64_t ordinal = JSONToInt64(value);
        if (ordinal < 0 || static_cast<std::uint64_t>(ordinal) >= names.size())
            RaiseRTTI("{} is not a valid ordinal for {} property \"{}\"", ordinal, what,
                      member.Name);
        return static_cast<int>(ordinal);
    }
    // Value names are identifiers: letter case does not tell them apart.
    const auto& text = value.get_ref<const std::string&>();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (SameText(names[i], text)) return static_cast<int>(i);
    RaiseRTTI("\"{}\" is not a valid value for {} property \"{}\"", text, what, member.Name);
}

void TReadWalk::StoreEnum(TPersistent& object, const TPropInfo& member, const TJSONData& value) {
    if (!value.is_number() && !value.is_string())
        RaiseRTTI("Unsupported JSON type for enumerated property \"{}\" : \"{}\"", member.Name,
                  JSONTypeName(value));
    Store(object, member, TEnumOrdinal{OrdinalOf(member, value, "enumerated")});
}

// A set is a text of value names ("a,b", "[a, b]") or an array of names or ordinals.
void TReadWalk::StoreSet(TPersistent& object, const TPropInfo& member, const TJSONData& value) {
    std::uint64_t bits = 0;
    auto include = [&](const TJSONData& element) {
        if (!element.is_number() && !element.is_string())
            RaiseRTTI("Unsupported JSON type for set property \"{}\" : \"{}\"", member.Name,
                      JSONTypeName(element));
        bits |= std::uint64_t{1} << OrdinalOf(member, element, "set");
    };
    if (value.is_string()) {
        std::string text = Trim(value.get_ref<const std::string&>());
        if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
            text = Trim(std::string_view(text).substr(1, text.size() - 2));
        for (std::size_t start = 0; !text.empty() && start <= text.size();) {
            const std::size_t comma = std::min(text.find(',', start), text.size());
            include(TJSONData(Trim(std::string_view(text).substr(start, comma - start))));
            start = comma + 1;
        }
    } else if (value.is_array()) {
        for (const TJSONData& element : value) include(element);
    } else {
        RaiseRTTI("Unsupported JSON type for set property \"{}\" : \"{}\"", member.Name,
                  JSONTypeName(value));
    }
    Store(object, member, TSetBits{bits});
}

void TReadWalk::StoreFloat(TPersistent& object, const TPropInfo& member, const TJSONData& value) {
    if (!member.IsDateTime()) return Store(object, member, JSONToFloat(value));
    if (!value.is_string()) return Store(object, member, SerialToDateTime(JSONToFloat(value)));
    const auto& text = value.get_ref<const std::string&>();
    const std::string& format = reader_.DateTimeFormat;
    TDateTime parsed;
    bool ok = TryParseDateTime(text, format.empty() ? DefaultJSONDateTimeFormat : format, parsed);
    // The host's own date-time, date and time forms, when no pattern was set.
    for (const char* form : {"yyyy-mm-dd hh:nn:ss", "yyyy-mm-dd", "hh:nn:ss"})
        if (!ok && format.empty()) ok = TryParseDateTime(text, form, parsed);
    if (!ok) RaiseRTTI("\"{}\" is not a valid date and time", text);
    Store(object, member, parsed);
}

void TReadWalk::StoreObject(TPersistent& object, const TPropInfo& member, TJSONData& value) {
    const auto* access = std::get_if<TObjectAccess>(&member.Access);
    if (!access) RaiseRTTI("Unknown property kind for property : \"{}\"", member.Name);
    TPersistent* held = access->getMutable(object);
    if (auto* list = dynamic_cast<TStringList*>(held)) return LoadStrings(value, *list);
    if (auto* collection = dynamic_cast<TCollection*>(held))
        return LoadCollection(value, *collection);
    if (!held) {
        if (!value.is_string() && !value.is_object())
            RaiseRTTI("Unsupported JSON type for object property: \"{}\"", JSONTypeName(value));
        std::unique_ptr<TPersistent> instance;
        if (reader_.OnCreateObject)
            instance = reader_.OnCreateObject(reader_, object, &member, value, member.Name);
        // A read-only member keeps holding nothing; the instance goes.
        if (instance && access->set && !access->set(object, instance))
            RaiseRTTI("An object of class \"{}\" cannot be stored in property \"{}\"",
                      instance->ClassName(), member.Name);
        held = access->getMutable(object);
    }
    if (held && value.is_object()) LoadObject(value, *held);
}

void TReadWalk::LoadStrings(TJSONData& value, TStringList& list) {
    if (value.is_string()) return list.SetText(value.get_ref<const std::string&>());
    if (value.is_array()) {
        list.Clear();
        for (std::size_t i = 0; i < value.size(); ++i) {
            TJSONData& element = value[i];
            if (!element.is_string())
                RaiseRTTI("Array element {} is not a valid type for a stringlist item: \"{}\"", i,
                          JSONTypeName(element));
            list.Add(std::move(element.get_ref<std::string&>()));
        }
        return;
    }
    if (value.is_object()) {
        const bool wrapped = value.size() == 1 && value.contains("Strings");
        if (wrapped && value["Strings"].is_array()) return LoadStrings(value["Strings"], list);
        return LoadStringObjects(value, list);
    }
    RaiseRTTI("Unsupported JSON type for stringlists: \"{}\"", JSONTypeName(value));
}

// An object: each member a line, its value the line's attached object.
void TReadWalk::LoadStringObjects(TJSONData& value, TStringList& list) {
    list.Clear();
    for (auto& [name, element] : value.items()) {
        std::unique_ptr<TPersistent> instance;
        if (element.is_object()) {
            if (reader_.OnCreateObject)
                instance = reader_.OnCreateObject(reader_, list, nullptr, element, name);
        } else if (!element.is_null()) {
            RaiseRTTI("Object Element {} is not a valid type for a stringlist object: \"{}\"", name,
                      JSONTypeName(element));
        }
        list.AddObject(name, std::move(instance));
    }
}

void TReadWalk::LoadCollection(TJSONData& value, TCollection& collection) {
    TJSONData* elements = &value;
    if (value.is_object()) {
        auto items = value.find("Items");
        elements = items != value.end() && items->is_array() ? &*items : nullptr;
    }
    if (!elements || !elements->is_array())
        RaiseRTTI("Unsupported JSON type for collections: \"{}\"", JSONTypeName(value));
    collection.Clear();
    for (std::size_t i = 0; i < elements->size(); ++i) {
        TJSONData& element = (*elements)[i];
        if (!element.is_object())
            RaiseRTTI("Array element {} is not a valid type for a collection item: \"{}\"", i,
                      JSONTypeName(element));
        LoadObject(element, collection.Add());
    }
}

TVariant TReadWalk::VariantOf(const TJSONData& value) {
    switch (value.type()) {
        case TJSONData::value_t::null:
            return TVariant::Null();
        case TJSONData::value_t::boolean:
            return TVariant(value.get<bool>());
        case TJSONData::value_t::number_integer: {
            const auto number = value.get<std::int64_t>();
            if (number >= INT32_MIN && number <= INT32_MAX)
                return TVariant(static_cast<int>(number));
            return TVariant(number);
        }
        case TJSONData::value_t::number_unsigned: {
            const auto number = value.get<std::uint64_t>();
            if (number <= INT32_MAX) return TVariant(static_cast<int>(number));
            if (number <= INT64_MAX) return TVariant(static_cast<std::int64_t>(number));
            return TVariant(number);
        }
        case TJSONData::value_t::number_float:
            return TVariant(value.get<double>());
        case TJSONData::value_t::string:
            return TVariant(value.get<std::string>());
        case TJSONData::value_t::array: {
            TDepthGuard guard(depth_);
            std::vector<TVariant> elements;
            elements.reserve(value.size());
            for (const TJSONData& element : value) elements.push_back(VariantOf(element));
            return TVariant::Array(std::move(elements));
        }
        default:
            RaiseRTTI("Unsupported JSON type for variant value : \"{}\"", JSONTypeName(value));
    }
}

}  // namespace

void TJSONDeStreamer::LoadObject(std::string_view text, TPersistent& object) {
    TJSONData json = ParseJSON(text);
    TReadWalk(*this).LoadTop(json, object);
}

void TJSONDeStreamer::LoadObject(TJSONData& json, TPersistent& object) {
    TReadWalk(*this).LoadObject(json, object);
}

void TJSONDeStreamer::LoadProperty(TPersistent& object, const TPropInfo& member, TJSONData& value) {
    TReadWalk(*this).LoadProperty(object, member, value);
}

}  // namespace nelvo
