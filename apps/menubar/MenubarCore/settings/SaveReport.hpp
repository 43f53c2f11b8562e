#pragma once

// What a finished save means for the window and its log: the failure message
// for the status line (nothing after `saved`) and the one log line about it,
// and the outcomes and collections as log lines write them.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "SaveSettings.hpp"

namespace menubar {

struct SaveReport {
    std::optional<std::string> failure;
    std::string logLine;

    static SaveReport of(const SaveOutcome& outcome, const std::string& configPath);

    bool operator==(const SaveReport&) const = default;
};

namespace SaveLog {
// ["a": "b"], [:], ["x", "y"], rejected(fields: [...], general: [...]). Texts
// are quoted and escaped, so that a message holding a comma or a quote still
// reads as one entry.
std::string describe(const std::map<std::string, std::string>& map);
std::string describe(const std::vector<std::string>& list);
std::string describe(const SaveOutcome& outcome);
} // namespace SaveLog

} // namespace menubar
