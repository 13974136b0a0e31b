// The JSON record mapping on the largest thing it carries: a plugin command with a 1 MiB Base64
// parameter. Each of our operations runs beside nlohmann/json's own dump or parse of the same
// text, in the same run, so the ratio does not depend on the machine.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <random>

#include "api/U_PluginJSON.h"
#include "plugin/U_PluginGate.h"
#include "tools/QxSysTools.h"

namespace {

using namespace nelvo;

class TBenchCommand : public TjsonPersistent {
public:
    std::string ID;
    std::string Plugin;
    std::string Method;
    TjsonStringList Params;
    static const TMemberTable& Table() {
        static const TMemberTable table = TjsonPersistent::Table().Extend({
            Field("ID", &TBenchCommand::ID),
            Field("Plugin", &TBenchCommand::Plugin),
            Field("Method", &TBenchCommand::Method),
            ReadOnlyObject("Params", &TBenchCommand::Params),
        });
        return table;
    }
    const TMemberTable& Members() const override { return Table(); }
};

// 768 KiB of random bytes: exactly 1 MiB of Base64, with its "/" and "+" where they fall.
const std::string& Base64Payload() {
    static const std::string payload = [] {
        std::mt19937 random(20240601);
        std::string bytes(768 * 1024, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        return EncodeBase64(bytes);
    }();
    return payload;
}

template <class TCommand>
void Fill(TCommand& command) {
    command.ID = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
    command.Plugin = "VEDuzoziVavodaDizodizi";
    command.Method = "SignData";
    command.Params.Add("sParamData=" + Base64Payload());
}

const std::string& CommandText() {
    static const std::string text = [] {
        TBenchCommand command;
        Fill(command);
        return command.AsJSONString();
    }();
    return text;
}

void BM_AsJSONString(benchmark::State& state) {
    TBenchCommand command;
    Fill(command);
    for (auto _ : state) benchmark::DoNotOptimize(command.AsJSONString());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(CommandText().size()));
}

// The command as the plugin protocol sends it: Params written by its hook, one object per line.
void BM_AsJSONString_ParamsHook(benchmark::State& state) {
    TPluginCommand command;
    Fill(command);
    for (auto _ : state) benchmark::DoNotOptimize(command.AsJSONString());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(CommandText().size()));
}

void BM_NlohmannDump(benchmark::State& state) {
    const TJSONData tree = TJSONData::parse(CommandText());
    for (auto _ : state) benchmark::DoNotOptimize(tree.dump());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(CommandText().size()));
}

void BM_LoadFromJSON(benchmark::State& state) {
    TBenchCommand command;
    for (auto _ : state) {
        command.LoadFromJSON(CommandText());
        benchmark::DoNotOptimize(command.Params.Count());
    }
    if (command.Params[0].size() != 11 + Base64Payload().size()) state.SkipWithError("bad read");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(CommandText().size()));
}

void BM_NlohmannParse(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(TJSONData::parse(CommandText()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(CommandText().size()));
    state.counters["text_bytes"] = static_cast<double>(CommandText().size());
}

BENCHMARK(BM_AsJSONString)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AsJSONString_ParamsHook)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NlohmannDump)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadFromJSON)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NlohmannParse)->Unit(benchmark::kMicrosecond);

}  // namespace

// Every iteration allocates and frees a few MiB. Left to itself, glibc's allocator sometimes
// hands such blocks back to the system and takes them again, and the page faults then cost more
// than the work measured (tenfold on a virtual machine), at random between runs. Keeping freed
// memory in the heap makes each row measure the code, for us and nlohmann alike.
int main(int argc, char** argv) {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
