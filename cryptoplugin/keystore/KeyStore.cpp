#include "keystore/KeyStore.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "keystore/PrivateFiles.h"

namespace nelvo::cryptoplugin {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxNameLength = 200;

fs::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) {
        return user->pw_dir;
    }
    throw KeyStoreError(KeyStoreError::Kind::Io, "cannot find the home folder for the key store");
}

void CheckName(std::string_view name) {
    if (!IsValidContainerName(name)) {
        throw KeyStoreError(KeyStoreError::Kind::BadName,
                            "invalid container name \"" + std::string(name) + "\"");
    }
}

template <typename Action>
auto GuardIo(Action&& action) {
    try {
        return action();
    } catch (const KeyStoreIoError& error) {
        throw KeyStoreError(KeyStoreError::Kind::Io, error.what());
    } catch (const fs::filesystem_error& error) {
        throw KeyStoreError(KeyStoreError::Kind::Io, error.what());
    }
}

}  // namespace

bool IsValidContainerName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameLength || name.front() == '.') return false;
    if (name.find("..") != std::string_view::npos) return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
}

KeyStore::KeyStore(fs::path root) : root_(std::move(root)) {}

KeyStore KeyStore::FromEnvironment() {
    if (const char* root = std::getenv("NELVO_KEYSTORE"); root != nullptr && *root != '\0') {
        return KeyStore(root);
    }
    return KeyStore(HomeFolder() / ".local" / "share" / "NelvoPlugin" / "keys");
}

fs::path KeyStore::ContainerPath(std::string_view name) const {
    CheckName(name);
    return root_ / std::string(name);
}

std::vector<std::string> KeyStore::Names() const {
    return GuardIo([&] {
        std::vector<std::string> names;
        std::error_code error;
        fs::directory_iterator entries(root_, error);
        if (error) return names;  // no store yet
        for (const fs::directory_entry& entry : entries) {
            const std::string name = entry.path().filename().string();
            if (IsValidContainerName(name) && entry.is_directory(error)) names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    });
}

std::optional<ContainerFiles> KeyStore::Load(std::string_view name) const {
    const fs::path folder = ContainerPath(name);
    return GuardIo([&]() -> std::optional<ContainerFiles> {
        std::optional<std::string> key = ReadWholeFile(folder / kKeyFile);
        if (!key) return std::nullopt;
        ContainerFiles files{std::string(name), std::move(*key), {}, {}};
        files.requestPem = ReadWholeFile(folder / kRequestFile).value_or("");
        files.certificatePem = ReadWholeFile(folder / kCertificateFile).value_or("");
        return files;
    });
}

void KeyStore::Create(const ContainerFiles& files) const {
    const fs::path folder = ContainerPath(files.name);
    std::vector<NamedText> texts{{std::string(kKeyFile), files.keyPem}};
    if (!files.requestPem.empty()) texts.push_back({std::string(kRequestFile), files.requestPem});
    if (!files.certificatePem.empty()) {
        texts.push_back({std::string(kCertificateFile), files.certificatePem});
    }
    const bool created = GuardIo([&] {
        EnsurePrivateDirectory(root_);
        return CreatePrivateFolderAtomically(folder, texts);
    });
    if (!created) {
        throw KeyStoreError(KeyStoreError::Kind::Exists,
                            "container \"" + files.name + "\" already exists");
    }
}

void KeyStore::SetCertificate(std::string_view name, std::string_view certificatePem) const {
    const fs::path folder = ContainerPath(name);
    GuardIo([&] {
        if (!fs::is_directory(folder)) {
            throw KeyStoreError(KeyStoreError::Kind::Missing,
                                "no container \"" + std::string(name) + "\"");
        }
        WritePrivateFileAtomically(folder / kCertificateFile, certificatePem);
        return 0;
    });
}

}  // namespace nelvo::cryptoplugin
