#include "objects/PluginObject.h"

#include <exception>
#include <utility>

namespace nelvo::cryptoplugin {

namespace {

// GetProperty names its property in its first parameter line ("Version" arrives as the
// parameter "Version" with an empty value).
std::string_view PropertyName(const ParamList& params) {
    if (params.empty()) throw MissingParameterError(kGetPropertyMethod, "a property name");
    return params.front().name;
}

}  // namespace

PluginObject::PluginObject(std::string className) : className_(std::move(className)) {}

std::string PluginObject::Call(std::string_view method, const ParamList& params) {
    if (method == kGetPropertyMethod) {
        if (const std::string* value = ErrorProperty(params)) return *value;
    }
    try {
        std::string result = Run(method, params);
        ClearError();
        return result;
    } catch (const ObjectError& error) {
        RecordError(error);
    } catch (const std::exception& error) {
        RecordError(InternalError(error.what()));
    }
    return {};
}

std::string PluginObject::Run(std::string_view method, const ParamList& params) {
    if (method == kGetPropertyMethod) return Property(PropertyName(params));
    return Invoke(method, params);
}

const std::string* PluginObject::ErrorProperty(const ParamList& params) const {
    if (params.empty()) return nullptr;
    if (params.front().name == kLastErrorCodeProperty) return &errorCodeText_;
    if (params.front().name == kLastErrorProperty) return &errorText_;
    return nullptr;
}

std::string PluginObject::Invoke(std::string_view method, const ParamList& /*params*/) {
    throw UnknownMethodError(className_, method);
}

std::string PluginObject::Property(std::string_view name) {
    throw UnknownPropertyError(className_, name);
}

void PluginObject::ClearError() {
    errorCodeText_ = "0";
    errorText_.clear();
    errorCode_ = kErrorNone;
}

void PluginObject::RecordError(const ObjectError& error) {
    errorCodeText_ = std::to_string(error.Code());
    errorText_ = error.what();
    errorCode_ = error.Code();
}

}  // namespace nelvo::cryptoplugin
