// The text of a record: head line, data id and body.
#include <algorithm>
#include <array>
#include <cstdint>
#include <type_traits>

#include "log/QxPluginLogerBase.h"
#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

constexpr const char* kCrLf = "\r\n";

// An entry of the body: one name with its value, closed by a line break.
std::string Entry(const std::string& name, const std::string& value) {
    return FormatNameValue(name, value, "") + kCrLf;
}

std::string ClassNameOrEmpty(const TObject* object) {
    return object ? object->ClassName() : std::string();
}

}  // namespace

std::string TraceTypeToString(TQxLogerTraceType type) {
    static constexpr std::array<const char*, 8> kNames = {
        "StartExecFunction", "EndExecFunction", "Message", "Error",
        "SetProperty",       "GetProperty",     "Create",  "Destroy",
    };
    const auto index = static_cast<std::underlying_type_t<TQxLogerTraceType>>(type);
    if (index < 0 || static_cast<std::size_t>(index) >= kNames.size())
        throw EQxPluginLoger("Wrong TraceType " + std::to_string(index) + " on TraceTypeToString");
    return kNames[static_cast<std::size_t>(index)];
}

std::string FormatNameValue(const std::string& name, const std::string& value,
                            const std::string& indent) {
    if (value.find(kCrLf) == std::string::npos) return name + ": " + value;
    const std::string indented = IndentLines(value, indent, kCrLf);
    return name + ":#" + std::to_string(indent.size()) + "\\" + std::to_string(indented.size()) +
           kCrLf + indented;
}

std::string TQxPluginLogerBase::ObjectToString(const TObject* object) const {
    if (!object) return {};
    return object->ClassName() + "(0x" + IntToHex(reinterpret_cast<std::uintptr_t>(object), 4) +
           ")";
}

std::string TQxPluginLogerBase::ObjectText(const TObject* object) const {
    if (!object) return {};
    return "Object=\"" + ObjectToString(object) + "\"";
}

// Objects come typed (a pointer to a TObject picks that alternative), so an untyped pointer is
// shown as an address: reading an object header from an arbitrary address is not safe.
std::string TQxPluginLogerBase::ValueText(const TVarRec& value) const {
    if (const auto* object = std::get_if<const TObject*>(&value.value)) return ObjectText(*object);
    if (const auto* pointer = std::get_if<const void*>(&value.value))
        return "Pointer(" + IntToHex(reinterpret_cast<std::uintptr_t>(*pointer), 8) + ")";
    return ValueToText(value);
}

std::string TQxPluginLogerBase::FormatParams(const TNames& names, const TValues& values) const {
    std::string text;
    const std::size_t count = std::max(names.size(), values.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::string name = i < names.size() ? names[i] : "Param" + std::to_string(i + 1);
        const std::string value = i < values.size() ? ValueText(values[i]) : std::string();
        text += FormatNameValue(name, value, " ") + kCrLf;
    }
    return text;
}

TQxTraceRecord TQxPluginLogerBase::FormatRecord(const TObject* sender, TQxLogerTraceType type,
                                                const std::string& msg, const TNames& names,
                                                const TValues& values) const {
    const std::string typeName = TraceTypeToString(type);
    const auto paramBlock = [&] {
        const std::string params = FormatParams(names, values);
        return params.empty() ? std::string() : FormatNameValue("Params", params, " ");
    };
    const auto firstValue = [&](const char* name) {
        return values.empty() ? std::string() : Entry(name, ValueText(values.front()));
    };
    switch (type) {
        case TQxLogerTraceType::ttStartExecFunction:
            return {typeName + " " + msg, paramBlock()};
        case TQxLogerTraceType::ttEndExecFunction:
            return {typeName + " " + msg, firstValue("Result")};
        case TQxLogerTraceType::ttMessage:
        case TQxLogerTraceType::ttError:
            return {typeName, (msg.empty() ? std::string() : Entry("Value", msg)) + paramBlock()};
        case TQxLogerTraceType::ttSetProperty:
            return {typeName + " " + msg, firstValue("Value")};
        case TQxLogerTraceType::ttGetProperty:
            return {typeName + " " + msg, firstValue("Result")};
        case TQxLogerTraceType::ttCreate:
            return {typeName + " " + ClassNameOrEmpty(sender), paramBlock()};
        case TQxLogerTraceType::ttDestroy:
            return {typeName + " " + ClassNameOrEmpty(sender), std::string()};
    }
    return {typeName, std::string()};
}

std::string TQxPluginLogerBase::FormatHeadLine(const TObject* sender,
                                               const TQxTraceRecord& record) const {
    std::string head = FormatDateTime("[yyyy.mm.dd hh:nn:ss:zzz]", Now());
    if (sender) head += "[TraceID: " + ObjectToString(sender) + "]";
    head += "[ThreadID: 0x" + IntToHex(platform::CurrentThreadId(), 4) + "]";
    head += "[DataID: " + record.dataId + "]";
    head += "[ObjectInfo: " + ObjectText(sender) + "]";
    if (!record.body.empty()) head += std::to_string(record.body.size());
    return head + kCrLf;
}

}  // namespace nelvo
