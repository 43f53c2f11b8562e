// Opening the settings window, minus the child process: decoding the schema the
// daemon printed, building the form over the config file, and writing the bytes
// a save would put on disk.

#include <string>

#include <benchmark/benchmark.h>

#include "Documents.hpp"
#include "settings/SettingsForm.hpp"
#include "settings/SettingsSchema.hpp"

using namespace menubar;

namespace {

void SettingsLoadAndWrite(benchmark::State& state) {
    const auto settings = static_cast<std::size_t>(state.range(0));
    const std::string schemaBytes = bench::schemaDocument(settings);
    const std::string configBytes = bench::configDocument(settings);

    for (auto _ : state) {
        const SettingsSchema schema = SettingsSchema::decode(schemaBytes);
        const SettingsForm form(schema, SettingsForm::parseFile(configBytes));
        std::string written = form.serializedData();
        benchmark::DoNotOptimize(written);
    }
    state.counters["bytes"] = static_cast<double>(schemaBytes.size() + configBytes.size());
}

} // namespace

BENCHMARK(SettingsLoadAndWrite)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
