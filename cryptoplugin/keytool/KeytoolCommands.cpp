#include "keytool/KeytoolCommands.h"

#include <openssl/pkcs12.h>

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "engine/Certificates.h"
#include "engine/KeyBinding.h"
#include "keystore/PrivateFiles.h"
#include "keytool/DemoSetup.h"

namespace nelvo::cryptoplugin::keytool {

namespace {

std::string ReadInput(const std::string& file) {
    std::optional<std::string> text = ReadWholeFile(file);
    if (!text) throw std::runtime_error("no such file: " + file);
    return std::move(*text);
}

std::string Validity(X509* certificate) {
    return FormatTime(X509_get0_notBefore(certificate)) + " - " + FormatTime(X509_get0_notAfter(certificate));
}

std::string DescribeContainer(const ContainerFiles& files) {
    if (files.certificatePem.empty()) {
        return files.requestPem.empty() ? "(no certificate)\t\t" : "(certificate requested)\t\t";
    }
    X509Ptr certificate = CertificateFromPem(files.certificatePem);
    if (!certificate) return "(unreadable certificate)\t\t";
    return NameLine(X509_get_subject_name(certificate.get())) + "\t" + SerialHex(certificate.get()) + "\t" +
           Validity(certificate.get());
}

// DER, PEM or Base64: whatever a certificate authority hands out.
X509Ptr ReadCertificateFile(const std::string& file) {
    const std::string text = ReadInput(file);
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(text.data());
    if (X509Ptr der{d2i_X509(nullptr, &cursor, static_cast<long>(text.size()))}) return der;
    try {
        return ParseCertificate(text);
    } catch (const std::exception&) {
        throw std::runtime_error(file + " holds no certificate");
    }
}

}  // namespace

void ListContainers(const KeyStore& store, std::ostream& out) {
    for (const std::string& name : store.Names()) {
        if (std::optional<ContainerFiles> files = store.Load(name)) {
            out << name << "\t" << DescribeContainer(*files) << "\n";
        }
    }
}

void ImportPkcs12(const KeyStore& store, const std::string& file, const std::string& containerName,
                  std::ostream& out) {
    const std::string text = ReadInput(file);
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(text.data());
    OsslPtr<PKCS12, PKCS12_free> bundle(d2i_PKCS12(nullptr, &cursor, static_cast<long>(text.size())));
    if (!bundle) throw std::runtime_error(file + " is not a PKCS#12 file");
    const char* passphrase = std::getenv("NELVO_P12_PASSWORD");
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    if (PKCS12_parse(bundle.get(), passphrase ? passphrase : "", &key, &certificate, &chain) != 1) {
        throw std::runtime_error("cannot open " + file + ": wrong pass phrase in NELVO_P12_PASSWORD?");
    }
    PkeyPtr ownedKey(key);
    X509Ptr ownedCertificate(certificate);
    X509StackPtr ownedChain(chain);
    if (!ownedKey || !ownedCertificate) throw std::runtime_error(file + " holds no key with its certificate");
    const std::string name = containerName.empty() ? "P12-" + SerialHex(ownedCertificate.get()) : containerName;
    store.Create({name, PrivateKeyToPem(ownedKey.get()), {}, CertificateToPem(ownedCertificate.get())});
    out << "Imported " << file << " into the container \"" << name << "\"\n";
}

void InstallCertificate(const KeyStore& store, const std::string& file, std::ostream& out) {
    X509Ptr certificate = ReadCertificateFile(file);
    const BoundKey bound = FindKeyForCertificate(store, certificate.get(), "");
    store.SetCertificate(bound.container, CertificateToPem(certificate.get()));
    out << "Installed the certificate " << SerialHex(certificate.get()) << " into the container \""
        << bound.container << "\"\n";
}

void ExportDemoAuthority(const KeyStore& store, const std::string& file, std::ostream& out) {
    const std::optional<ContainerFiles> files = store.Load(kDemoCaContainer);
    if (!files || files->certificatePem.empty()) {
        throw std::runtime_error("there is no demo CA in " + store.Root().string() + ": run \"nelvo-keytool demo\" first");
    }
    if (file == "-") {
        out << files->certificatePem;
        return;
    }
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    if (!(stream << files->certificatePem) || !stream.flush()) throw std::runtime_error("cannot write " + file);
    out << "Wrote the demo CA certificate to " << file << "\n";
}

}  // namespace nelvo::cryptoplugin::keytool
