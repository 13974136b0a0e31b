// The live object instances by identifier. Callers on many threads reach it at once; one lock
// guards the table, and each instance has a lock of its own that serialises the calls made on
// it, so a slow call on one instance never holds up the others.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>

#include "objects/PluginObject.h"

namespace nelvo::cryptoplugin {

class Instance {
public:
    explicit Instance(std::unique_ptr<PluginObject> object) : object_(std::move(object)) {}

    const std::string& ClassName() const { return object_->ClassName(); }
    // One call at a time per instance.
    std::string Call(std::string_view method, const ParamList& params);

private:
    std::mutex lock_;
    std::unique_ptr<PluginObject> object_;
};

class InstanceRegistry {
public:
    // Keeps the object and returns its new identifier.
    std::string Add(std::unique_ptr<PluginObject> object);
    // The instance with that identifier, when it is of that class; else null. The instance
    // stays alive for the holder of the pointer even if it is released meanwhile.
    std::shared_ptr<Instance> Find(std::string_view id, std::string_view className) const;
    // Forgets the instance (same matching as Find); false when there was none.
    bool Remove(std::string_view id, std::string_view className);
    // Forgets every instance.
    void Clear();

private:
    mutable std::mutex lock_;
    std::map<std::string, std::shared_ptr<Instance>, std::less<>> instances_;
    std::random_device random_;
};

// The process's one registry.
InstanceRegistry& Instances();

}  // namespace nelvo::cryptoplugin
