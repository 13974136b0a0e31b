// Values as the log shows them.
#include <fmt/format.h>

#include <cmath>
#include <cstdio>

#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

std::string Utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

void TrimFraction(std::string& digits) {
    if (digits.find('.') == std::string::npos) return;
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
}

const char* VarTypeName(TVarType type) {
    switch (type) {
        case varError:
            return "Error";
        case varVariant:
            return "Variant";
        case varUnknown:
            return "Unknown";
        case varArray:
            return "Array";
        default:
            return "Unsupported";
    }
}

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

std::string BoolToText(bool value) {
    return value ? "TRUE" : "FALSE";
}

// General format with 15 significant digits: fixed notation while the number has at most 15
// digits before the point and is at least 0.0001, otherwise "1.5E20" / "1E-5".
std::string FloatToText(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0) return "0";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    std::string text = buffer;
    const std::size_t e = text.find('e');
    const int exponent = std::stoi(text.substr(e + 1));
    if (exponent < -4 || exponent >= 15) {
        std::string mantissa = text.substr(0, e);
        TrimFraction(mantissa);
        return mantissa + "E" + std::to_string(exponent);
    }
    std::snprintf(buffer, sizeof buffer, "%.*f", 14 - exponent, value);
    text = buffer;
    TrimFraction(text);
    return text;
}

std::string CurrencyToText(TCurrency value) {
    const std::int64_t whole = value.scaled / 10000;
    const std::int64_t fraction = std::llabs(value.scaled % 10000);
    std::string text = (value.scaled < 0 && whole == 0 ? "-" : "") + std::to_string(whole);
    if (fraction != 0) {
        std::string digits = fmt::format("{:04}", fraction);
        while (digits.back() == '0') digits.pop_back();
        text += "." + digits;
    }
    return text;
}

std::string VariantToText(const TVariant& value) {
    const auto& payload = value.Value();
    switch (value.VarType()) {
        case varEmpty:
        case varNull:
            return {};
        case varSmallint:
        case varInteger:
        case varShortInt:
        case varByte:
        case varWord:
        case varLongWord:
        case varInt64:
            if (auto* i = std::get_if<std::int64_t>(&payload)) return std::to_string(*i);
            break;
        case varUInt64:
            if (auto* u = std::get_if<std::uint64_t>(&payload)) return std::to_string(*u);
            if (auto* i = std::get_if<std::int64_t>(&payload))
                return std::to_string(static_cast<std::uint64_t>(*i));
            break;
        case varSingle:
            if (auto* d = std::get_if<double>(&payload))
                return FloatToText(static_cast<double>(static_cast<float>(*d)));
            break;
        case varDouble:
            if (auto* d = std::get_if<double>(&payload)) return FloatToText(*d);
            break;
        case varCurrency:
            if (auto* c = std::get_if<TCurrency>(&payload)) return CurrencyToText(*c);
            break;
        case varDate:
            if (auto* t = std::get_if<TDateTime>(&payload))
                return FormatDateTime("yyyy.mm.dd hh:nn:ss:zzz", *t);
            break;
        case varOleStr:
        case varString:
        case varUString:
            if (auto* s = std::get_if<std::string>(&payload)) return *s;
            break;
        case varDispatch:
            return "IDispatch";
        case varBoolean:
            if (auto* b = std::get_if<bool>(&payload)) return BoolToText(*b);
            break;
        default:
            break;
    }
    throw EVariantError(fmt::format("Cannot convert variant of type {} ({}) to text",
                                    VarTypeName(value.VarType()),
                                    static_cast<int>(value.VarType())));
}

std::string ValueToText(const TVarRec& value) {
    return std::visit(
        Overloaded{
            [](std::int32_t v) { return std::to_string(v); },
            [](std::int64_t v) { return std::to_string(v); },
            // Unsigned 64-bit values are written in decimal, as the variant conversion does.
            [](std::uint64_t v) { return std::to_string(v); },
            [](bool v) { return BoolToText(v); },
            [](char v) { return std::string(1, v); },
            [](char32_t v) { return Utf8(v); },
            [](double v) { return FloatToText(v); },
            [](TCurrency v) { return CurrencyToText(v); },
            [](const std::string& v) { return v; },
            [](const TClassRef& v) { return v.name; },
            [](TInterfaceRef v) {
                return IntToHex(reinterpret_cast<std::uintptr_t>(v.address), 8);
            },
            [](const TVariant& v) { return VariantToText(v); },
            [](const TObject* v) {
                return v ? v->ClassName() + "(0x" +
                               IntToHex(reinterpret_cast<std::uintptr_t>(v), 4) + ")"
                         : std::string();
            },
            [](const void* v) {
                return "Pointer(" + IntToHex(reinterpret_cast<std::uintptr_t>(v), 8) + ")";
            },
        },
        value.value);
}

}  // namespace nelvo
