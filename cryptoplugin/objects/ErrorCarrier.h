// The instance handed out when a command cannot reach a real one (its class or its instance
// ID is unknown). The caller's next step is to read "LastErrorCode" and "LastError" from the
// instance it was given, so the failure needs an instance to live in; this one reports it and
// fails every further call with the same error.
#pragma once

#include "objects/PluginObject.h"

namespace nelvo::cryptoplugin {

class ErrorCarrier final : public PluginObject {
public:
    ErrorCarrier(std::string className, ObjectError error);

protected:
    std::string Invoke(std::string_view method, const ParamList& params) override;
    std::string Property(std::string_view name) override;

private:
    ObjectError error_;
};

}  // namespace nelvo::cryptoplugin
