#include "EngineDriver.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

namespace nelvo::cryptoplugin::test {

Engine::Engine(bool initialise) {
    if (initialise) {
        EXPECT_TRUE(Call("InitCryptoEngineByType", {"sCryptoEngineType=8"})) << error_.text;
    }
}

Engine::~Engine() {
    if (id_.empty()) return;
    Send(id_, kEngineClass, "ClearCash");
    Send(id_, kEngineClass, "Release");
}

bool Engine::Call(std::string_view method, const std::vector<std::string>& lines) {
    const Reply reply = Send(id_, kEngineClass, method, lines);
    id_ = reply.id;
    error_ = ReadError(kEngineClass, id_);
    return error_.code == "0";
}

bool Engine::Set(std::string_view name, std::string_view value) {
    return Call("SetCryptoParamValue", {"ParamName=" + std::string(name), "Value=" + std::string(value)});
}

bool Engine::Export(int dataType, std::string_view data, int flags) {
    return Call("ExportCryptoObject", {"DataType=" + std::to_string(dataType), "sParamData=" + std::string(data),
                                       "Flags=" + std::to_string(flags)});
}

bool Engine::Import(int dataType, std::string_view data, int flags) {
    return Call("ImportCryptoObject", {"DataType=" + std::to_string(dataType), "Flags=" + std::to_string(flags),
                                       "sData=" + std::string(data)});
}

std::string Engine::Property(std::string_view name) {
    const Reply reply = Send(id_, kEngineClass, "GetProperty", {std::string(name)});
    error_ = ReadError(kEngineClass, id_);
    return reply.result;
}

std::string Engine::CurrentData() { return Unbase64(Property("MimeCurrentData")); }

void SetSessionParameters(Engine& engine, std::string_view serial, std::string_view hashAlgorithm) {
    for (const char* name : {"Crypto Provider", "User certificate file", "CA certificates dir",
                             "Abonents cerificates dir", "CRL dir"}) {
        engine.Set(name, "");
    }
    engine.Set("User UID (Common name)", serial);
    engine.Set("Hash Algorithm", hashAlgorithm);
    engine.Set("Key request time out", "2147483647");
    engine.Set("Last operation key time out", "2147483647");
    engine.Set("User UID Location", "SN");
    engine.Set("Container Name Location", "SYS_REF");
    engine.Set("Include signer cert in sign", "Yes");
    engine.Set("Verify certificate on sign", "No");
}

std::string Base64(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int size = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                     reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(size));
    return text;
}

std::string Unbase64(std::string_view text) {
    std::string flat;
    for (const char c : text) {
        if (c != '\r' && c != '\n') flat += c;
    }
    if (flat.size() % 4 != 0) {
        ADD_FAILURE() << "not Base64: " << text;
        return {};
    }
    std::string bytes(flat.size() / 4 * 3 + 1, '\0');
    const int size = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                     reinterpret_cast<const unsigned char*>(flat.data()), static_cast<int>(flat.size()));
    if (size < 0) {
        ADD_FAILURE() << "not Base64: " << text;
        return {};
    }
    std::size_t padding = 0;
    while (padding < 2 && padding < flat.size() && flat[flat.size() - 1 - padding] == '=') ++padding;
    bytes.resize(static_cast<std::size_t>(size) - padding);
    return bytes;
}

}  // namespace nelvo::cryptoplugin::test
