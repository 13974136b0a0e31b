// Member tables and member lists.
#include <algorithm>
#include <stdexcept>

#include "api/U_PluginJSON_Members.h"
#include "tools/QxSysTools.h"

namespace nelvo {

TTypeKinds AllKinds() {
    TTypeKinds kinds;
    for (int k = 0; k <= static_cast<int>(TTypeKind::tkMethod); ++k)
        kinds.Include(static_cast<TTypeKind>(k));
    return kinds;
}

TTypeKinds AllKindsButMethods() {
    TTypeKinds kinds = AllKinds();
    kinds.Exclude(TTypeKind::tkMethod);
    return kinds;
}

bool TPropInfo::IsReadOnly() const {
    return std::visit(
        [](const auto& access) {
            using A = std::decay_t<decltype(access)>;
            if constexpr (std::is_same_v<A, std::monostate>)
                return true;
            else
                return !access.set;
        },
        Access);
}

std::string TPropInfo::ObjectClassName() const {
    return ObjectClass ? ClassNameOf(*ObjectClass) : std::string();
}

TMemberTable::TMemberTable(std::initializer_list<TPropInfo> members) {
    *this = TMemberTable().Extend(std::vector<TPropInfo>(members));
}

TMemberTable TMemberTable::Extend(std::vector<TPropInfo> members) const {
    for (std::size_t i = 0; i < members.size(); ++i)
        for (std::size_t j = i + 1; j < members.size(); ++j)
            if (members[i].Name == members[j].Name)
                throw std::logic_error("member \"" + members[i].Name + "\" declared twice");
    TMemberTable table = *this;
    for (TPropInfo& member : members) table.Append(std::move(member));
    return table;
}

void TMemberTable::Append(TPropInfo member) {
    for (TPropInfo& entry : entries_) {
        if (entry.Name == member.Name) {
            member.Position = entry.Position;
            entry = std::move(member);
            return;
        }
    }
    member.Position = Count();
    entries_.push_back(std::move(member));
}

const TPropInfo* TMemberTable::Find(std::string_view name) const {
    for (const TPropInfo& entry : entries_)
        if (entry.Name == name) return &entry;
    return nullptr;
}

TPropInfoList::TPropInfoList(const TPersistent& object, TTypeKinds kinds, bool sorted) {
    for (const TPropInfo& entry : object.Members())
        if (kinds.Contains(entry.Kind)) items_.push_back(&entry);
    if (sorted)
        std::stable_sort(items_.begin(), items_.end(), [](const TPropInfo* a, const TPropInfo* b) {
            return LowerCase(a->Name) < LowerCase(b->Name);
        });
}

}  // namespace nelvo
