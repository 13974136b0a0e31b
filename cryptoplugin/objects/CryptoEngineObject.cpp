#include "objects/CryptoEngineObject.h"

#include <charconv>

#include "engine/Base64.h"
#include "engine/EngineErrors.h"
#include "engine/GostSupport.h"

namespace nelvo::cryptoplugin {

namespace {

constexpr std::string_view kEngineTypeParam = "sCryptoEngineType";
constexpr std::string_view kSupportedEngineType = "8";

std::string RequiredValue(const ParamList& params, std::string_view name, std::string_view method) {
    const Param* param = FindParam(params, name);
    if (param == nullptr) {
        throw EngineFailure(kEngineBadParameter,
                            std::string(method) + " needs the parameter \"" + std::string(name) + "\"");
    }
    return param->value;
}

int NumberValue(const ParamList& params, std::string_view name, std::string_view method, bool required) {
    const Param* param = FindParam(params, name);
    if (param == nullptr && !required) return 0;
    const std::string text = RequiredValue(params, name, method);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw EngineFailure(kEngineBadParameter, "The parameter \"" + std::string(name) +
                                                     "\" of " + std::string(method) +
                                                     " must be a decimal number, not \"" + text + "\"");
    }
    return value;
}

}  // namespace

CryptoEngineObject::CryptoEngineObject() : PluginObject(std::string(kCryptoEngineClassName)) {}

std::string CryptoEngineObject::Invoke(std::string_view method, const ParamList& params) {
    if (method == "InitCryptoEngineByType") return Init(params);
    if (method == "SetCryptoParamValue") return SetParam(params);
    if (method == "ExportCryptoObject") return Export(params);
    if (method == "ImportCryptoObject") return Import(params);
    if (method == "ClearCash") {
        Clear();
        return {};
    }
    return PluginObject::Invoke(method, params);
}

std::string CryptoEngineObject::Property(std::string_view name) {
    if (name == "MimeCurrentData") return EncodeBase64Mime(currentData_);
    if (name == "UnicodeCurrentData" || name == "CurrentData") return currentData_;
    return PluginObject::Property(name);
}

std::string CryptoEngineObject::Init(const ParamList& params) {
    const std::string type = RequiredValue(params, kEngineTypeParam, "InitCryptoEngineByType");
    if (type != kSupportedEngineType) {
        throw EngineFailure(kEngineTypeUnsupported,
                            "Unsupported crypto engine type \"" + type + "\": only type 8 is supported");
    }
    // A fresh start: a host that initialises again expects none of the earlier state.
    Clear();
    params_.clear();
    GostAvailable();  // loads GOST support once, before any key or certificate is read
    initialised_ = true;
    return {};
}

void CryptoEngineObject::RequireInitialised() const {
    if (!initialised_) {
        throw EngineFailure(kEngineNotInitialised,
                            "The crypto engine is not initialised: call InitCryptoEngineByType first");
    }
}

std::string CryptoEngineObject::SetParam(const ParamList& params) {
    RequireInitialised();
    const std::string name = RequiredValue(params, "ParamName", "SetCryptoParamValue");
    if (name.empty()) throw EngineFailure(kEngineBadParameter, "SetCryptoParamValue needs a parameter name");
    const Param* value = FindParam(params, "Value");
    if (value == nullptr || value->value.empty()) {
        params_.erase(name);
    } else {
        params_[name] = value->value;
    }
    return {};
}

const std::string& CryptoEngineObject::Setting(std::string_view name) const {
    static const std::string kEmpty;
    const auto found = params_.find(name);
    return found == params_.end() ? kEmpty : found->second;
}

void CryptoEngineObject::Clear() {
    currentData_.clear();
    bound_.reset();
    authorities_.clear();
    revocationLists_.clear();
    signer_.reset();
}

std::string CryptoEngineObject::Export(const ParamList& params) {
    RequireInitialised();
    const int type = NumberValue(params, "DataType", "ExportCryptoObject", true);
    const int flags = NumberValue(params, "Flags", "ExportCryptoObject", false);
    const Param* dataParam = FindParam(params, "sParamData");
    const std::string_view data = dataParam ? std::string_view(dataParam->value) : std::string_view();
    currentData_.clear();
    switch (type) {
        case 11: ExportKeyPair(); break;
        case 14: ExportDescription(data); break;
        case 42: ExportPlainSignature(data); break;
        case 45: ExportSearch(data, flags); break;
        case 50: ExportKeyAlgorithm(data); break;
        case 61: ExportSignature(data, flags); break;
        case 63: ExportVerification(data, flags, false); break;
        case 64: ExportVerification(data, flags, true); break;
        default:
            throw EngineFailure(kEngineUnknownDataType,
                                "ExportCryptoObject does not know the data type " + std::to_string(type));
    }
    return {};
}

std::string CryptoEngineObject::Import(const ParamList& params) {
    RequireInitialised();
    const int type = NumberValue(params, "DataType", "ImportCryptoObject", true);
    const int flags = NumberValue(params, "Flags", "ImportCryptoObject", false);
    const Param* dataParam = FindParam(params, "sData");
    const std::string_view data = dataParam ? std::string_view(dataParam->value) : std::string_view();
    switch (type) {
        case 11: ImportSigner(data, flags); break;
        case 12: ImportAuthority(data); break;
        case 13: ImportKeyBinding(data); break;
        case 23: ImportRevocationList(data); break;
        default:
            throw EngineFailure(kEngineUnknownDataType,
                                "ImportCryptoObject does not know the data type " + std::to_string(type));
    }
    return {};
}

const BoundKey& CryptoEngineObject::Bound() const {
    if (!bound_) {
        throw EngineFailure(kEngineNoKeyBound,
                            "No key is bound: import the signer's certificate (data type 13) first");
    }
    return *bound_;
}

std::unique_ptr<PluginObject> CreateCryptoEngineObject() { return std::make_unique<CryptoEngineObject>(); }

}  // namespace nelvo::cryptoplugin
