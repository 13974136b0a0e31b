// Signature verification as the host runs it (data types 12, 11 with flags 1, 23, then 63 or
// 64), with every error code a host maps to its own message.
#include <gtest/gtest.h>

#include "EngineDriver.h"
#include "TestPki.h"

namespace nelvo::cryptoplugin::test {
namespace {

constexpr char kSeparator = '\x01';

// A small PKI of the test's own: a root, a user it issued, and the odd certificates each
// failure needs.
struct Pki {
    Authority root;
    Authority user;
    Authority otherUser;
    Authority expiredUser;
    Authority forgedUser;    // names the root as issuer, signed by another key
    Authority notCa;         // a user certificate used as an issuer
    Authority underNotCa;

    Pki() {
        root.key = NewKey("EC");
        CertParams rootParams;
        rootParams.commonName = "Verify Root";
        rootParams.authority = true;
        root.certificate = MakeCertificate(rootParams, root.key.get(), nullptr);
        user = Issue("Verify User", root);
        otherUser = Issue("Other User", root);
        CertParams expired;
        expired.commonName = "Expired User";
        expired.notBeforeDays = -30;
        expired.notAfterDays = -2;
        expiredUser = Issue(expired, root);

        Authority impostor;
        impostor.key = NewKey("EC");
        impostor.certificate = MakeCertificate(rootParams, impostor.key.get(), nullptr);
        CertParams forged;
        forged.commonName = "Forged User";
        forged.authorityKeyId = false;  // so that the real root is taken for its issuer
        forgedUser = Issue(forged, impostor);
        notCa = Issue("Not A CA", root);
        underNotCa = Issue("Under Not A CA", notCa);
    }

    static Authority Issue(const std::string& name, const Authority& issuer) {
        CertParams wanted;
        wanted.commonName = name;
        return Issue(wanted, issuer);
    }
    static Authority Issue(const CertParams& wanted, const Authority& issuer) {
        Authority issued;
        issued.key = NewKey("RSA");
        issued.certificate = MakeCertificate(wanted, issued.key.get(), &issuer);
        return issued;
    }
};

const Pki& TestPki() {
    static const Pki pki;
    return pki;
}

struct Check {
    std::vector<std::string> authorities;    // Base64 DER
    std::string signer;
    std::vector<std::string> revocationLists;
};

// The host's order: CA certificates, the signer, the revocation lists; the first failed
// import ends it. The result is the engine's error code.
std::string Verify(const Check& check, const std::string& payload, bool plain, int flags = 7) {
    Engine engine;
    engine.Set("Crypto Provider", "");
    engine.Set("User UID Location", "SN");
    for (const std::string& authority : check.authorities) {
        if (!engine.Import(12, authority, 1)) return "import 12: " + engine.LastError().code;
    }
    if (!engine.Import(11, check.signer, 1)) return "import 11: " + engine.LastError().code;
    for (const std::string& list : check.revocationLists) {
        if (!engine.Import(23, list, 0)) return engine.LastError().code;
    }
    engine.Export(plain ? 64 : 63, Base64(payload), flags);
    EXPECT_FALSE(engine.LastError().code != "0" && engine.LastError().text.empty());
    return engine.LastError().code;
}

std::string B64(X509* certificate) { return Base64(Der(certificate)); }

std::string CmsPayload(const std::string& data, const std::string& signature) {
    return Base64(data) + kSeparator + Base64(signature);
}

TEST(Verification, CmsErrorCodes) {
    const Pki& pki = TestPki();
    const std::string data = "document";
    const auto sign = [&](const Authority& who) { return CmsSignature(who.key.get(), who.certificate.get(), data); };
    const std::string root = B64(pki.root.certificate.get());
    const std::string user = B64(pki.user.certificate.get());
    const std::string good = CmsPayload(data, sign(pki.user));
    const std::string crlRevoking = Base64(Der(MakeRevocationList(pki.root, {pki.user.certificate.get()}).get()));
    const std::string crlClean = Base64(Der(MakeRevocationList(pki.root, {}).get()));
    const std::string crlExpired = Base64(Der(MakeRevocationList(pki.root, {}, -10, -1).get()));
    Authority stranger;
    stranger.key = NewKey("EC");
    stranger.certificate = pki.root.certificate ? X509Ptr(X509_dup(pki.root.certificate.get())) : nullptr;
    const std::string crlBadSignature = Base64(Der(MakeRevocationList(stranger, {}).get()));
    const std::string truncated = CmsPayload(data, sign(pki.user).substr(0, 100));

    struct Case {
        const char* what;
        Check check;
        std::string payload;
        int flags;
        const char* code;
    };
    const Case cases[] = {
        {"valid", {{root}, user, {}}, good, 7, "0"},
        {"valid with a clean revocation list", {{root}, user, {crlClean}}, good, 7, "0"},
        {"another signer", {{root}, B64(pki.otherUser.certificate.get()), {}}, good, 7, "52"},
        {"data changed", {{root}, user, {}}, CmsPayload(data + "!", sign(pki.user)), 7, "60"},
        {"truncated CMS", {{root}, user, {}}, truncated, 7, "41"},
        {"not separated", {{root}, user, {}}, Base64(data), 7, "40"},
        {"no CA imported", {{}, user, {}}, good, 7, "49"},
        {"expired signer", {{root}, B64(pki.expiredUser.certificate.get()), {}},
         CmsPayload(data, sign(pki.expiredUser)), 7, "50"},
        {"expired signer, chain not asked", {{root}, B64(pki.expiredUser.certificate.get()), {}},
         CmsPayload(data, sign(pki.expiredUser)), 1, "0"},
        {"forged issuer signature", {{root}, B64(pki.forgedUser.certificate.get()), {}},
         CmsPayload(data, sign(pki.forgedUser)), 7, "51"},
        {"issuer not a CA", {{root, B64(pki.notCa.certificate.get())}, B64(pki.underNotCa.certificate.get()), {}},
         CmsPayload(data, sign(pki.underNotCa)), 7, "53"},
        {"revoked", {{root}, user, {crlRevoking}}, good, 7, "56"},
        {"revoked, lists not asked", {{root}, user, {crlRevoking}}, good, 3, "0"},
        {"expired revocation list", {{root}, user, {crlExpired}}, good, 7, "104"},
        {"revocation list of another key", {{root}, user, {crlBadSignature}}, good, 7, "104"},
        {"revocation list unreadable", {{root}, user, {Base64("garbage")}}, good, 7, "104"},
    };
    for (const Case& c : cases) EXPECT_EQ(Verify(c.check, c.payload, false, c.flags), c.code) << c.what;
}

TEST(Verification, PlainErrorCodes) {
    const Pki& pki = TestPki();
    const std::string data = "auth data";
    const std::string root = B64(pki.root.certificate.get());
    const std::string user = B64(pki.user.certificate.get());
    const std::string signature = PlainSignature(pki.user.key.get(), data);
    const auto payload = [&](const std::string& certificate, const std::string& content) {
        return certificate + kSeparator + Base64(content) + kSeparator + Base64(signature);
    };
    EXPECT_EQ(Verify({{root}, user, {}}, payload(user, data), true), "0");
    EXPECT_EQ(Verify({{root}, user, {}}, payload(user, "other"), true), "60");
    EXPECT_EQ(Verify({{root}, B64(pki.otherUser.certificate.get()), {}}, payload(user, data), true), "52");
    EXPECT_EQ(Verify({{root}, user, {}}, Base64(data) + kSeparator + Base64(signature), true), "40");
}

TEST(Verification, BadImportsStopTheCheck) {
    EXPECT_EQ(Verify({{Base64("not a certificate")}, "", {}}, "", false), "import 12: 11");
    EXPECT_EQ(Verify({{}, "", {}}, "", false), "import 11: 11");
}

TEST(Verification, SignaturesMadeByThePluginVerify) {
    const X509Ptr certificate = DemoUserCertificate();
    const Check check{{B64(DemoAuthority().certificate.get())}, B64(certificate.get()), {}};
    for (const int flags : {2, 0}) {  // detached, attached
        Engine signer;
        ASSERT_TRUE(signer.Import(13, B64(certificate.get())));
        signer.Set("Include signer cert in sign", "Yes");
        ASSERT_TRUE(signer.Export(61, Base64("round trip"), flags));
        const std::string signature = signer.CurrentData();
        EXPECT_EQ(Verify(check, CmsPayload("round trip", signature), false), "0") << flags;
        EXPECT_EQ(Verify(check, CmsPayload("round trap", signature), false), "60") << flags;
    }
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test
