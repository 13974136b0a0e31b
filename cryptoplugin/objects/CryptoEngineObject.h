// "VEDuzoziVavodaDizodizi": the crypto engine. A host initialises it by type, sets named
// parameters, imports certificates and revocation lists, and exports objects (descriptions,
// signatures, key pairs with requests, search results, verification outcomes) into the
// engine's current data, which it then reads through GetProperty.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/KeyBinding.h"
#include "engine/Ossl.h"
#include "objects/PluginObject.h"

namespace nelvo::cryptoplugin {

inline constexpr std::string_view kCryptoEngineClassName = "VEDuzoziVavodaDizodizi";

class CryptoEngineObject final : public PluginObject {
public:
    CryptoEngineObject();

protected:
    std::string Invoke(std::string_view method, const ParamList& params) override;
    std::string Property(std::string_view name) override;

private:
    std::string Init(const ParamList& params);
    std::string SetParam(const ParamList& params);
    std::string Export(const ParamList& params);
    std::string Import(const ParamList& params);
    void Clear();
    void RequireInitialised() const;

    // Exports by data type.
    void ExportKeyPair();
    void ExportDescription(std::string_view data);
    void ExportSignature(std::string_view data, int flags);
    void ExportPlainSignature(std::string_view data);
    void ExportSearch(std::string_view data, int flags);
    void ExportKeyAlgorithm(std::string_view data);
    void ExportVerification(std::string_view data, int flags, bool plain);

    // Imports by data type.
    void ImportKeyBinding(std::string_view data);
    void ImportAuthority(std::string_view data);
    void ImportSigner(std::string_view data, int flags);
    void ImportRevocationList(std::string_view data);

    const std::string& Setting(std::string_view name) const;
    const BoundKey& Bound() const;

    bool initialised_ = false;
    std::map<std::string, std::string, std::less<>> params_;
    std::string currentData_;
    std::unique_ptr<BoundKey> bound_;
    std::vector<X509Ptr> authorities_;
    std::vector<X509CrlPtr> revocationLists_;
    X509Ptr signer_;
};

std::unique_ptr<PluginObject> CreateCryptoEngineObject();

}  // namespace nelvo::cryptoplugin
