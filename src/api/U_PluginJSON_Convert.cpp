// What a JSON value converts to when a member of a given type is read from it. Numbers out of
// the member's range and texts that are not numbers fail instead of wrapping or reading as 0.
#include <charconv>
#include <cmath>
#include <limits>

#include "api/U_PluginJSON_Internal.h"
#include "tools/QxSysTools.h"

namespace nelvo::json_detail {

namespace {

[[noreturn]] void CannotConvert(const TJSONData& value, const char* typeName) {
    throw EJSON(fmt::format("Cannot convert JSON data of type \"{}\" to {}", JSONTypeName(value),
                            typeName));
}

[[noreturn]] void NotValid(const std::string& text, const char* typeName) {
    throw EJSON(fmt::format("\"{}\" is not a valid {}", text, typeName));
}

std::string NumberText(const TJSONData& value) {
    if (value.is_number_float()) return FloatText(value.get<double>());
    return value.dump();
}

// Decimal text with an optional sign, nothing else.
template <class I>
bool TryParseDecimal(std::string_view text, I& result) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result);
    return error == std::errc() && end == text.data() + text.size();
}

template <class I>
bool InRange(long double number) {
    return number >= static_cast<long double>(std::numeric_limits<I>::min()) &&
           number <= static_cast<long double>(std::numeric_limits<I>::max());
}

// Integers of type I: numbers that are whole and in range, booleans, decimal texts.
template <class I>
I JSONToIntegral(const TJSONData& value, const char* typeName) {
    switch (value.type()) {
        case TJSONData::value_t::number_integer: {
            const auto number = value.get<std::int64_t>();
            if (!InRange<I>(number)) NotValid(NumberText(value), typeName);
            return static_cast<I>(number);
        }
        case TJSONData::value_t::number_unsigned: {
            const auto number = value.get<std::uint64_t>();
            if (!InRange<I>(number)) NotValid(NumberText(value), typeName);
            return static_cast<I>(number);
        }
        case TJSONData::value_t::number_float: {
            const double number = value.get<double>();
            // The upper bound is exclusive: max() itself rounds up to a power of two.
            const bool whole = std::isfinite(number) && std::trunc(number) == number;
            if (!whole || number < static_cast<double>(std::numeric_limits<I>::min()) ||
                number >= std::ldexp(1.0, std::numeric_limits<I>::digits))
                NotValid(NumberText(value), typeName);
            return static_cast<I>(number);
        }
        case TJSONData::value_t::boolean:
            return value.get<bool>() ? 1 : 0;
        case TJSONData::value_t::string: {
            I result{};
            const auto& text = value.get_ref<const std::string&>();
            if (!TryParseDecimal(text, result)) NotValid(text, typeName);
            return result;
        }
        default:
            CannotConvert(value, typeName);
    }
}

}  // namespace

std::int32_t JSONToInt32(const TJSONData& value) {
    return JSONToIntegral<std::int32_t>(value, "integer");
}

std::int64_t JSONToInt64(const TJSONData& value) {
    return JSONToIntegral<std::int64_t>(value, "64-bit integer");
}

// The member is unsigned: a float is truncated, as the system reads these members, but a
// negative number fails instead of wrapping around.
std::uint64_t JSONToUInt64(const TJSONData& value) {
    constexpr const char* typeName = "unsigned 64-bit integer";
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (!std::isfinite(number) || number <= -1.0 || number >= std::ldexp(1.0, 64))
            NotValid(NumberText(value), typeName);
        return static_cast<std::uint64_t>(std::trunc(number) == 0 ? 0.0 : number);
    }
    return JSONToIntegral<std::uint64_t>(value, typeName);
}

bool JSONToBool(const TJSONData& value) {
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        if (SameText(text, "true")) return true;
        if (SameText(text, "false")) return false;
        std::int64_t number = 0;
        if (!TryParseDecimal(std::string_view(text), number)) NotValid(text, "boolean");
        return number != 0;
    }
    if (value.is_number_float()) return value.get<double>() != 0;
    if (value.is_number()) return value.get<std::int64_t>() != 0;
    CannotConvert(value, "boolean");
}

double JSONToFloat(const TJSONData& value) {
    if (!value.is_number()) CannotConvert(value, "float");
    return value.get<double>();
}

std::string JSONToString(TJSONData& value) {
    switch (value.type()) {
        case TJSONData::value_t::string:
            return std::move(value.get_ref<std::string&>());
        case TJSONData::value_t::boolean:
            return value.get<bool>() ? "true" : "false";
        case TJSONData::value_t::number_integer:
        case TJSONData::value_t::number_unsigned:
        case TJSONData::value_t::number_float:
            return NumberText(value);
        default:
            CannotConvert(value, "string");
    }
}

}  // namespace nelvo::json_detail
