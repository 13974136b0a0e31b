// A certificate as the crypto engine describes it: named fields read from its description text.
// Records, key sessions and the confirmation dialog read certificate facts only through this.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nelvo {

// Ordered (key, value) pairs: insertion order kept, duplicate keys allowed, keys compared
// exactly; a look-up answers the first pair with the key.
class TCertFieldsDictionary {
public:
    using TPair = std::pair<std::string, std::string>;

    void Add(std::string key, std::string value) {
        pairs_.emplace_back(std::move(key), std::move(value));
    }
    void Clear() { pairs_.clear(); }
    bool Empty() const { return pairs_.empty(); }
    std::size_t Count() const { return pairs_.size(); }
    const std::vector<TPair>& Pairs() const { return pairs_; }
    // The first value stored under the key, or nullptr.
    const std::string* Find(std::string_view key) const;

private:
    std::vector<TPair> pairs_;
};

// The keys whose value runs over the lines after a "key=" line, up to the first empty line.
inline constexpr const char* CertMultiLineKeys[] = {"PKey",     "EPKey",  "SPKey",    "CRLDp",
                                                    "CertSign", "LibRep", "CPolicies"};

// Clears the dictionary and fills it from the description text; never fails.
void ParseCertText(std::string_view text, TCertFieldsDictionary& dictionary);

// True and the value of the first matching pair, or false and the empty string.
bool TryGetField(const TCertFieldsDictionary& dictionary, std::string_view key, std::string& value);
// The value of the first matching pair, or the empty string: most readers need no more.
std::string GetField(const TCertFieldsDictionary& dictionary, std::string_view key);

}  // namespace nelvo
