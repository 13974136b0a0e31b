// The commands of nelvo-keytool besides "demo". Each raises std::runtime_error (or a key store
// or engine error) with a message for the user.
#pragma once

#include <iosfwd>
#include <string>

#include "keystore/KeyStore.h"

namespace nelvo::cryptoplugin::keytool {

// One line per container: name, subject, serial, validity (tab-separated).
void ListContainers(const KeyStore& store, std::ostream& out);

// A PKCS#12 file's key and certificate as a new container. The pass phrase comes from the
// environment (NELVO_P12_PASSWORD), never from the command line, where other users see it.
void ImportPkcs12(const KeyStore& store, const std::string& file, const std::string& containerName,
                  std::ostream& out);

// An issued certificate (PEM, DER or Base64) into the container that holds its key.
void InstallCertificate(const KeyStore& store, const std::string& file, std::ostream& out);

// The demo CA's certificate as PEM into the file ("-" for standard output).
void ExportDemoAuthority(const KeyStore& store, const std::string& file, std::ostream& out);

}  // namespace nelvo::cryptoplugin::keytool
