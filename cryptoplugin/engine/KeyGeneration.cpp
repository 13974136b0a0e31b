#include "engine/KeyGeneration.h"

#include <openssl/objects.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <charconv>

#include "engine/Digests.h"
#include "engine/EngineErrors.h"
#include "engine/GostSupport.h"

namespace nelvo::cryptoplugin {

namespace {

struct NameKind {
    std::string_view key;
    int nid;
    int type;  // the string type the attribute's standard asks for
};

constexpr NameKind kNameKinds[] = {
    {"C", NID_countryName, V_ASN1_PRINTABLESTRING},
    {"S", NID_stateOrProvinceName, MBSTRING_UTF8},
    {"L", NID_localityName, MBSTRING_UTF8},
    {"STREET", NID_streetAddress, MBSTRING_UTF8},
    {"O", NID_organizationName, MBSTRING_UTF8},
    {"OU", NID_organizationalUnitName, MBSTRING_UTF8},
    {"T", NID_title, MBSTRING_UTF8},
    {"SurName", NID_surname, MBSTRING_UTF8},
    {"GivenName", NID_givenName, MBSTRING_UTF8},
    {"CN", NID_commonName, MBSTRING_UTF8},
    {"E", NID_pkcs9_emailAddress, V_ASN1_IA5STRING},
    {"INN", NID_INN, V_ASN1_NUMERICSTRING},
    {"OGRN", NID_OGRN, V_ASN1_NUMERICSTRING},
    {"OGRNIP", NID_OGRNIP, V_ASN1_NUMERICSTRING},
    {"SNILS", NID_SNILS, V_ASN1_NUMERICSTRING},
};

const NameKind* FindKind(std::string_view key) {
    for (const NameKind& kind : kNameKinds) {
        if (kind.key == key) return &kind;
    }
    return nullptr;
}

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

[[noreturn]] void BadParameter(const std::string& text) {
    throw EngineFailure(kEngineBadKeyParameters, text);
}

void CheckValue(const NameKind& kind, const std::string& value) {
    if (kind.type == V_ASN1_NUMERICSTRING && !AllDigits(value)) {
        BadParameter("The " + std::string(kind.key) + " \"" + value + "\" must consist of digits only");
    }
    if (kind.type == V_ASN1_PRINTABLESTRING && (value.size() != 2 || !IsAscii(value))) {
        BadParameter("The country \"" + value + "\" must be a two-letter code");
    }
    if (kind.type == V_ASN1_IA5STRING && !IsAscii(value)) {
        BadParameter("The e-mail address \"" + value + "\" must be ASCII text");
    }
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

int ParseBits(std::string_view text, int fallback) {
    if (text.empty()) return fallback;
    int bits = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bits);
    if (error != std::errc() || end != text.data() + text.size()) {
        BadParameter("The key length \"" + std::string(text) + "\" is not a number");
    }
    return bits;
}

PkeyPtr Generate(EVP_PKEY_CTX* context, const char* what) {
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_keygen(context, &key) != 1) {
        throw EngineFailure(kEngineInternal, std::string("Cannot generate the ") + what + " key");
    }
    return PkeyPtr(key);
}

PkeyPtr GenerateRsa(int bits) {
    if (bits < 2048 || bits > 4096) {
        BadParameter("An RSA key must have 2048 to 4096 bits, not " + std::to_string(bits));
    }
    PkeyCtxPtr context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), bits) != 1) {
        throw EngineFailure(kEngineInternal, "Cannot prepare RSA key generation");
    }
    return Generate(context.get(), "RSA");
}

PkeyPtr GenerateP256(int bits) {
    if (bits != 256) BadParameter("An EC key is a P-256 key of 256 bits, not " + std::to_string(bits));
    PkeyCtxPtr context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_group_name(context.get(), "P-256") != 1) {
        throw EngineFailure(kEngineInternal, "Cannot prepare EC key generation");
    }
    return Generate(context.get(), "EC");
}

PkeyPtr GenerateGost(int nid, int bits, int expectedBits) {
    if (bits != expectedBits) {
        BadParameter("This GOST key has " + std::to_string(expectedBits) + " bits, not " + std::to_string(bits));
    }
    if (!GostAvailable()) {
        throw EngineFailure(kEngineGostUnavailable,
                            "GOST support is not available: the OpenSSL \"gost\" engine cannot be loaded");
    }
    PkeyCtxPtr context(EVP_PKEY_CTX_new_id(nid, GostEngine()));
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_CTX_ctrl_str(context.get(), "paramset", "A") <= 0) {
        throw EngineFailure(kEngineInternal, "Cannot prepare GOST key generation");
    }
    return Generate(context.get(), "GOST");
}

struct UsageName {
    std::string_view name;
    const char* value;
};

constexpr UsageName kUsages[] = {
    {"DIGITALSIGNATURE", "digitalSignature"}, {"NONREPUDIATION", "nonRepudiation"},
    {"KEYENCIPHERMENT", "keyEncipherment"},   {"DATAENCIPHERMENT", "dataEncipherment"},
    {"KEYAGREEMENT", "keyAgreement"},         {"KEYCERTSIGN", "keyCertSign"},
    {"CRLSIGN", "cRLSign"},                   {"ENCIPHERONLY", "encipherOnly"},
    {"DECIPHERONLY", "decipherOnly"},
};

ExtensionPtr ConfExtension(int nid, const std::string& value) {
    ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, nullptr, nid, value.c_str()));
    if (!extension) throw EngineFailure(kEngineBadKeyParameters, "Invalid extension value \"" + value + "\"");
    return extension;
}

}  // namespace

std::vector<std::string> SplitList(std::string_view text, char delimiter) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(delimiter, start), text.size());
        std::string item = Trim(text.substr(start, end - start));
        if (!item.empty()) items.push_back(std::move(item));
        start = end + 1;
    }
    return items;
}

X509NamePtr BuildName(const std::vector<NameField>& fields) {
    X509NamePtr name(X509_NAME_new());
    if (!name) throw std::bad_alloc();
    for (const NameKind& kind : kNameKinds) {  // standard order, whatever the input order
        for (const NameField& field : fields) {
            if (field.key != kind.key || field.value.empty()) continue;
            CheckValue(kind, field.value);
            const int type = kind.type == MBSTRING_UTF8 ? MBSTRING_UTF8 : kind.type;
            if (X509_NAME_add_entry_by_NID(name.get(), kind.nid, type,
                                           reinterpret_cast<const unsigned char*>(field.value.data()),
                                           static_cast<int>(field.value.size()), -1, 0) != 1) {
                throw EngineFailure(kEngineBadKeyParameters,
                                    "Invalid " + field.key + " value \"" + field.value + "\"");
            }
        }
    }
    for (const NameField& field : fields) {
        if (FindKind(field.key) == nullptr) throw std::logic_error("unknown name key " + field.key);
    }
    if (X509_NAME_entry_count(name.get()) == 0) BadParameter("The subject has no field");
    return name;
}

PkeyPtr GenerateKey(const KeyParams& wanted) {
    const std::string algorithm = Upper(Trim(wanted.algorithm));
    if (algorithm == "RSA") return GenerateRsa(ParseBits(wanted.length, 2048));
    if (algorithm == "EC") return GenerateP256(ParseBits(wanted.length, 256));
    if (algorithm == "GOST2012_256") {
        return GenerateGost(NID_id_GostR3410_2012_256, ParseBits(wanted.length, 256), 256);
    }
    if (algorithm == "GOST2012_512") {
        return GenerateGost(NID_id_GostR3410_2012_512, ParseBits(wanted.length, 512), 512);
    }
    BadParameter("Unknown key algorithm \"" + wanted.algorithm +
                 "\": use RSA, EC, GOST2012_256 or GOST2012_512");
}

ExtensionPtr KeyUsageExtension(std::string_view keyUsages) {
    std::string value = "critical";
    for (const std::string& item : SplitList(keyUsages)) {
        const std::string upper = Upper(item);
        const auto* found = std::find_if(std::begin(kUsages), std::end(kUsages),
                                         [&](const UsageName& usage) { return usage.name == upper; });
        if (found == std::end(kUsages)) BadParameter("Unknown key usage \"" + item + "\"");
        value += std::string(",") + found->value;
    }
    if (value == "critical") return nullptr;
    return ConfExtension(NID_key_usage, value);
}

ExtensionPtr ExtendedKeyUsageExtension(std::string_view identifiers) {
    std::string value;
    for (const std::string& item : SplitList(identifiers)) {
        AsnObjectPtr object(OBJ_txt2obj(item.c_str(), 1));
        if (!object) BadParameter("Invalid key usage identifier \"" + item + "\"");
        value += (value.empty() ? "" : ",") + item;
    }
    if (value.empty()) return nullptr;
    return ConfExtension(NID_ext_key_usage, value);
}

ExtensionPtr SignToolExtension(std::string_view tool) {
    if (tool.empty()) return nullptr;
    OsslPtr<ASN1_UTF8STRING, ASN1_UTF8STRING_free> text(ASN1_UTF8STRING_new());
    if (!text || ASN1_STRING_set(text.get(), tool.data(), static_cast<int>(tool.size())) != 1) {
        throw std::bad_alloc();
    }
    unsigned char* der = nullptr;
    const int size = i2d_ASN1_UTF8STRING(text.get(), &der);
    if (size <= 0) throw EngineFailure(kEngineInternal, "Cannot encode the sign tool");
    OsslPtr<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free> octets(ASN1_OCTET_STRING_new());
    const bool set = octets && ASN1_OCTET_STRING_set(octets.get(), der, size) == 1;
    OPENSSL_free(der);
    if (!set) throw std::bad_alloc();
    return ExtensionPtr(X509_EXTENSION_create_by_NID(nullptr, NID_subjectSignTool, 0, octets.get()));
}

X509ReqPtr BuildRequest(EVP_PKEY* key, const RequestParams& wanted) {
    X509ReqPtr request(X509_REQ_new());
    X509NamePtr subject = BuildName(wanted.subject);
    if (!request || X509_REQ_set_version(request.get(), 0) != 1 ||
        X509_REQ_set_subject_name(request.get(), subject.get()) != 1 ||
        X509_REQ_set_pubkey(request.get(), key) != 1) {
        throw EngineFailure(kEngineInternal, "Cannot build the certificate request");
    }
    OsslPtr<STACK_OF(X509_EXTENSION), [](STACK_OF(X509_EXTENSION) * stack) {
        sk_X509_EXTENSION_pop_free(stack, X509_EXTENSION_free);
    }> extensions(sk_X509_EXTENSION_new_null());
    ExtensionPtr made[] = {KeyUsageExtension(wanted.keyUsages),
                           ExtendedKeyUsageExtension(wanted.extendedKeyUsages),
                           SignToolExtension(wanted.signTool)};
    for (ExtensionPtr& extension : made) {
        if (extension && sk_X509_EXTENSION_push(extensions.get(), extension.get()) > 0) {
            extension.release();
        }
    }
    if (sk_X509_EXTENSION_num(extensions.get()) > 0 &&
        X509_REQ_add_extensions(request.get(), extensions.get()) != 1) {
        throw EngineFailure(kEngineInternal, "Cannot add the request extensions");
    }
    const EVP_MD* digest = ChooseDigest(wanted.hashAlgorithm, key);
    if (X509_REQ_sign(request.get(), key, digest) <= 0) {
        throw EngineFailure(kEngineSignFailed, "Cannot sign the certificate request");
    }
    return request;
}

}  // namespace nelvo::cryptoplugin
