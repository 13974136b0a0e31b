// The root of the host's own class tree and of its exceptions. The log shows objects and
// exceptions by class name, so every class that logs as a Sender derives from TObject, and
// every error the host raises derives from Exception.
#pragma once

#include <stdexcept>
#include <string>
#include <typeinfo>

namespace nelvo {

// Class name of a dynamic type, without namespaces or template arguments' namespaces:
// "nelvo::TPluginHost" -> "TPluginHost".
std::string ClassNameOf(const std::type_info& type);

class TObject {
public:
    virtual ~TObject() = default;
    std::string ClassName() const { return ClassNameOf(typeid(*this)); }
};

class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Class name of an exception as the log shows it ("EQxLoger", "runtime_error").
inline std::string ExceptionClassName(const std::exception& e) {
    return ClassNameOf(typeid(e));
}

}  // namespace nelvo
