// Runs the benchmarks with Google Benchmark's own console output, then prints the
// figures a reviewer asks for: each poll beside the bare parse of its bytes, the
// growth of a poll from 10 to 1,000 sessions against n·log n, and the settings
// load. With repetitions, the medians are used.

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "Documents.hpp"

namespace {

struct Figure {
    double micros = 0; // CPU time per iteration
    double bytes = 0;
};

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type == Run::RT_Aggregate && !median))
                continue;
            const std::string family = run.run_name.function_name;
            const long argument = std::stol(run.run_name.args);
            const auto key = std::make_pair(family, argument);
            if (!median && figures_.contains(key) && medians_.contains(key))
                continue;
            Figure figure;
            figure.micros = run.cpu_accumulated_time / static_cast<double>(run.iterations) * 1e6;
            if (auto found = run.counters.find("bytes"); found != run.counters.end())
                figure.bytes = found->second.value;
            figures_[key] = figure;
            if (median)
                medians_[key] = true;
        }
    }

    void printSummary() const {
        std::printf("\nPoll cycle (read + decode + state + presentation + status menu)\n");
        std::printf("%9s %7s %10s %12s %16s %11s\n", "sessions", "events", "bytes", "poll µs",
                    "bare parse µs", "poll/parse");
        for (long sessions : {1L, 10L, 100L, 1000L}) {
            const Figure* poll = find("Poll", sessions);
            const Figure* parse = find("BareParse", sessions);
            if (!poll || !parse)
                continue;
            std::printf("%9ld %7ld %10.0f %12.1f %16.1f %10.2f×\n", sessions, sessions * 5,
                        poll->bytes, poll->micros, parse->micros, poll->micros / parse->micros);
        }
        if (const Figure* small = find("Poll", 10), *large = find("Poll", 1000); small && large) {
            const double nLogN = (1000 * std::log(1000.0)) / (10 * std::log(10.0));
            std::printf("growth of a poll from 10 to 1,000 sessions: %.0f× (n: 100×, n·log n: "
                        "%.0f×)\n",
                        large->micros / small->micros, nLogN);
        }
        std::printf("\nSettings (schema decode + form build + serialize)\n");
        std::printf("%9s %10s %12s\n", "settings", "bytes", "µs");
        for (long settings : {10L, 100L, 1000L})
            if (const Figure* figure = find("SettingsLoadAndWrite", settings))
                std::printf("%9ld %10.0f %12.1f\n", settings, figure->bytes, figure->micros);
    }

private:
    const Figure* find(const std::string& family, long argument) const {
        const auto found = figures_.find({family, argument});
        return found == figures_.end() ? nullptr : &found->second;
    }

    std::map<std::pair<std::string, long>, Figure> figures_;
    std::map<std::pair<std::string, long>, bool> medians_;
};

} // namespace

int main(int argc, char** argv) {
    // scripts/bench times whole processes on this file: N sessions, polled just now.
    if (argc == 3 && std::string_view(argv[1]) == "--status-document") {
        const std::size_t sessions = std::stoul(argv[2]);
        std::fputs(
            menubar::bench::statusDocument(sessions, sessions * 5, std::time(nullptr)).c_str(),
            stdout);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    benchmark::Shutdown();
    return 0;
}
