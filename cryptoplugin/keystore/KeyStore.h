// The key store: one folder per key container under one root folder. A container holds the
// private key ("key.pem"), and, once they exist, the certificate request ("request.pem") and
// the certificate ("certificate.pem"), all PEM texts. A container appears whole or not at all;
// a certificate installed later replaces its file atomically. Instances in one process and
// several processes may use the same store at once: nothing is ever rewritten in place.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nelvo::cryptoplugin {

inline constexpr std::string_view kKeyFile = "key.pem";
inline constexpr std::string_view kRequestFile = "request.pem";
inline constexpr std::string_view kCertificateFile = "certificate.pem";

struct ContainerFiles {
    std::string name;
    std::string keyPem;
    std::string requestPem;      // empty when there is none
    std::string certificatePem;  // empty when there is none
};

class KeyStoreError : public std::runtime_error {
public:
    enum class Kind { BadName, Exists, Missing, Io };
    KeyStoreError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
    Kind GetKind() const { return kind_; }

private:
    Kind kind_;
};

// A name is one folder name: not empty, at most 200 bytes, no "/", "\", control characters,
// ".." or a leading dot (hidden entries are the store's own temporary ones).
bool IsValidContainerName(std::string_view name);

class KeyStore {
public:
    explicit KeyStore(std::filesystem::path root);
    // $NELVO_KEYSTORE, else ~/.local/share/NelvoPlugin/keys.
    static KeyStore FromEnvironment();

    const std::filesystem::path& Root() const { return root_; }

    // Container names, sorted. An absent store has none.
    std::vector<std::string> Names() const;
    // The container's files, or nothing when there is no such container.
    std::optional<ContainerFiles> Load(std::string_view name) const;
    // Creates a new container; Exists when the name is taken.
    void Create(const ContainerFiles& files) const;
    // Puts the certificate into an existing container.
    void SetCertificate(std::string_view name, std::string_view certificatePem) const;

private:
    std::filesystem::path ContainerPath(std::string_view name) const;

    std::filesystem::path root_;
};

}  // namespace nelvo::cryptoplugin
