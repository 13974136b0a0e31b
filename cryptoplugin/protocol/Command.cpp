#include "protocol/Command.h"

#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

namespace nelvo::cryptoplugin {

namespace {

// Ordered, so that parameters keep the order the caller wrote them in.
using Json = nlohmann::ordered_json;

// A document to sign arrives as one long Base64 member value. The JSON reader looks at such a
// value byte by byte, which costs many times the signature itself, so long member values of
// plain printable ASCII (no escapes) are lifted out before the tree is built: the reader sees a
// short placeholder, and the value is taken back as it stands. Lifting a valid literal for
// another valid literal changes nothing else the reader sees. The placeholder is a string that
// starts with U+0001, which a text can only hold written as the escape "\u0001": a text that
// holds that escape is read without lifting.
class LongValues {
public:
    static constexpr std::size_t kLongValue = 4096;

    // The text with long member values replaced, or nothing when there is nothing to lift.
    std::optional<std::string> Lift(std::string_view text) {
        if (text.find("\\u0001") != std::string_view::npos) return std::nullopt;
        std::string lifted;
        std::size_t copied = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '"') continue;
            bool plain = true;
            const std::size_t end = StringEnd(text, i, plain);
            if (end == std::string_view::npos) return std::nullopt;  // the reader reports it
            const std::string_view value = text.substr(i + 1, end - i - 1);
            if (plain && value.size() >= kLongValue && AfterColon(text, i) && Printable(value)) {
                lifted.append(text.substr(copied, i - copied));
                lifted.append("\"\\u0001#").append(std::to_string(values_.size())).append("\"");
                values_.push_back(value);
                copied = end + 1;
            }
            i = end;
        }
        if (values_.empty()) return std::nullopt;
        lifted.append(text.substr(copied));
        return lifted;
    }

    // A string value as the caller wrote it.
    std::string Restore(std::string value) const {
        if (values_.empty() || value.size() < 3 || value[0] != '\x01' || value[1] != '#') return value;
        std::size_t index = 0;
        for (std::size_t i = 2; i < value.size(); ++i) index = index * 10 + static_cast<std::size_t>(value[i] - '0');
        return std::string(values_.at(index));
    }

private:
    // The closing quote of the string literal opening at start; plain is cleared when the
    // literal holds an escape.
    static std::size_t StringEnd(std::string_view text, std::size_t start, bool& plain) {
        std::size_t at = start + 1;
        while (true) {
            const std::size_t quote = text.find('"', at);
            if (quote == std::string_view::npos) return quote;
            const std::size_t escape = text.substr(at, quote - at).find('\\');
            if (escape == std::string_view::npos) return quote;
            plain = false;
            at += escape + 2;
        }
    }

    static bool AfterColon(std::string_view text, std::size_t quote) {
        while (quote > 0) {
            const char c = text[--quote];
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return c == ':';
        }
        return false;
    }

    // Eight bytes at a time: a byte below 0x20 or above 0x7E sets the high bit of its lane.
    static bool Printable(std::string_view value) {
        constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
        constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
        std::size_t i = 0;
        for (; i + 8 <= value.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, value.data() + i, sizeof word);
            const std::uint64_t below = (word - kOnes * 0x20) & ~word & kHigh;
            const std::uint64_t above = ((word + kOnes * (127 - 0x7E)) | word) & kHigh;
            if ((below | above) != 0) return false;
        }
        for (; i < value.size(); ++i) {
            if (value[i] < 0x20 || value[i] > 0x7E) return false;
        }
        return true;
    }

    std::vector<std::string_view> values_;
};

std::optional<std::string> TextMember(const Json& root, const char* name, const LongValues& lifted) {
    const auto member = root.find(name);
    if (member == root.end() || member->is_null()) return std::string();
    if (!member->is_string()) return std::nullopt;
    return lifted.Restore(member->get<std::string>());
}

// Parameter values are texts; a caller that writes a number or a flag bare still means its text.
std::optional<std::string> ScalarText(const Json& value, const LongValues& lifted) {
    if (value.is_string()) return lifted.Restore(value.get<std::string>());
    if (value.is_null()) return std::string();
    if (value.is_number() || value.is_boolean()) return value.dump();
    return std::nullopt;
}

// "name=value" splits at the first "=" (Base64 padding stays in the value); a bare name has an
// empty value. This is the form of a plain string list, so such callers are understood too.
Param SplitLine(const std::string& line) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) return {line, {}};
    return {line.substr(0, equals), line.substr(equals + 1)};
}

bool AppendParams(const Json& item, ParamList& params, const LongValues& lifted) {
    if (item.is_string()) {
        params.push_back(SplitLine(item.get_ref<const std::string&>()));
        return true;
    }
    if (!item.is_object()) return false;
    for (const auto& [name, value] : item.items()) {
        std::optional<std::string> text = ScalarText(value, lifted);
        if (!text) return false;
        params.push_back({name, std::move(*text)});
    }
    return true;
}

std::optional<ParamList> ReadParams(const Json& root, const LongValues& lifted) {
    ParamList params;
    const auto member = root.find("Params");
    if (member == root.end() || member->is_null()) return params;
    if (!member->is_array()) return std::nullopt;
    for (const Json& item : *member) {
        if (!AppendParams(item, params, lifted)) return std::nullopt;
    }
    return params;
}

}  // namespace

std::optional<Command> ReadCommand(std::string_view text) {
    LongValues lifted;
    const std::optional<std::string> shorter = lifted.Lift(text);
    const std::string_view read = shorter ? std::string_view(*shorter) : text;
    const Json root = Json::parse(read.begin(), read.end(), nullptr, /*allow_exceptions=*/false);
    if (!root.is_object()) return std::nullopt;  // a parse failure is "discarded", not an object
    std::optional<std::string> id = TextMember(root, "ID", lifted);
    std::optional<std::string> plugin = TextMember(root, "Plugin", lifted);
    std::optional<std::string> method = TextMember(root, "Method", lifted);
    std::optional<ParamList> params = ReadParams(root, lifted);
    if (!id || !plugin || !method || !params) return std::nullopt;
    return Command{std::move(*id), std::move(*plugin), std::move(*method), std::move(*params)};
}

std::string WriteReply(const Reply& reply) {
    Json json = Json::object();
    json["ID"] = reply.id;
    json["Plugin"] = reply.plugin;
    json["Method"] = reply.method;
    json["Result"] = reply.result;
    // A result is produced by the plugin, but it may carry bytes from the caller; a reply must
    // still be valid JSON, so bytes that are not UTF-8 become replacement characters.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace nelvo::cryptoplugin
