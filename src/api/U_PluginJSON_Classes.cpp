// The string list and the collection.
#include <stdexcept>

#include "api/U_PluginJSON_Members.h"

namespace nelvo {

const TMemberTable& TPersistent::Table() {
    static const TMemberTable none;
    return none;
}

std::size_t TStringList::CheckedIndex(int index) const {
    if (index < 0 || index >= Count()) throw std::out_of_range("list index out of bounds");
    return static_cast<std::size_t>(index);
}

std::vector<std::string> TStringList::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(lines_.size());
    for (const TLine& line : lines_) lines.push_back(line.text);
    return lines;
}

std::string TStringList::Text() const {
    std::size_t size = 0;
    for (const TLine& line : lines_) size += line.text.size() + LineBreak.size();
    std::string text;
    text.reserve(size);
    for (const TLine& line : lines_) {
        text += line.text;
        text += LineBreak;
    }
    return text;
}

void TStringList::SetText(std::string_view text) {
    Clear();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            Add(std::string(text.substr(start)));
            break;
        }
        Add(std::string(text.substr(start, end - start)));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
}

std::string TStringList::DelimitedText() const {
    std::string text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (i > 0) text += Delimiter;
        text += lines_[i].text;
    }
    return text;
}

std::string TjsonStringList::Text() const {
    std::string text = TStringList::Text();
    if (!Empty()) text.resize(text.size() - LineBreak.size());
    return text;
}

TCollectionItem& TCollection::Add() {
    items_.push_back(itemClass_.Create());
    return *items_.back();
}

}  // namespace nelvo
