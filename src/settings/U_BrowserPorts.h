// Publishes the listener ports into the browser's Local Storage, so that the bank's pages find
// the host after a port moved: for every origin of the trusted domains, the origin's SQLite
// Local Storage file of the Google Chrome default profile gets the port under a fixed key.
//
// Runs on the main thread while the host starts. The browser may hold the files open; SQLite's
// locking decides, and a refused write leaves that origin's old value and goes on with the next.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nelvo {

// The key a page reads from its localStorage.
inline constexpr char LocalStoragePortKey[] = "NelvoPluginHost_Port_ZRB";

// The Local Storage folder of Chrome's default profile, with a trailing separator.
std::string LocalStorageFolder();
// The folder exists; when it does not and logIfMissing, that is logged as a warning.
bool LocalStorageFolderExists(bool logIfMissing);

// Writes the ports, in order and under the one key, for every origin of domains (the trusted
// domain text, entries separated by ";"), one transaction per origin. Nothing happens for an
// empty domain text or a missing folder.
void PublishPorts(const std::string& domains, const std::vector<std::int32_t>& ports);

// The origins ("scheme://host:port", port 0 for the scheme's default) of the trusted domain
// text: a domain without scheme gives its https and then its http origin. Logs paths and
// missing ports it mends, and the list.
std::vector<std::string> BuildOriginList(const std::string& domains);
// The Local Storage file name of an origin: "https://bank.example:0" gives
// "https_bank.example_0.localstorage".
std::string LocalStorageFileName(const std::string& origin);
// The stored value of a port: its decimal text as UTF-16LE bytes, in upper-case hexadecimal
// (11742 gives "31003100370034003200").
std::string PortValueHex(std::int32_t port);

}  // namespace nelvo
