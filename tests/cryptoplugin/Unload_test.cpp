// A host unloads the plugin on every restart and loads it again. Nothing in the plugin may keep
// its file mapped after the last release (thread-local destructors or unique symbols would).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>

namespace nelvo::cryptoplugin::test {
namespace {

using ExecuteExFn = std::int32_t (*)(const char*, std::int32_t, char*, std::int32_t*, std::int32_t);

bool IsMapped() {
    void* handle = dlopen(NELVO_PLUGIN_FILE, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

void VersionExchange(ExecuteExFn executeEx) {
    const std::string command =
        R"({"ID":"","Plugin":"VUDuded","Method":"GetProperty","Params":[{"Version":""}]})";
    std::int32_t size = 0;
    ASSERT_EQ(executeEx(command.c_str(), static_cast<std::int32_t>(command.size() + 1), nullptr,
                        &size, 1),
              0);
    std::string reply(static_cast<std::size_t>(size), '\0');
    ASSERT_EQ(executeEx(command.c_str(), static_cast<std::int32_t>(command.size() + 1),
                        reply.data(), &size, 2),
              0);
    EXPECT_NE(reply.find(NELVO_EXPECTED_VERSION), std::string::npos) << reply;
}

// The crypto engine loads OpenSSL's GOST engine and reads keys; none of that may pin the file.
void EngineExchange(ExecuteExFn executeEx) {
    const std::string command =
        R"({"ID":"","Plugin":"VEDuzoziVavodaDizodizi","Method":"InitCryptoEngineByType","Params":[{"sCryptoEngineType":"8"}]})";
    std::int32_t size = 0;
    ASSERT_EQ(executeEx(command.c_str(), static_cast<std::int32_t>(command.size() + 1), nullptr, &size, 1), 0);
    std::string reply(static_cast<std::size_t>(size), '\0');
    ASSERT_EQ(executeEx(command.c_str(), 1, reply.data(), &size, 2), 0);
    EXPECT_NE(reply.find("InitCryptoEngineByType"), std::string::npos) << reply;
}

TEST(CryptoPluginUnload, TheLastReleaseUnmapsTheLibraryAndItLoadsAgain) {
    if (IsMapped()) GTEST_SKIP() << "the plugin is already loaded in this process";
    for (int load = 0; load < 2; ++load) {
        void* handle = dlopen(NELVO_PLUGIN_FILE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        auto executeEx = reinterpret_cast<ExecuteExFn>(dlsym(handle, "WS_ExecuteEx"));
        auto shutdown = reinterpret_cast<void (*)()>(dlsym(handle, "WS_Shutdown"));
        ASSERT_NE(executeEx, nullptr);
        ASSERT_NE(shutdown, nullptr);

        VersionExchange(executeEx);
        EngineExchange(executeEx);
        std::thread([executeEx] { VersionExchange(executeEx); }).join();
        shutdown();
        dlclose(handle);
        EXPECT_FALSE(IsMapped()) << "load " << load;
    }
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test
