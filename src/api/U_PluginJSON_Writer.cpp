// The writer: objects to JSON trees, member by member in position order.
#include "api/U_PluginJSON_Internal.h"
#include "tools/QxSysTools.h"

namespace nelvo {

using namespace json_detail;

namespace {

bool Has(const TJSONStreamer& writer, TJSONStreamOption option) {
    return writer.Options.Contains(option);
}

// One walk of the writer over an object and what it holds; depth counts the arrays and
// objects made on the way down.
class TWriteWalk {
public:
    explicit TWriteWalk(const TJSONStreamer& writer) : writer_(writer) {}

    TJSONData SaveObject(const TPersistent& object);
    std::optional<TJSONData> SaveProperty(const TPersistent& object, const TPropInfo& member);

private:
    TJSONData MemberValue(const TPersistent& object, const TPropInfo& member);
    TJSONData ObjectValue(const TPersistent* object);
    TJSONData StringsValue(const TStringList& list);
    TJSONData CollectionValue(const TCollection& collection);
    TJSONData EnumValue(const TPropInfo& member, int ordinal);
    TJSONData SetValue(const TPropInfo& member, std::uint64_t bits);
    TJSONData DateTimeValue(const TDateTime& value);
    TJSONData VariantValue(const TVariant& value);
    void SaveMembers(const TPersistent& object, TJSONData& json);

    const TJSONStreamer& writer_;
    int depth_ = 0;
};

TJSONData TWriteWalk::SaveObject(const TPersistent& object) {
    TDepthGuard guard(depth_);
    TJSONData json = TJSONData::object();
    if (writer_.BeforeStreamObject) writer_.BeforeStreamObject(writer_, object, json);
    if (const auto* list = dynamic_cast<const TStringList*>(&object)) {
        json["Strings"] = StringsValue(*list);
    } else if (const auto* collection = dynamic_cast<const TCollection*>(&object)) {
        json["Items"] = CollectionValue(*collection);
    } else {
        SaveMembers(object, json);
        if (writer_.AfterStreamObject) writer_.AfterStreamObject(writer_, object, json);
    }
    return json;
}

// Every member is written, whatever its value: there is no default-value filtering.
void TWriteWalk::SaveMembers(const TPersistent& object, TJSONData& json) {
    const TPropInfoList members(object, AllKindsButMethods(), false);
    const bool lower = Has(writer_, TJSONStreamOption::jsoLowerPropertyNames);
    for (const TPropInfo* member : members) {
        std::optional<TJSONData> value = SaveProperty(object, *member);
        if (value) json[lower ? LowerCase(member->Name) : member->Name] = std::move(*value);
    }
}

std::optional<TJSONData> TWriteWalk::SaveProperty(const TPersistent& object,
                                                  const TPropInfo& member) {
    std::optional<TJSONData> value = MemberValue(object, member);
    if (writer_.OnStreamProperty) writer_.OnStreamProperty(writer_, object, member, value);
    return value;
}

template <class T>
const TValueAccess<T>& Access(const TPropInfo& member) {
    if (const auto* access = std::get_if<TValueAccess<T>>(&member.Access)) return *access;
    RaiseRTTI("Unsupported property kind for property: \"{}\"", member.Name);
}

TJSONData TWriteWalk::MemberValue(const TPersistent& object, const TPropInfo& member) {
    using K = TTypeKind;
    switch (member.Kind) {
        case K::tkInteger:
            return Access<std::int32_t>(member).get(object);
        case K::tkInt64:
            return Access<std::int64_t>(member).get(object);
        // Written as an unsigned integer, not as a float: a float loses digits above 2^53.
        case K::tkQWord:
            return Access<std::uint64_t>(member).get(object);
        case K::tkBool:
            return Access<bool>(member).get(object);
        case K::tkChar:
            return std::string(1, Access<char>(member).get(object));
        case K::tkEnumeration:
            return EnumValue(member, Access<TEnumOrdinal>(member).get(object).value);
        case K::tkSet:
            return SetValue(member, Access<TSetBits>(member).get(object).bits);
        case K::tkFloat:
            if (member.IsDateTime()) return DateTimeValue(Access<TDateTime>(member).get(object));
            return Access<double>(member).get(object);
        case K::tkString:
        case K::tkWString:
            return Access<std::string>(member).get(object);
        case K::tkVariant:
            return VariantValue(Access<TVariant>(member).get(object));
        case K::tkClass:
            if (const auto* access = std::get_if<TObjectAccess>(&member.Access))
                return ObjectValue(access->get(object));
            break;
        default:
            break;
    }
    RaiseRTTI("Unsupported property kind for property: \"{}\"", member.Name);
}

// A member's object: its own writer is not used, so its own hook does not run.
TJSONData TWriteWalk::ObjectValue(const TPersistent* object) {
    if (!object) return nullptr;
    if (const auto* list = dynamic_cast<const TStringList*>(object)) return StringsValue(*list);
    if (const auto* collection = dynamic_cast<const TCollection*>(object))
        return CollectionValue(*collection);
    return SaveObject(*object);
}

TJSONData TWriteWalk::StringsValue(const TStringList& list) {
    TDepthGuard guard(depth_);
    if (Has(writer_, TJSONStreamOption::jsoTStringsAsArray)) {
        TJSONData array = TJSONData::array();
        array.get_ref<TJSONData::array_t&>().reserve(static_cast<std::size_t>(list.Count()));
        for (int i = 0; i < list.Count(); ++i) array.push_back(list[i]);
        return array;
    }
    if (Has(writer_, TJSONStreamOption::jsoTStringsAsObject)) {
        TJSONData json = TJSONData::object();
        for (int i = 0; i < list.Count(); ++i) json[list[i]] = ObjectValue(list.Objects(i));
        return json;
    }
    return list.Text();
}

TJSONData TWriteWalk::CollectionValue(const TCollection& collection) {
    TDepthGuard guard(depth_);
    TJSONData array = TJSONData::array();
    for (int i = 0; i < collection.Count(); ++i) array.push_back(SaveObject(collection.Items(i)));
    return array;
}

TJSONData TWriteWalk::EnumValue(const TPropInfo& member, int ordinal) {
    const TEnumNames& names = *member.EnumNames;
    if (ordinal < 0 || static_cast<std::size_t>(ordinal) >= names.size())
        RaiseRTTI("{} is not a valid ordinal for enumerated property \"{}\"", ordinal, member.Name);
    if (Has(writer_, TJSONStreamOption::jsoEnumeratedAsInteger)) return ordinal;
    return names[static_cast<std::size_t>(ordinal)];
}

TJSONData TWriteWalk::SetValue(const TPropInfo& member, std::uint64_t bits) {
    const TEnumNames& names = *member.EnumNames;
    const bool asString = Has(writer_, TJSONStreamOption::jsoSetAsString);
    const bool asNumbers = Has(writer_, TJSONStreamOption::jsoSetEnumeratedAsInteger);
    TJSONData array = TJSONData::array();
    std::string text;
    for (std::size_t ordinal = 0; ordinal < 64; ++ordinal) {
        if ((bits & (std::uint64_t{1} << ordinal)) == 0) continue;
        if (ordinal >= names.size())
            RaiseRTTI("{} is not a valid ordinal for set property \"{}\"", ordinal, member.Name);
        if (asString) {
            if (!text.empty()) text += ',';
            text += names[ordinal];
        } else if (asNumbers) {
            array.push_back(ordinal);
        } else {
            array.push_back(names[ordinal]);
        }
    }
    if (!asString) return array;
    return Has(writer_, TJSONStreamOption::jsoSetBrackets) ? "[" + text + "]" : text;
}

TJSONData TWriteWalk::DateTimeValue(const TDateTime& value) {
    if (!Has(writer_, TJSONStreamOption::jsoDateTimeAsString)) return DateTimeToSerial(value);
    if (Has(writer_, TJSONStreamOption::jsoCheckEmptyDateTime) && IsZeroDateTime(value)) return "";
    const std::string& format = writer_.DateTimeFormat;
    return FormatDateTime(format.empty() ? DefaultJSONDateTimeFormat : format, value);
}

TJSONData TWriteWalk::VariantValue(const TVariant& value) {
    if (value.IsArray()) {
        TDepthGuard guard(depth_);
        TJSONData array = TJSONData::array();
        for (const TVariant& element : value.Elements()) array.push_back(VariantValue(element));
        return array;
    }
    const auto& payload = value.Value();
    switch (value.VarType()) {
        case varEmpty:
        case varNull:
            return nullptr;
        case varSmallint:
        case varInteger:
        case varShortInt:
        case varByte:
        case varWord:
        case varLongWord:
        case varInt64:
            if (const auto* i = std::get_if<std::int64_t>(&payload)) return *i;
            break;
        case varUInt64:
            if (const auto* u = std::get_if<std::uint64_t>(&payload)) return *u;
            break;
        case varSingle:
        case varDouble:
            if (const auto* d = std::get_if<double>(&payload)) return *d;
            break;
        case varCurrency:
            if (const auto* c = std::get_if<TCurrency>(&payload)) return c->scaled / 10000.0;
            break;
        case varBoolean:
            if (const auto* b = std::get_if<bool>(&payload)) return *b;
            break;
        case varOleStr:
        case varString:
        case varUString:
            if (const auto* s = std::get_if<std::string>(&payload)) return *s;
            break;
        default:
            break;
    }
    RaiseRTTI("Unsupported variant type : {}", static_cast<int>(value.VarType()));
}

}  // namespace

TJSONData TJSONStreamer::SaveObject(const TPersistent& object) const {
    return TWriteWalk(*this).SaveObject(object);
}

std::optional<TJSONData> TJSONStreamer::SaveProperty(const TPersistent& object,
                                                     const TPropInfo& member) const {
    return TWriteWalk(*this).SaveProperty(object, member);
}

}  // namespace nelvo
