// Member tables: a record class declares its JSON members once, in order, and the writer and
// the reader walk the table. The kind of each member follows from its C++ type:
//
//   const TMemberTable& TsftSign::Table() {
//       static const TMemberTable table = TsftSignBase::Table().Extend({
//           Field("keySessID", &TsftSign::keySessID),
//           EnumField("mode", &TsftSign::mode, ModeNames),
//           ReadOnlyObject("data", &TsftSign::data),  // declared again: keeps the base position
//       });
//       return table;
//   }
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <variant>
#include <vector>

#include "api/U_PluginJSON_Classes.h"
#include "tools/QxValues.h"

namespace nelvo {

enum class TTypeKind {
    tkUnknown,
    tkInteger,      // std::int32_t
    tkInt64,        // std::int64_t
    tkQWord,        // std::uint64_t
    tkBool,         // bool
    tkChar,         // char
    tkEnumeration,  // an enum type with its value names
    tkSet,          // TSet<E> with the value names of E
    tkFloat,        // double, or TDateTime for a date-time member
    tkString,       // std::string (UTF-8)
    tkWString,      // std::string (UTF-8), declared as a wide string
    tkVariant,      // TVariant
    tkClass,        // an object: string list, collection or plain object
    tkMethod,       // an event; never written or read
};
using TTypeKinds = TSet<TTypeKind>;
TTypeKinds AllKinds();
TTypeKinds AllKindsButMethods();

// Value names of an enumeration, by ordinal.
using TEnumNames = std::vector<std::string>;

// Typed access to one scalar member: get reads it, set stores it (empty for a read-only member).
template <class T>
struct TValueAccess {
    std::function<T(const TPersistent&)> get;
    std::function<void(TPersistent&, T)> set;
};
struct TEnumOrdinal {
    int value = 0;
};
struct TSetBits {
    std::uint64_t bits = 0;
};
// Access to an object member: the object it holds (or none), and for a writable member a
// store that takes an instance of the declared class (false, instance kept, for another class).
struct TObjectAccess {
    std::function<const TPersistent*(const TPersistent&)> get;
    std::function<TPersistent*(TPersistent&)> getMutable;
    std::function<bool(TPersistent&, std::unique_ptr<TPersistent>&)> set;
};
using TPropAccess =
    std::variant<std::monostate, TValueAccess<std::int32_t>, TValueAccess<std::int64_t>,
                 TValueAccess<std::uint64_t>, TValueAccess<bool>, TValueAccess<char>,
                 TValueAccess<TEnumOrdinal>, TValueAccess<TSetBits>, TValueAccess<double>,
                 TValueAccess<TDateTime>, TValueAccess<std::string>, TValueAccess<TVariant>,
                 TObjectAccess>;

// One entry of a member table.
struct TPropInfo {
    std::string Name;
    TTypeKind Kind = TTypeKind::tkUnknown;
    int Position = -1;  // index in the class's full table
    TPropAccess Access;
    std::shared_ptr<const TEnumNames> EnumNames;  // enumerations and sets
    const std::type_info* ObjectClass = nullptr;  // objects: the declared class

    bool IsReadOnly() const;
    bool IsDateTime() const { return std::holds_alternative<TValueAccess<TDateTime>>(Access); }
    std::string ObjectClassName() const;
};

// The ordered members of one class: the base class's members at their positions, then the
// class's own.
class TMemberTable {
public:
    TMemberTable() = default;
    TMemberTable(std::initializer_list<TPropInfo> members);

    // This table followed by the members of a derived class; a member with the name of one
    // already here replaces it at its position. Raises std::logic_error for a name declared
    // twice in `members`.
    TMemberTable Extend(std::vector<TPropInfo> members) const;

    int Count() const { return static_cast<int>(entries_.size()); }
    const TPropInfo& operator[](int position) const { return entries_.at(position); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }
    // The entry with exactly this name, or nullptr.
    const TPropInfo* Find(std::string_view name) const;

private:
    void Append(TPropInfo member);
    std::vector<TPropInfo> entries_;
};

// The members of one object of the given kinds: in position order, or sorted by name
// ignoring letter case.
class TPropInfoList {
public:
    TPropInfoList(const TPersistent& object, TTypeKinds kinds, bool sorted);

    int Count() const { return static_cast<int>(items_.size()); }
    const TPropInfo& Items(int index) const { return *items_.at(index); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<const TPropInfo*> items_;
};

// --- declaring members ----------------------------------------------------------------------

namespace member_detail {

template <class V>
struct IsUniquePtr : std::false_type {};
template <class V>
struct IsUniquePtr<std::unique_ptr<V>> : std::true_type {};

template <class V>
constexpr TTypeKind ScalarKind() {
    if constexpr (std::is_same_v<V, bool>)
        return TTypeKind::tkBool;
    else if constexpr (std::is_same_v<V, char>)
        return TTypeKind::tkChar;
    else if constexpr (std::is_same_v<V, std::int32_t>)
        return TTypeKind::tkInteger;
    else if constexpr (std::is_same_v<V, std::int64_t>)
        return TTypeKind::tkInt64;
    else if constexpr (std::is_same_v<V, std::uint64_t>)
        return TTypeKind::tkQWord;
    else if constexpr (std::is_same_v<V, double> || std::is_same_v<V, TDateTime>)
        return TTypeKind::tkFloat;
    else if constexpr (std::is_same_v<V, std::string>)
        return TTypeKind::tkString;
    else if constexpr (std::is_same_v<V, TVariant>)
        return TTypeKind::tkVariant;
    else
        return TTypeKind::tkUnknown;
}

template <class C, class V>
TValueAccess<V> FieldAccess(V C::*member, bool writable) {
    TValueAccess<V> access;
    access.get = [member](const TPersistent& o) { return static_cast<const C&>(o).*member; };
    if (writable)
        access.set = [member](TPersistent& o, V v) { static_cast<C&>(o).*member = std::move(v); };
    return access;
}

template <class C, class V>
TPropInfo ScalarField(std::string name, V C::*member, bool writable) {
    static_assert(std::is_base_of_v<TPersistent, C>, "members belong to persistent classes");
    static_assert(!std::is_enum_v<V>, "declare enumerations with EnumField");
    static_assert(ScalarKind<V>() != TTypeKind::tkUnknown, "no member kind for this type");
    TPropInfo info;
    info.Name = std::move(name);
    info.Kind = ScalarKind<V>();
    info.Access = FieldAccess(member, writable);
    return info;
}

// An object member held directly (always present) or by std::unique_ptr (may be empty).
template <class C, class V>
TPropInfo ObjectField(std::string name, V C::*member, bool writable) {
    static_assert(std::is_base_of_v<TPersistent, C>, "members belong to persistent classes");
    TObjectAccess access;
    if constexpr (IsUniquePtr<V>::value) {
        using T = typename V::element_type;
        static_assert(std::is_base_of_v<TPersistent, T>, "object members are persistent");
        access.get = [member](const TPersistent& o) -> const TPersistent* {
            return (static_cast<const C&>(o).*member).get();
        };
        access.getMutable = [member](TPersistent& o) -> TPersistent* {
            return (static_cast<C&>(o).*member).get();
        };
        if (writable)
            access.set = [member](TPersistent& o, std::unique_ptr<TPersistent>& instance) {
                if (instance && !dynamic_cast<T*>(instance.get())) return false;
                (static_cast<C&>(o).*member).reset(static_cast<T*>(instance.release()));
                return true;
            };
    } else {
        static_assert(std::is_base_of_v<TPersistent, V>, "object members are persistent");
        access.get = [member](const TPersistent& o) -> const TPersistent* {
            return &(static_cast<const C&>(o).*member);
        };
        access.getMutable = [member](TPersistent& o) -> TPersistent* {
            return &(static_cast<C&>(o).*member);
        };
    }
    TPropInfo info;
    info.Name = std::move(name);
    info.Kind = TTypeKind::tkClass;
    info.Access = std::move(access);
    if constexpr (IsUniquePtr<V>::value)
        info.ObjectClass = &typeid(typename V::element_type);
    else
        info.ObjectClass = &typeid(V);
    return info;
}

}  // namespace member_detail

// A member read and written: a scalar, or an object held by std::unique_ptr (replaced by the
// reader only when it holds none and an instance is supplied).
template <class C, class V>
TPropInfo Field(std::string name, V C::*member) {
    if constexpr (member_detail::IsUniquePtr<V>::value) {
        return member_detail::ObjectField(std::move(name), member, true);
    } else {
        static_assert(!std::is_base_of_v<TPersistent, V>,
                      "an object held directly is declared with ReadOnlyObject");
        return member_detail::ScalarField(std::move(name), member, true);
    }
}

// A scalar member that is written but never stored by the reader.
template <class C, class V>
TPropInfo ReadOnlyField(std::string name, V C::*member) {
    return member_detail::ScalarField(std::move(name), member, false);
}

// A string member declared as a wide string (the same UTF-8 storage).
template <class C>
TPropInfo WideField(std::string name, std::string C::*member) {
    TPropInfo info = member_detail::ScalarField(std::move(name), member, true);
    info.Kind = TTypeKind::tkWString;
    return info;
}

// An object member that the record creates in its constructor and owns for its whole life:
// held directly, or by std::unique_ptr. The reader fills the object and never replaces it.
template <class C, class V>
TPropInfo ReadOnlyObject(std::string name, V C::*member) {
    return member_detail::ObjectField(std::move(name), member, false);
}

// An enumeration member with the value names of its ordinals 0, 1, ...
template <class C, class E>
TPropInfo EnumField(std::string name, E C::*member, const TEnumNames& names) {
    static_assert(std::is_enum_v<E>);
    TValueAccess<TEnumOrdinal> access;
    access.get = [member](const TPersistent& o) {
        return TEnumOrdinal{static_cast<int>(static_cast<const C&>(o).*member)};
    };
    access.set = [member](TPersistent& o, TEnumOrdinal v) {
        static_cast<C&>(o).*member = static_cast<E>(v.value);
    };
    TPropInfo info;
    info.Name = std::move(name);
    info.Kind = TTypeKind::tkEnumeration;
    info.Access = std::move(access);
    info.EnumNames = std::make_shared<const TEnumNames>(names);
    return info;
}

// A set member (TSet<E>) with the value names of E.
template <class C, class E>
TPropInfo SetField(std::string name, TSet<E> C::*member, const TEnumNames& names) {
    if (names.size() > 64) throw std::logic_error("a set holds at most 64 values");
    TValueAccess<TSetBits> access;
    access.get = [member](const TPersistent& o) {
        return TSetBits{(static_cast<const C&>(o).*member).Bits()};
    };
    access.set = [member](TPersistent& o, TSetBits v) {
        static_cast<C&>(o).*member = TSet<E>::FromBits(v.bits);
    };
    TPropInfo info;
    info.Name = std::move(name);
    info.Kind = TTypeKind::tkSet;
    info.Access = std::move(access);
    info.EnumNames = std::make_shared<const TEnumNames>(names);
    return info;
}

}  // namespace nelvo
