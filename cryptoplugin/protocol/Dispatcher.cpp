#include "protocol/Dispatcher.h"

#include <memory>
#include <utility>

#include "objects/ErrorCarrier.h"
#include "objects/ObjectClasses.h"
#include "protocol/InstanceRegistry.h"

namespace nelvo::cryptoplugin {

namespace {

std::string AddErrorCarrier(const std::string& className, ObjectError error) {
    return Instances().Add(std::make_unique<ErrorCarrier>(className, std::move(error)));
}

// An empty ID asks for a new instance. It is kept when its class keeps state, or when the
// call failed, so that the caller can read the error from the instance it is given.
void CallNewInstance(const Command& command, Reply& reply) {
    const ObjectClass* objectClass = FindObjectClass(command.plugin);
    if (objectClass == nullptr) {
        reply.id = AddErrorCarrier(command.plugin, UnknownClassError(command.plugin));
        return;
    }
    std::unique_ptr<PluginObject> object = objectClass->create();
    reply.result = object->Call(command.method, command.params);
    if (objectClass->keepsState || object->Failed()) reply.id = Instances().Add(std::move(object));
}

// An ID that names no instance of the class (never given out, released, or of another
// class) gets a fresh instance that carries the failure.
void CallUnknownInstance(const Command& command, Reply& reply) {
    ObjectError error = FindObjectClass(command.plugin) == nullptr
                            ? UnknownClassError(command.plugin)
                            : UnknownInstanceError(command.plugin, command.id);
    reply.id = AddErrorCarrier(command.plugin, std::move(error));
}

}  // namespace

Reply Execute(const Command& command) {
    Reply reply{{}, command.plugin, command.method, {}};
    if (command.method == kReleaseMethod) {
        Instances().Remove(command.id, command.plugin);  // an unknown ID is already gone
    } else if (command.id.empty()) {
        CallNewInstance(command, reply);
    } else if (std::shared_ptr<Instance> instance = Instances().Find(command.id, command.plugin)) {
        reply.result = instance->Call(command.method, command.params);
        reply.id = command.id;
    } else {
        CallUnknownInstance(command, reply);
    }
    return reply;
}

std::optional<std::string> ExecuteText(std::string_view text) {
    std::optional<Command> command = ReadCommand(text);
    if (!command) return std::nullopt;
    return WriteReply(Execute(*command));
}

void ReleaseAllInstances() {
    Instances().Clear();
}

}  // namespace nelvo::cryptoplugin
