// Records <-> JSON. Every record the host exchanges as JSON derives from TjsonPersistent and
// declares its members once, in a table (see U_PluginJSON_Members.h); the writer and the reader
// walk that table and never know a record by name.
//
//   class TsftResultError : public TPersistent {      // a plain object: no writer of its own
//   public:
//       std::int32_t code = 0;
//       std::string text = "success";
//       static const TMemberTable& Table() {
//           static const TMemberTable table{Field("code", &TsftResultError::code),
//                                           Field("text", &TsftResultError::text)};
//           return table;
//       }
//       const TMemberTable& Members() const override { return Table(); }
//   };
//   class TsftResultBase : public TjsonPersistent {
//   public:
//       TsftResultError error;                          // created with the record: read-only
//       static const TMemberTable& Table() {
//           static const TMemberTable table = TjsonPersistent::Table().Extend({
//               ReadOnlyObject("error", &TsftResultBase::error)});
//           return table;
//       }
//       const TMemberTable& Members() const override { return Table(); }
//   };
//   class TsftResultSign : public TsftResultBase {   // the base's members come first
//   public:
//       TCollectionOf<TsftResultSignedDataItem> data;  // items derive TCollectionItem
//       ... Table() = TsftResultBase::Table().Extend({ReadOnlyObject("data", ...)})
//   };
//   class TPluginCommand : public TPluginBase, public IjsonPropertyWriter {
//   public:
//       TjsonStringList Params;                         // written as an array of its lines...
//       void WriteProperty(const TJSONStreamer&, const TPersistent& object,
//                          const TPropInfo& member, std::optional<TJSONData>& value) const
//           override;                                   // ...unless the hook replaces the value
//   };
//
//   result.AsJSONString()   -> { "error" : { "code" : 0, "text" : "success" }, "data" : [] }
//   request.LoadFromJSON(text)   raises EJSON / EJSONRTTI on failure
//
// Parsing is nlohmann/json's (an ordered tree); the compact text is written here.
#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "api/U_PluginJSON_Classes.h"
#include "api/U_PluginJSON_Members.h"

namespace nelvo {

// A JSON value: the tree the reader parses into and the writer builds.
using TJSONData = nlohmann::ordered_json;

// The JSON reader's own failures: syntax, nesting too deep, a value that does not convert.
class EJSON : public Exception {
public:
    using Exception::Exception;
};

// Failures of the record writer and reader. The message is the component name (always empty
// for records), " : " and the text.
class EJSONRTTI : public Exception {
public:
    explicit EJSONRTTI(const std::string& text) : Exception(" : " + text) {}
};

// "jtNumber", "jtString", ... for the JSON type of a value.
std::string JSONTypeName(const TJSONData& value);

// The deepest nesting of arrays and objects the reader accepts and the writer produces. Every
// walk over a tree is recursive, so this bounds the stack a hostile text can claim.
inline constexpr int JSONMaxDepth = 512;

// Parses UTF-8 JSON text; raises EJSON on a syntax error, invalid UTF-8 or nesting deeper than
// JSONMaxDepth. An empty text is no JSON value and fails.
TJSONData ParseJSON(std::string_view text);

// The compact text form: "{ " members ", " " }" with " : " after each name, "[" elements ", "
// "]", "{}" and "[]" when empty; the solidus escaped as \/. Raises EJSONRTTI for a tree deeper
// than JSONMaxDepth.
std::string JSONToCompactText(const TJSONData& value);
void AppendCompactJSON(std::string& out, const TJSONData& value);

// --- writer ---------------------------------------------------------------------------------

enum class TJSONStreamOption {
    jsoStreamChildren,
    jsoEnumeratedAsInteger,
    jsoSetAsString,
    jsoSetEnumeratedAsInteger,
    jsoSetBrackets,
    jsoComponentsInline,
    jsoTStringsAsArray,
    jsoTStringsAsObject,
    jsoDateTimeAsString,
    jsoUseFormatString,
    jsoCheckEmptyDateTime,
    jsoLegacyDateTime,
    jsoLowerPropertyNames,
    jsoStreamTList,
};
using TJSONStreamOptions = TSet<TJSONStreamOption>;

class TJSONStreamer;
class TJSONDeStreamer;

// The record hook of the writer: may replace the value made for a member, or remove it
// (reset the optional) to leave the member out.
class IjsonPropertyWriter {
public:
    virtual ~IjsonPropertyWriter() = default;
    virtual void WriteProperty(const TJSONStreamer& writer, const TPersistent& object,
                               const TPropInfo& member, std::optional<TJSONData>& value) const = 0;
};

// The record hook of the reader: handled = true means the member is done.
class IjsonPropertyReader {
public:
    virtual ~IjsonPropertyReader() = default;
    virtual void ReadProperty(TJSONDeStreamer& reader, TPersistent& object, const TPropInfo& member,
                              const TJSONData& value, bool& handled) = 0;
};

// Turns objects into JSON trees by their member tables.
class TJSONStreamer : public TObject {
public:
    using TObjectEvent =
        std::function<void(const TJSONStreamer&, const TPersistent&, TJSONData& json)>;
    using TPropertyEvent = std::function<void(const TJSONStreamer&, const TPersistent&,
                                              const TPropInfo&, std::optional<TJSONData>&)>;

    TJSONStreamOptions Options;
    std::string DateTimeFormat;
    std::string ChildProperty;  // components only; records have none
    TObjectEvent BeforeStreamObject;
    TObjectEvent AfterStreamObject;
    TPropertyEvent OnStreamProperty;

    // A JSON object of the object's members; for a string list or a collection at top level
    // an object with the single member "Strings" or "Items".
    TJSONData SaveObject(const TPersistent& object) const;
    // The value of one member, or nothing when the hook removed it.
    std::optional<TJSONData> SaveProperty(const TPersistent& object, const TPropInfo& member) const;
};

// --- reader ---------------------------------------------------------------------------------

// Fills objects from JSON by their member tables.
class TJSONDeStreamer : public TObject {
public:
    using TObjectEvent = std::function<void(TJSONDeStreamer&, TPersistent&, const TJSONData&)>;
    using TPropertyEvent = std::function<void(TJSONDeStreamer&, TPersistent&, const TPropInfo&,
                                              const TJSONData&, bool& handled)>;
    using TErrorEvent = std::function<void(TJSONDeStreamer&, const std::exception&, TPersistent&,
                                           const TPropInfo&, const TJSONData&, bool& handled)>;
    // Supplies an instance for an object member that holds none (member is null for the
    // attached objects of string-list lines; name is the JSON member's name).
    using TCreateObjectEvent = std::function<std::unique_ptr<TPersistent>(
        TJSONDeStreamer&, TPersistent& owner, const TPropInfo* member, const TJSONData&,
        const std::string& name)>;

    bool CaseInsensitiveNames = false;
    bool SkipPropertyErrors = false;
    std::string DateTimeFormat;
    TObjectEvent BeforeLoadObject;
    TObjectEvent AfterLoadObject;
    TPropertyEvent OnLoadProperty;
    TErrorEvent OnLoadPropertyError;
    TCreateObjectEvent OnCreateObject;

    // Parses the text and reads its top value into the object.
    void LoadObject(std::string_view text, TPersistent& object);
    // Reads a parsed value into the object. String values are moved out of `json` into the
    // object's members, so the tree is spent afterwards.
    void LoadObject(TJSONData& json, TPersistent& object);
    void LoadProperty(TPersistent& object, const TPropInfo& member, TJSONData& value);
};

// --- records --------------------------------------------------------------------------------

// Base of every JSON record. It owns its writer (options: string lists as arrays) and its
// reader; a record class that implements IjsonPropertyWriter or IjsonPropertyReader (as a
// public base) has that hook run by its own writer or reader only, never when it is written or
// read as a member of another record. Records are neither copied nor moved: the hooks refer to the
// record.
class TjsonPersistent : public TPersistent {
public:
    TjsonPersistent();
    TjsonPersistent(const TjsonPersistent&) = delete;
    TjsonPersistent& operator=(const TjsonPersistent&) = delete;

    // Fills the record from JSON text; raises on every failure (EJSON, EJSONRTTI, ...), members
    // read before it keep their new values. Derived records may catch and return false.
    virtual bool LoadFromJSON(std::string_view text);
    // The record as compact JSON text.
    virtual std::string AsJSONString() const;

    TJSONStreamer& Writer() { return writer_; }
    const TJSONStreamer& Writer() const { return writer_; }
    TJSONDeStreamer& Reader() { return reader_; }

private:
    TJSONStreamer writer_;
    TJSONDeStreamer reader_;
};

using TJsonClassRef = TClassOf<TjsonPersistent>;

}  // namespace nelvo
