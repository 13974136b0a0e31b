// The object model records are built from: persistent objects that publish a member table,
// class references that create them, the string list and the collection. The JSON writer and
// reader tell the three sorts of object members apart by these classes.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "tools/QxObject.h"

namespace nelvo {

class TMemberTable;

// Base of everything that maps to JSON: it publishes its members through a table. A class
// that publishes nothing (a plain list, a collection) keeps the empty table.
class TPersistent : public TObject {
public:
    TPersistent() = default;
    TPersistent(const TPersistent&) = delete;
    TPersistent& operator=(const TPersistent&) = delete;

    // The class's own table; each record class declares its own Table() and answers it from
    // Members(), and derived tables start from the base class's Table().
    static const TMemberTable& Table();
    virtual const TMemberTable& Members() const { return Table(); }
};

// A class reference: the class's name and a way to create an instance of it, so that tables
// of classes are tables of factories. Base is what the instances are seen as.
template <class Base>
class TClassOf {
public:
    template <class T>
    static TClassOf Of() {
        static_assert(std::is_base_of_v<Base, T>);
        return TClassOf(typeid(T), [] { return std::unique_ptr<Base>(std::make_unique<T>()); });
    }

    std::string ClassName() const { return ClassNameOf(*type_); }
    const std::type_info& Type() const { return *type_; }
    std::unique_ptr<Base> Create() const { return create_(); }

private:
    using TCreate = std::unique_ptr<Base> (*)();
    TClassOf(const std::type_info& type, TCreate create) : type_(&type), create_(create) {}

    const std::type_info* type_;
    TCreate create_;
};

// --- string list ----------------------------------------------------------------------------

// An ordered list of lines, each with an optional attached object that the list owns.
class TStringList : public TPersistent {
public:
    int Count() const { return static_cast<int>(lines_.size()); }
    bool Empty() const { return lines_.empty(); }
    const std::string& operator[](int index) const { return lines_.at(index).text; }
    const std::string& Strings(int index) const { return (*this)[index]; }
    TPersistent* Objects(int index) const { return lines_.at(index).object.get(); }

    void Add(std::string line) { lines_.push_back({std::move(line), nullptr}); }
    void AddObject(std::string line, std::unique_ptr<TPersistent> object) {
        lines_.push_back({std::move(line), std::move(object)});
    }
    void Clear() { lines_.clear(); }
    void Delete(int index) { lines_.erase(lines_.begin() + CheckedIndex(index)); }
    std::vector<std::string> Lines() const;

    // Every line followed by a line break.
    virtual std::string Text() const;
    // Replaces the lines by the text split at CR LF, LF or CR; a final line break adds no
    // empty line.
    void SetText(std::string_view text);

    // The lines joined by the delimiter, as they are (no quoting).
    std::string DelimitedText() const;
    char Delimiter = ',';

    static constexpr std::string_view LineBreak = "\n";

private:
    struct TLine {
        std::string text;
        std::unique_ptr<TPersistent> object;
    };
    std::size_t CheckedIndex(int index) const;

    std::vector<TLine> lines_;
};

// The string list of the records: its text has no line break after the last line.
class TjsonStringList : public TStringList {
public:
    std::string Text() const override;
};

// --- collection -----------------------------------------------------------------------------

// An item of a collection; derived classes publish its members.
class TCollectionItem : public TPersistent {};

using TCollectionItemClass = TClassOf<TCollectionItem>;

// A list of items of one item class, created by the collection itself.
class TCollection : public TPersistent {
public:
    explicit TCollection(TCollectionItemClass itemClass) : itemClass_(itemClass) {}

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    TCollectionItem& Items(int index) const { return *items_.at(index); }
    const TCollectionItemClass& ItemClass() const { return itemClass_; }

    TCollectionItem& Add();
    void Clear() { items_.clear(); }

private:
    TCollectionItemClass itemClass_;
    std::vector<std::unique_ptr<TCollectionItem>> items_;
};

// A collection whose items are of class TItem, with typed access.
template <class TItem>
class TCollectionOf : public TCollection {
public:
    TCollectionOf() : TCollection(TCollectionItemClass::Of<TItem>()) {}
    TItem& Add() { return static_cast<TItem&>(TCollection::Add()); }
    TItem& operator[](int index) const { return static_cast<TItem&>(Items(index)); }
};

// --- sets of an enumeration -----------------------------------------------------------------

// A set of values of an enumeration whose ordinals lie in 0..63.
template <class E>
class TSet {
public:
    static_assert(std::is_enum_v<E>);
    TSet() = default;
    TSet(std::initializer_list<E> values) {
        for (E value : values) Include(value);
    }
    static TSet FromBits(std::uint64_t bits) {
        TSet set;
        set.bits_ = bits;
        return set;
    }

    void Include(E value) { bits_ |= Bit(value); }
    void Exclude(E value) { bits_ &= ~Bit(value); }
    bool Contains(E value) const { return (bits_ & Bit(value)) != 0; }
    std::uint64_t Bits() const { return bits_; }
    bool operator==(const TSet&) const = default;

private:
    static std::uint64_t Bit(E value) {
        const auto ordinal = static_cast<std::uint64_t>(value);
        if (ordinal >= 64) throw std::out_of_range("set element out of range");
        return std::uint64_t{1} << ordinal;
    }
    std::uint64_t bits_ = 0;
};

}  // namespace nelvo
