// File masks ("+*.cfg, -*.tmp") and file searches in a folder tree.
#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

std::string Child(const std::string& folder, const std::string& name) {
    return IncludeTrailingPathDelimiter(folder) + name;
}

}  // namespace

TFileMasks ParseMasks(const std::string& maskText) {
    TFileMasks masks;
    std::string rest = maskText;
    bool more = true;
    while (more) {
        more = rest.find(',') != std::string::npos;
        std::string mask = Trim(SplitFirst(rest, ","));
        if (mask == "*.*") return {};  // every file, whatever came before
        // An empty mask matches no name; taking it would make an empty text find nothing.
        if (mask.empty() || mask == "+" || mask == "-") continue;
        if (mask.front() == '-') {
            masks.exclude.push_back(mask.substr(1));
        } else {
            if (mask.front() == '+') mask.erase(0, 1);
            masks.include.push_back(mask);
        }
    }
    return masks;
}

// Iterative match with one back-track point per "*": linear in practice, no recursion.
bool MatchesMask(std::string_view name, std::string_view mask) {
    std::size_t n = 0, m = 0, starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || LowerChar(mask[m]) == LowerChar(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

bool MatchesMasks(const std::string& fileName, const TFileMasks& masks) {
    auto any = [&](const std::vector<std::string>& list) {
        for (const auto& mask : list)
            if (MatchesMask(fileName, mask)) return true;
        return false;
    };
    if (!masks.include.empty() && !any(masks.include)) return false;
    return !any(masks.exclude);
}

namespace {

bool Passes(const std::string& name, const TFileMasks& masks) {
    return (masks.include.empty() && masks.exclude.empty()) || MatchesMasks(name, masks);
}

int FindFilesIn(const std::string& folder, const TFileMasks& masks,
                std::vector<std::string>& result, bool fullPaths, bool recursive) {
    int added = 0;
    for (const auto& entry : platform::ListDirectory(folder)) {
        const std::string path = Child(folder, entry.name);
        if (entry.isDirectory) {
            // A linked folder is not entered: a link back up the tree would never end.
            if (recursive && !entry.isLink)
                added += FindFilesIn(path, masks, result, fullPaths, recursive);
        } else if (Passes(entry.name, masks)) {
            result.push_back(fullPaths ? path : entry.name);
            ++added;
        }
    }
    return added;
}

}  // namespace

int FindFiles(const std::string& folder, const std::string& maskText,
              std::vector<std::string>& result, bool fullPaths, bool recursive) {
    return FindFilesIn(folder, ParseMasks(maskText), result, fullPaths, recursive);
}

std::string FindNthFile(const std::string& folder, const std::string& maskText, bool recursive,
                        int n) {
    if (n < 1) return {};
    const TFileMasks masks = ParseMasks(maskText);
    // Breadth by folder: a folder's own files first, then its subfolders one after the other.
    std::vector<std::string> pending{folder};
    for (std::size_t next = 0; next < pending.size(); ++next) {
        const std::string current = pending[next];
        std::vector<std::string> subfolders;
        for (const auto& entry : platform::ListDirectory(current)) {
            const std::string path = Child(current, entry.name);
            if (entry.isDirectory) {
                if (!entry.isLink) subfolders.push_back(path);
            } else if (Passes(entry.name, masks) && --n == 0) {
                return path;
            }
        }
        if (recursive)
            pending.insert(pending.begin() + static_cast<long>(next) + 1, subfolders.begin(),
                           subfolders.end());
    }
    return {};
}

}  // namespace nelvo
