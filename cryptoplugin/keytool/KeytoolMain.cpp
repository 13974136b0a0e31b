// nelvo-keytool: the key store of the reference crypto plugin from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "engine/GostSupport.h"
#include "keystore/KeyStore.h"
#include "keytool/DemoSetup.h"
#include "keytool/KeytoolCommands.h"
#include "objects/ObjectError.h"

namespace {

using namespace nelvo::cryptoplugin;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::ostream& out) {
    out << "Usage: nelvo-keytool COMMAND [ARGUMENTS]\n"
           "Works on the key store in $NELVO_KEYSTORE (default ~/.local/share/NelvoPlugin/keys).\n\n"
           "  demo                      create the demo CA and a demo user container (once)\n"
           "  list                      one line per container: name, subject, serial, validity\n"
           "  import-p12 FILE [NAME]    import a PKCS#12 file (pass phrase in NELVO_P12_PASSWORD)\n"
           "  install-cert FILE         put an issued certificate into the container of its key\n"
           "  export-ca FILE            write the demo CA certificate as PEM (\"-\": standard output)\n";
}

int Run(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        PrintUsage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? kExitUsage : 0;
    }
    const std::string& command = args[0];
    const std::size_t arguments = args.size() - 1;
    const auto wants = [&](std::size_t least, std::size_t most) { return arguments >= least && arguments <= most; };
    GostAvailable();  // GOST keys in the store must be readable
    const KeyStore store = KeyStore::FromEnvironment();
    if (command == "demo" && wants(0, 0)) {
        keytool::RunDemo(store, std::cout);
    } else if (command == "list" && wants(0, 0)) {
        keytool::ListContainers(store, std::cout);
    } else if (command == "import-p12" && wants(1, 2)) {
        keytool::ImportPkcs12(store, args[1], arguments == 2 ? args[2] : "", std::cout);
    } else if (command == "install-cert" && wants(1, 1)) {
        keytool::InstallCertificate(store, args[1], std::cout);
    } else if (command == "export-ca" && wants(1, 1)) {
        keytool::ExportDemoAuthority(store, args[1], std::cout);
    } else {
        std::cerr << "nelvo-keytool: unknown command or wrong arguments: " << command << "\n\n";
        PrintUsage(std::cerr);
        return kExitUsage;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const ObjectError& error) {
        std::cerr << "nelvo-keytool: " << error.what() << "\n";
    } catch (const std::exception& error) {
        std::cerr << "nelvo-keytool: " << error.what() << "\n";
    }
    return kExitFailure;
}
