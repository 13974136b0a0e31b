// Typed values: the elements of the argument lists that trace calls take (names and values
// side by side), and the variant that carries a single result of any kind.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "tools/QxObject.h"

namespace nelvo {

// A local date and time; the host never converts to universal time.
struct TDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    auto operator<=>(const TDateTime&) const = default;
};

// Fixed-point money value with four decimals, stored scaled by 10 000.
struct TCurrency {
    std::int64_t scaled = 0;
    auto operator<=>(const TCurrency&) const = default;
};

// A reference to a class (not an instance): shown by its name.
struct TClassRef {
    std::string name;
};

// An interface reference: shown by its address.
struct TInterfaceRef {
    const void* address = nullptr;
};

class TVariant;

// Variant type codes, with the numeric values the conversion error reports.
enum TVarType : std::uint16_t {
    varEmpty = 0x0000,
    varNull = 0x0001,
    varSmallint = 0x0002,
    varInteger = 0x0003,
    varSingle = 0x0004,
    varDouble = 0x0005,
    varCurrency = 0x0006,
    varDate = 0x0007,
    varOleStr = 0x0008,
    varDispatch = 0x0009,
    varError = 0x000A,
    varBoolean = 0x000B,
    varVariant = 0x000C,
    varUnknown = 0x000D,
    varShortInt = 0x0010,
    varByte = 0x0011,
    varWord = 0x0012,
    varLongWord = 0x0013,
    varInt64 = 0x0014,
    varUInt64 = 0x0015,
    varString = 0x0100,
    varUString = 0x0102,
    varArray = 0x2000,
};

// A variant value: a type code and its payload. Integers of every width are kept as 64-bit
// numbers with their code; texts of every kind as UTF-8.
class TVariant {
public:
    TVariant() = default;
    TVariant(bool v) : type_(varBoolean), value_(v) {}
    TVariant(int v) : type_(varInteger), value_(std::int64_t{v}) {}
    TVariant(std::int64_t v) : type_(varInt64), value_(v) {}
    TVariant(std::uint64_t v) : type_(varUInt64), value_(v) {}
    TVariant(double v) : type_(varDouble), value_(v) {}
    TVariant(const char* v) : type_(varUString), value_(std::string(v)) {}
    TVariant(std::string v) : type_(varUString), value_(std::move(v)) {}
    TVariant(const TDateTime& v) : type_(varDate), value_(v) {}
    TVariant(const TCurrency& v) : type_(varCurrency), value_(v) {}

    static TVariant Null() { return TVariant(varNull, std::monostate{}); }
    // Any type code with a payload; used for the narrower integer kinds and by tests for
    // kinds the host never produces itself.
    static TVariant OfType(TVarType type, std::int64_t integer) { return TVariant(type, integer); }
    static TVariant OfType(TVarType type, double real) { return TVariant(type, real); }
    static TVariant OfType(TVarType type) { return TVariant(type, std::monostate{}); }
    // A variant array (varArray | varVariant): its elements are variants again. The elements
    // are shared between copies and never change, so copies stay cheap.
    static TVariant Array(std::vector<TVariant> elements);

    TVarType VarType() const { return type_; }
    const auto& Value() const { return value_; }
    bool IsArray() const { return (type_ & varArray) != 0; }
    // The elements of a variant array; empty for any other variant.
    const std::vector<TVariant>& Elements() const;

private:
    using Payload = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double,
                                 std::string, TDateTime, TCurrency>;
    TVariant(TVarType type, Payload value) : type_(type), value_(std::move(value)) {}

    TVarType type_ = varEmpty;
    Payload value_;
    std::shared_ptr<const std::vector<TVariant>> elements_;
};

inline TVariant TVariant::Array(std::vector<TVariant> elements) {
    TVariant array(static_cast<TVarType>(varArray | varVariant), std::monostate{});
    array.elements_ = std::make_shared<const std::vector<TVariant>>(std::move(elements));
    return array;
}

inline const std::vector<TVariant>& TVariant::Elements() const {
    static const std::vector<TVariant> none;
    return elements_ ? *elements_ : none;
}

// One element of a typed value list.
struct TVarRec {
    using Value = std::variant<std::int32_t, std::int64_t, std::uint64_t, bool, char, char32_t,
                               double, TCurrency, std::string, TClassRef, TInterfaceRef, TVariant,
                               const TObject*, const void*>;
    Value value;

    TVarRec(std::int32_t v) : value(v) {}
    TVarRec(std::int64_t v) : value(v) {}
    TVarRec(std::uint64_t v) : value(v) {}
    TVarRec(bool v) : value(v) {}
    TVarRec(char v) : value(v) {}
    TVarRec(char32_t v) : value(v) {}
    TVarRec(double v) : value(v) {}
    TVarRec(TCurrency v) : value(v) {}
    TVarRec(const char* v) : value(std::string(v ? v : "")) {}
    TVarRec(std::string v) : value(std::move(v)) {}
    TVarRec(TClassRef v) : value(std::move(v)) {}
    TVarRec(TInterfaceRef v) : value(v) {}
    TVarRec(TVariant v) : value(std::move(v)) {}
    TVarRec(const TObject* v) : value(v) {}
    TVarRec(const void* v) : value(v) {}
};

}  // namespace nelvo
