#include "tools/QxObject.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace nelvo {

std::string ClassNameOf(const std::type_info& type) {
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    std::string name = status == 0 && demangled ? demangled.get() : type.name();
    // Drop namespaces of the outer name only: "nelvo::TFoo" -> "TFoo".
    const std::size_t angle = name.find('<');
    const std::size_t colon = name.rfind("::", angle);
    if (colon != std::string::npos) name.erase(0, colon + 2);
    return name;
}

}  // namespace nelvo
