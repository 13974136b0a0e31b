#include "engine/EngineErrors.h"

#include "engine/Ossl.h"

namespace nelvo::cryptoplugin {

ObjectError EngineFailure(EngineError code, const std::string& text) {
    const std::string reason = TakeOsslError();
    if (reason.empty()) return ObjectError(code, text);
    return ObjectError(code, text + " (" + reason + ")");
}

}  // namespace nelvo::cryptoplugin
