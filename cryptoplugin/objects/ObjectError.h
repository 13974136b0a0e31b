// Failures of a method call. A method raises ObjectError; the object keeps its code and text,
// and the caller reads them back through the "LastErrorCode" and "LastError" properties.
//
// Codes from 1000 up belong to the object protocol itself. Codes below 1000 are left to the
// objects' own work (the crypto engine), so that the codes a caller maps to its own messages
// never collide with protocol failures.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace nelvo::cryptoplugin {

inline constexpr int kErrorNone = 0;
inline constexpr int kErrorUnknownClass = 1001;
inline constexpr int kErrorUnknownMethod = 1002;
inline constexpr int kErrorUnknownInstance = 1003;
inline constexpr int kErrorUnknownProperty = 1004;
inline constexpr int kErrorMissingParameter = 1005;
inline constexpr int kErrorInternal = 1099;

class ObjectError : public std::runtime_error {
public:
    ObjectError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};

// The protocol's failures, with the texts every object reports for them.
ObjectError UnknownClassError(std::string_view className);
ObjectError UnknownMethodError(std::string_view className, std::string_view method);
ObjectError UnknownInstanceError(std::string_view className, std::string_view id);
ObjectError UnknownPropertyError(std::string_view className, std::string_view property);
ObjectError MissingParameterError(std::string_view method, std::string_view what);
ObjectError InternalError(std::string_view detail);

}  // namespace nelvo::cryptoplugin
