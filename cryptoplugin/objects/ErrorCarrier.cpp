#include "objects/ErrorCarrier.h"

#include <utility>

namespace nelvo::cryptoplugin {

ErrorCarrier::ErrorCarrier(std::string className, ObjectError error)
    : PluginObject(std::move(className)), error_(std::move(error)) {
    RecordError(error_);
}

std::string ErrorCarrier::Invoke(std::string_view /*method*/, const ParamList& /*params*/) {
    throw error_;
}

std::string ErrorCarrier::Property(std::string_view /*name*/) {
    throw error_;
}

}  // namespace nelvo::cryptoplugin
