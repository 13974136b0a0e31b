#include "objects/ObjectError.h"

namespace nelvo::cryptoplugin {

namespace {

// Names come from the caller's command; quoting them shows an empty or padded name as such.
std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    quoted.append(text);
    quoted += '"';
    return quoted;
}

}  // namespace

ObjectError UnknownClassError(std::string_view className) {
    return {kErrorUnknownClass, "Unknown object class " + Quoted(className)};
}

ObjectError UnknownMethodError(std::string_view className, std::string_view method) {
    return {kErrorUnknownMethod,
            "Unknown method " + Quoted(method) + " of object class " + Quoted(className)};
}

ObjectError UnknownInstanceError(std::string_view className, std::string_view id) {
    return {kErrorUnknownInstance,
            "Unknown instance ID " + Quoted(id) + " of object class " + Quoted(className)};
}

ObjectError UnknownPropertyError(std::string_view className, std::string_view property) {
    return {kErrorUnknownProperty,
            "Unknown property " + Quoted(property) + " of object class " + Quoted(className)};
}

ObjectError MissingParameterError(std::string_view method, std::string_view what) {
    return {kErrorMissingParameter,
            "Missing parameter: " + std::string(method) + " needs " + std::string(what)};
}

ObjectError InternalError(std::string_view detail) {
    return {kErrorInternal, "Internal error: " + std::string(detail)};
}

}  // namespace nelvo::cryptoplugin
