#include "keytool/DemoSetup.h"

#include <ostream>
#include <stdexcept>

#include "engine/Certificates.h"
#include "engine/KeyGeneration.h"
#include "keytool/CertificateIssuer.h"

namespace nelvo::cryptoplugin::keytool {

namespace {

struct Authority {
    X509Ptr certificate;
    PkeyPtr key;
};

Authority LoadAuthority(const ContainerFiles& files) {
    Authority authority{CertificateFromPem(files.certificatePem), PrivateKeyFromPem(files.keyPem)};
    if (!authority.certificate || !authority.key) {
        throw std::runtime_error("the demo CA container \"" + files.name + "\" is damaged");
    }
    return authority;
}

Authority CreateAuthority(const KeyStore& store, std::ostream& out) {
    PkeyPtr key = GenerateKey({"EC", ""});
    X509NamePtr subject = BuildName({{"CN", "Nelvo Demo CA"}, {"O", "Nelvo"}, {"C", "RU"}});
    IssueParams wanted;
    wanted.subject = subject.get();
    wanted.publicKey = key.get();
    wanted.days = 3650;
    wanted.authority = true;
    wanted.keyUsages = "KEYCERTSIGN;CRLSIGN";
    X509Ptr certificate = IssueCertificate(wanted, nullptr, key.get());
    store.Create({kDemoCaContainer, PrivateKeyToPem(key.get()), {}, CertificateToPem(certificate.get())});
    out << "Created the demo CA container \"" << kDemoCaContainer << "\"\n";
    return {std::move(certificate), std::move(key)};
}

void CreateUser(const KeyStore& store, const Authority& authority, std::ostream& out) {
    PkeyPtr key = GenerateKey({"RSA", "2048"});
    X509NamePtr subject = BuildName({
        {"CN", "Иванов Иван Иванович"},
        {"SurName", "Иванов"},
        {"GivenName", "Иван Иванович"},
        {"T", "Генеральный директор"},
        {"O", "ООО \"Демо Клиент\""},
        {"OU", "Бухгалтерия"},
        {"C", "RU"},
        {"S", "77 г. Москва"},
        {"L", "г. Москва"},
        {"STREET", "ул. Примерная, д. 1"},
        {"E", "demo@example.ru"},
        {"INN", "007701234567"},
        {"OGRN", "1027700000001"},
        {"SNILS", "12345678901"},
    });
    IssueParams wanted;
    wanted.subject = subject.get();
    wanted.publicKey = key.get();
    wanted.days = 730;
    wanted.keyUsages = "DIGITALSIGNATURE;NONREPUDIATION";
    wanted.extendedKeyUsages = "1.3.6.1.5.5.7.3.2;1.3.6.1.5.5.7.3.4";
    wanted.signTool = "Nelvo reference crypto plugin";
    wanted.policies = {"1.2.643.100.113.1"};
    wanted.revocationListUrl = "http://localhost/nelvo-demo-ca.crl";
    X509Ptr certificate = IssueCertificate(wanted, authority.certificate.get(), authority.key.get());
    store.Create({kDemoUserContainer, PrivateKeyToPem(key.get()), {}, CertificateToPem(certificate.get())});
    out << "Created the demo user container \"" << kDemoUserContainer << "\"\n";
}

}  // namespace

void RunDemo(const KeyStore& store, std::ostream& out) {
    // Two runs at once (a script and a developer) may both find the store empty; the container
    // that the other run made first is taken as it is.
    std::optional<ContainerFiles> existing = store.Load(kDemoCaContainer);
    if (!existing) {
        try {
            CreateAuthority(store, out);
        } catch (const KeyStoreError& error) {
            if (error.GetKind() != KeyStoreError::Kind::Exists) throw;
        }
        existing = store.Load(kDemoCaContainer);
        if (!existing) throw std::runtime_error("the demo CA container vanished");
    }
    const Authority authority = LoadAuthority(*existing);
    if (!store.Load(kDemoUserContainer)) {
        try {
            CreateUser(store, authority, out);
            return;
        } catch (const KeyStoreError& error) {
            if (error.GetKind() != KeyStoreError::Kind::Exists) throw;
        }
    }
    out << "The demo containers are in place in " << store.Root().string() << "\n";
}

}  // namespace nelvo::cryptoplugin::keytool
