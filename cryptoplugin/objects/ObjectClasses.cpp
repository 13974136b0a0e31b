#include "objects/ObjectClasses.h"

#include <array>

#include "objects/CryptoEngineObject.h"
#include "objects/VersionObject.h"

namespace nelvo::cryptoplugin {

namespace {

constexpr std::array kObjectClasses = {
    ObjectClass{kVersionClassName, false, &CreateVersionObject},
    ObjectClass{kCryptoEngineClassName, true, &CreateCryptoEngineObject},
};

}  // namespace

const ObjectClass* FindObjectClass(std::string_view name) {
    for (const ObjectClass& objectClass : kObjectClasses) {
        if (objectClass.name == name) return &objectClass;
    }
    return nullptr;
}

}  // namespace nelvo::cryptoplugin
