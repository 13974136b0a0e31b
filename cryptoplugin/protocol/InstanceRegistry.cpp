#include "protocol/InstanceRegistry.h"

#include <utility>

#include "protocol/InstanceId.h"

namespace nelvo::cryptoplugin {

std::string Instance::Call(std::string_view method, const ParamList& params) {
    const std::scoped_lock hold(lock_);
    return object_->Call(method, params);
}

std::string InstanceRegistry::Add(std::unique_ptr<PluginObject> object) {
    auto instance = std::make_shared<Instance>(std::move(object));
    const std::scoped_lock hold(lock_);
    std::string id = NewInstanceId(random_);
    while (instances_.contains(id)) id = NewInstanceId(random_);
    instances_.emplace(id, std::move(instance));
    return id;
}

std::shared_ptr<Instance> InstanceRegistry::Find(std::string_view id,
                                                 std::string_view className) const {
    const std::scoped_lock hold(lock_);
    const auto found = instances_.find(id);
    if (found == instances_.end() || found->second->ClassName() != className) return nullptr;
    return found->second;
}

bool InstanceRegistry::Remove(std::string_view id, std::string_view className) {
    std::shared_ptr<Instance> removed;  // destroyed after the lock is left: objects may be slow
    const std::scoped_lock hold(lock_);
    const auto found = instances_.find(id);
    if (found == instances_.end() || found->second->ClassName() != className) return false;
    removed = std::move(found->second);
    instances_.erase(found);
    return true;
}

void InstanceRegistry::Clear() {
    std::map<std::string, std::shared_ptr<Instance>, std::less<>> removed;
    const std::scoped_lock hold(lock_);
    removed.swap(instances_);
}

InstanceRegistry& Instances() {
    static InstanceRegistry registry;
    return registry;
}

}  // namespace nelvo::cryptoplugin
