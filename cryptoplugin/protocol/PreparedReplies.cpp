#include "protocol/PreparedReplies.h"

#include <utility>

namespace nelvo::cryptoplugin {

void PreparedReplies::Put(std::string reply) {
    const std::scoped_lock hold(lock_);
    replies_.insert_or_assign(std::this_thread::get_id(), std::move(reply));
}

void PreparedReplies::Drop() {
    std::string dropped;  // freed after the lock is left
    const std::scoped_lock hold(lock_);
    const auto found = replies_.find(std::this_thread::get_id());
    if (found == replies_.end()) return;
    dropped.swap(found->second);
    replies_.erase(found);
}

std::optional<std::size_t> PreparedReplies::SizeOf() {
    const std::scoped_lock hold(lock_);
    const auto entry = replies_.find(std::this_thread::get_id());
    if (entry == replies_.end()) return std::nullopt;
    return entry->second.size();
}

std::optional<std::string> PreparedReplies::Take() {
    const std::scoped_lock hold(lock_);
    const auto entry = replies_.find(std::this_thread::get_id());
    if (entry == replies_.end()) return std::nullopt;
    std::string reply = std::move(entry->second);
    replies_.erase(entry);
    return reply;
}

PreparedReplies& Replies() {
    static PreparedReplies replies;
    return replies;
}

}  // namespace nelvo::cryptoplugin
