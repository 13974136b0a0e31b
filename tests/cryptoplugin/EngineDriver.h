// The crypto engine object as a host drives it: one instance per Engine, initialised with
// type 8, parameters, imports and exports as JSON commands, the error state read after every
// call, and "ClearCash" and "Release" at the end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "PluginDriver.h"

namespace nelvo::cryptoplugin::test {

inline constexpr const char* kEngineClass = "VEDuzoziVavodaDizodizi";

class Engine {
public:
    // Sends "InitCryptoEngineByType" with type 8 unless told not to.
    explicit Engine(bool initialise = true);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // One method call; true when "LastErrorCode" reads "0" afterwards.
    bool Call(std::string_view method, const std::vector<std::string>& lines = {});
    bool Set(std::string_view name, std::string_view value);
    bool Export(int dataType, std::string_view data, int flags = 0);
    bool Import(int dataType, std::string_view data, int flags = 0);
    std::string Property(std::string_view name);

    // The current data, decoded from "MimeCurrentData".
    std::string CurrentData();

    const ErrorState& LastError() const { return error_; }
    const std::string& Id() const { return id_; }

private:
    std::string id_;
    ErrorState error_;
};

// The host's engine parameters for a session bound to a certificate.
void SetSessionParameters(Engine& engine, std::string_view serial, std::string_view hashAlgorithm);

std::string Base64(std::string_view bytes);
std::string Unbase64(std::string_view text);  // skips line breaks; fails the test on bad input

}  // namespace nelvo::cryptoplugin::test
