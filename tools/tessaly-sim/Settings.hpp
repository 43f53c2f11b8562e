#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The stand-in's settings: one schema document from which both `config schema`
// and every check of `config validate` are derived, so the two cannot drift.
namespace tessaly_sim {

using nlohmann::json;

// The document printed by `config schema`.
const json& schema();

// One complaint about a config file; `options` names the keys concerned
// (empty when the complaint is about the file as a whole).
struct Issue {
    std::vector<std::string> options;
    std::string message;
};

// Judges the text of a config file; no issues means the file is acceptable.
std::vector<Issue> validate(const std::string& text);

// The same issues as the one-line answer of `config validate --json`.
json answer(const std::vector<Issue>& issues);

// Where each setting's effective value came from.
struct Effective {
    json settings;                    // every setting name to its value
    json sources;                     // every setting name to "cli" / "file" / "default"
    std::optional<std::string> error; // why the file was not used, if it was not
};

// Defaults, then the config file's values (only when the whole file is acceptable, as
// the daemon refuses a half-valid file), then the command-line flags on top.
// `fileText` is absent when there is no config file.
Effective resolve(const std::optional<std::string>& fileText, const json& flags);

// "90s", "2m", "1h", "250ms" in milliseconds; 0 for a text that is not a duration.
long long durationMs(const std::string& text);

} // namespace tessaly_sim
