// Base of every plugin object class. It owns the error state of the instance and answers the
// methods every object has; a class adds its own methods and properties by overriding Invoke
// and Property and raising ObjectError when something fails.
//
// The dispatcher serialises the calls made on one instance, so an object needs no lock.
#pragma once

#include <string>
#include <string_view>

#include "objects/ObjectError.h"
#include "objects/ParamList.h"

namespace nelvo::cryptoplugin {

inline constexpr std::string_view kGetPropertyMethod = "GetProperty";
inline constexpr std::string_view kLastErrorCodeProperty = "LastErrorCode";
inline constexpr std::string_view kLastErrorProperty = "LastError";

class PluginObject {
public:
    explicit PluginObject(std::string className);
    virtual ~PluginObject() = default;
    PluginObject(const PluginObject&) = delete;
    PluginObject& operator=(const PluginObject&) = delete;

    const std::string& ClassName() const { return className_; }

    // Runs one method and returns its result text. A failure gives an empty result and is kept
    // as the error state; a success resets it to code 0 and an empty text. Reading the error
    // properties leaves the state alone, so the code and the text of one failure can be read
    // one after the other.
    std::string Call(std::string_view method, const ParamList& params);

    bool Failed() const { return errorCode_ != kErrorNone; }

protected:
    // The class's own methods. The default knows none.
    virtual std::string Invoke(std::string_view method, const ParamList& params);
    // The class's own properties, beside the error properties. The default knows none.
    virtual std::string Property(std::string_view name);

    void RecordError(const ObjectError& error);

private:
    std::string Run(std::string_view method, const ParamList& params);
    void ClearError();
    const std::string* ErrorProperty(const ParamList& params) const;

    std::string className_;
    int errorCode_ = kErrorNone;
    std::string errorCodeText_ = "0";
    std::string errorText_;
};

}  // namespace nelvo::cryptoplugin
