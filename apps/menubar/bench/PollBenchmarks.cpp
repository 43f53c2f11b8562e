// One refresh of the status item as the app runs it every three seconds, and
// beside it the cost of parsing the same bytes and nothing more: the ratio of the
// two is what the app adds on top of the JSON parser it cannot avoid.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include "Documents.hpp"
#include "status/DaemonState.hpp"
#include "status/StatusDecoder.hpp"
#include "status/StatusItemPresentation.hpp"
#include "status/StatusMenu.hpp"
#include "status/Visibility.hpp"
#include "system/TimeZone.hpp"

using namespace menubar;

namespace {

constexpr long long pollSeconds = 1'750'000'000;

// Status files of each size, written once to a scratch folder, as the daemon leaves them.
class StatusFiles {
public:
    StatusFiles() {
        char pattern[] = "/tmp/menubar-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            throw std::runtime_error("cannot make a scratch folder");
        folder_ = pattern;
    }
    ~StatusFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    const std::string& path(std::size_t sessions) {
        auto found = paths_.find(sessions);
        if (found != paths_.end())
            return found->second;
        const std::string path = folder_ + "/status-" + std::to_string(sessions) + ".json";
        std::ofstream(path, std::ios::binary) << bytes(sessions);
        return paths_.emplace(sessions, path).first->second;
    }

    const std::string& bytes(std::size_t sessions) {
        auto found = bytes_.find(sessions);
        if (found == bytes_.end())
            found =
                bytes_.emplace(sessions, bench::statusDocument(sessions, sessions * 5, pollSeconds))
                    .first;
        return found->second;
    }

private:
    std::string folder_;
    std::map<std::size_t, std::string> paths_;
    std::map<std::size_t, std::string> bytes_;
};

StatusFiles& files() {
    static StatusFiles shared;
    return shared;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

void Poll(benchmark::State& state) {
    const auto sessions = static_cast<std::size_t>(state.range(0));
    const std::string& path = files().path(sessions);
    const FileSystem fileSystem = FileSystem::real();
    const TimeZone zone = TimeZone::named("Europe/Berlin").value_or(TimeZone::utc());
    const CompactSetting compact = CompactSetting::resolve({}, std::nullopt);
    const Instant now = Instant(std::chrono::seconds(pollSeconds + 1));

    for (auto _ : state) {
        const StatusSnapshot snapshot = StatusFileLocator::load(path, fileSystem);
        const DaemonState daemon = DaemonState::from(snapshot, now);
        const StatusFile* file = snapshot.file();
        if (file == nullptr) {
            state.SkipWithError("the status file did not load");
            break;
        }
        const auto look =
            StatusItemPresentation::make(daemon, file->sessions, compact.compact, zone);
        // The menu's questions to the disk are part of a refresh, so they are real here too.
        const MenuFacts facts{.handoffExists = fileExists,
                              .logsDirectoryExists = fileExists("/tmp"),
                              .statusFileExists = fileExists(path),
                              .service = {}};
        const StatusMenu menu =
            StatusMenu::build(snapshot, daemon, compact, std::nullopt, now, zone, facts);
        benchmark::DoNotOptimize(look);
        benchmark::DoNotOptimize(menu);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(files().bytes(sessions).size()));
    state.counters["bytes"] = static_cast<double>(files().bytes(sessions).size());
}

void BareParse(benchmark::State& state) {
    const std::string& bytes = files().bytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto parsed = nlohmann::json::parse(bytes);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes.size()));
    state.counters["bytes"] = static_cast<double>(bytes.size());
}

} // namespace

// Sessions; each file has five times as many events.
BENCHMARK(Poll)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BareParse)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
