// JSON text: parsing through nlohmann/json with a bound on nesting, and the compact writer.
#include <array>
#include <charconv>
#include <cmath>

#include "api/U_PluginJSON_Internal.h"

namespace nelvo {

using json_detail::TDepthGuard;

namespace json_detail {

TDepthGuard::TDepthGuard(int& depth) : depth_(depth) {
    if (depth_ >= JSONMaxDepth) RaiseRTTI("JSON nesting deeper than {} levels", JSONMaxDepth);
    ++depth_;
}

// A whole float keeps a fraction ("2.0", "-0.0") so that it reads back as a float.
std::string FloatText(double value) {
    std::array<char, 32> buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    std::string text(buffer.data(), result.ptr);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

}  // namespace json_detail

std::string JSONTypeName(const TJSONData& value) {
    switch (value.type()) {
        case TJSONData::value_t::null:
            return "jtNull";
        case TJSONData::value_t::boolean:
            return "jtBoolean";
        case TJSONData::value_t::number_integer:
        case TJSONData::value_t::number_unsigned:
        case TJSONData::value_t::number_float:
            return "jtNumber";
        case TJSONData::value_t::string:
            return "jtString";
        case TJSONData::value_t::array:
            return "jtArray";
        case TJSONData::value_t::object:
            return "jtObject";
        default:
            return "jtUnknown";
    }
}

namespace {

// nlohmann's messages start with "[json.exception.parse_error.101] ": the rest is the text.
std::string ParseErrorText(const std::exception& e) {
    const std::string text = e.what();
    const std::size_t close = text.find("] ");
    return close == std::string::npos ? text : text.substr(close + 2);
}

// The parser itself keeps its own stack, but every walk over the tree afterwards recurses:
// a nesting bound keeps a hostile text from claiming the stack.
bool RefuseDeepNesting(int depth, TJSONData::parse_event_t event, TJSONData&) {
    const bool opens = event == TJSONData::parse_event_t::object_start ||
                       event == TJSONData::parse_event_t::array_start;
    if (opens && depth >= JSONMaxDepth)
        throw EJSON(fmt::format("JSON nesting deeper than {} levels", JSONMaxDepth));
    return true;
}

}  // namespace

TJSONData ParseJSON(std::string_view text) {
    try {
        return TJSONData::parse(text.begin(), text.end(), RefuseDeepNesting);
    } catch (const TJSONData::exception& e) {
        throw EJSON(ParseErrorText(e));
    }
}

namespace {

constexpr std::array<char, 256> EscapeTable() {
    std::array<char, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = 'u';
    table['\b'] = 'b';
    table['\t'] = 't';
    table['\n'] = 'n';
    table['\f'] = 'f';
    table['\r'] = 'r';
    table['"'] = '"';
    table['\\'] = '\\';
    table['/'] = '/';
    return table;
}
constexpr std::array<char, 256> Escapes = EscapeTable();

void AppendEscape(std::string& out, unsigned char c) {
    const char escape = Escapes[c];
    if (escape != 'u') {
        const char pair[2] = {'\\', escape};
        out.append(pair, 2);
        return;
    }
    static constexpr char Hex[] = "0123456789abcdef";
    const char code[6] = {'\\', 'u', '0', '0', Hex[c >> 4], Hex[c & 0xF]};
    out.append(code, 6);
}

// Runs of bytes that need no escape are appended whole. The room reserved covers a text with
// one escape in sixteen bytes (Base64 has a solidus in every 64) without a second growth.
void AppendString(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size() + text.size() / 16 + 2);
    out += '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (Escapes[c] == 0) continue;
        out.append(text.data() + run, i - run);
        AppendEscape(out, c);
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
    out += '"';
}

template <class N>
void AppendNumber(std::string& out, N value) {
    std::array<char, 32> buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

void AppendValue(std::string& out, const TJSONData& value, int& depth);

void AppendObject(std::string& out, const TJSONData& value, int& depth) {
    TDepthGuard guard(depth);
    if (value.empty()) {
        out += "{}";
        return;
    }
    out += "{ ";
    bool first = true;
    for (const auto& [name, member] : value.items()) {
        if (!first) out += ", ";
        first = false;
        AppendString(out, name);
        out += " : ";
        AppendValue(out, member, depth);
    }
    out += " }";
}

void AppendArray(std::string& out, const TJSONData& value, int& depth) {
    TDepthGuard guard(depth);
    out += '[';
    bool first = true;
    for (const TJSONData& element : value) {
        if (!first) out += ", ";
        first = false;
        AppendValue(out, element, depth);
    }
    out += ']';
}

void AppendValue(std::string& out, const TJSONData& value, int& depth) {
    switch (value.type()) {
        case TJSONData::value_t::object:
            return AppendObject(out, value, depth);
        case TJSONData::value_t::array:
            return AppendArray(out, value, depth);
        case TJSONData::value_t::string:
            return AppendString(out, value.get_ref<const std::string&>());
        case TJSONData::value_t::boolean:
            out += value.get<bool>() ? "true" : "false";
            return;
        case TJSONData::value_t::number_integer:
            return AppendNumber(out, value.get<std::int64_t>());
        case TJSONData::value_t::number_unsigned:
            return AppendNumber(out, value.get<std::uint64_t>());
        case TJSONData::value_t::number_float: {
            // JSON has no text for NaN and the infinities.
            const double number = value.get<double>();
            out += std::isfinite(number) ? json_detail::FloatText(number) : "null";
            return;
        }
        default:
            out += "null";
            return;
    }
}

}  // namespace

void AppendCompactJSON(std::string& out, const TJSONData& value) {
    int depth = 0;
    AppendValue(out, value, depth);
}

std::string JSONToCompactText(const TJSONData& value) {
    std::string out;
    AppendCompactJSON(out, value);
    return out;
}

}  // namespace nelvo
