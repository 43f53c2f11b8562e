#include "Settings.hpp"

#include <cmath>
#include <regex>
#include <set>
#include <stdexcept>

namespace tessaly_sim {

namespace {

// Written as the document it is, so that reading it is reading what the app receives.
// "provider-overrides" uses a control kind the app does not know on purpose: the app
// must fall back to editing it as raw JSON.
constexpr const char* schemaText = R"json({
  "x-settings-version": 1,
  "properties": {
    "warn-context":       { "type": "number", "minimum": 0, "maximum": 100, "default": 70 },
    "critical-context":   { "type": "number", "minimum": 0, "maximum": 100, "default": 85 },
    "cache-min-context":  { "type": "number", "minimum": 0, "maximum": 100, "default": 40 },
    "cache-lead":         { "type": "string", "pattern": "^[0-9]+(ms|s|m|h)$", "default": "1m" },
    "message-agents":     { "type": "boolean", "default": false },
    "dry-run":            { "type": "boolean", "default": false },
    "message-prefix":     { "type": "string", "default": "[tessaly]" },
    "handoff-template":   { "type": "string",
                            "default": "# Handoff: {dir}\n\nContext at {pct}% in session {session}.\n\n## Where things stand\n\n## Next steps\n" },
    "on-critical":        { "type": "array", "items": { "type": "string", "enum": ["notify", "inject", "handoff"] },
                            "uniqueItems": true, "default": ["notify", "inject", "handoff"] },
    "on-cache-expiry":    { "type": "array", "items": { "type": "string", "enum": ["notify", "inject"] },
                            "uniqueItems": true, "default": ["notify", "inject"] },
    "handoff-location":   { "type": "string", "enum": ["scratchpad", "repo"], "default": "scratchpad" },
    "handoff-dir":        { "type": "string", "default": "" },
    "ignore-dirs":        { "type": "array", "items": { "type": "string", "pattern": "^[^/]+$" },
                            "default": ["node_modules", ".venv"] },
    "interval":           { "type": "integer", "minimum": 50, "maximum": 600000, "default": 2000 },
    "provider-overrides": { "type": "object", "default": {} }
  },
  "x-groups": [
    { "id": "thresholds", "title": "Thresholds", "settings": [
      { "name": "warn-context", "control": "percent", "restart": false,
        "help": "Context use at which a session is flagged as a warning." },
      { "name": "critical-context", "control": "percent", "restart": false,
        "help": "Context use at which the on-critical actions run." },
      { "name": "cache-min-context", "control": "percent",
        "help": "Least context use for which an expiring prompt cache is worth acting on." },
      { "name": "cache-lead", "control": "duration",
        "help": "How long before the prompt cache expires to act, such as 30s, 10m or 1h." }
    ]},
    { "id": "actions", "title": "Actions", "settings": [
      { "name": "message-agents", "control": "toggle",
        "help": "Send messages into agent sessions; when off, injections are only reported." },
      { "name": "dry-run", "control": "toggle",
        "help": "Report every action without carrying it out." },
      { "name": "on-critical", "control": "enum", "multiple": true,
        "values": ["notify", "inject", "handoff"],
        "help": "What to do when a session turns critical." },
      { "name": "on-cache-expiry", "control": "enum", "multiple": true,
        "values": ["notify", "inject"],
        "help": "What to do shortly before a prompt cache expires." },
      { "name": "message-prefix", "control": "text", "requiredPrefix": "[tessaly]",
        "help": "Text that starts every message sent to an agent." }
    ]},
    { "id": "handoff", "title": "Handoff files", "settings": [
      { "name": "handoff-location", "control": "enum", "values": ["scratchpad", "repo"],
        "help": "Write handoff files into the scratchpad folder or into the session's repository." },
      { "name": "handoff-dir", "control": "path",
        "help": "Scratchpad folder for handoff files; empty means beside the status file." },
      { "name": "handoff-template", "control": "text", "multiline": true, "restart": false,
        "help": "Markdown for new handoff files; {dir}, {pct} and {session} are filled in." }
    ]},
    { "id": "daemon", "title": "Daemon", "settings": [
      { "name": "interval", "control": "number", "integer": true, "min": 50, "max": 600000,
        "help": "Milliseconds between two polls of the agent sessions." },
      { "name": "ignore-dirs", "control": "list", "itemPattern": "^[^/]+$",
        "help": "Folder names that are never scanned for sessions." },
      { "name": "provider-overrides", "control": "json",
        "help": "Per-provider adjustments, as a JSON object keyed by provider." }
    ]}
  ]
})json";

std::string joined(const json& values) {
    std::string text;
    for (const auto& value : values)
        text += (text.empty() ? "" : ", ") + value.get<std::string>();
    return text;
}

bool contains(const json& values, const json& value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

bool matches(const std::string& pattern, const std::string& text) {
    return std::regex_search(text, std::regex(pattern));
}

// The meta entries of x-groups by setting name; only "requiredPrefix" lives there alone.
std::optional<std::string> requiredPrefix(const std::string& name) {
    for (const auto& group : schema()["x-groups"])
        for (const auto& meta : group["settings"])
            if (meta["name"] == name && meta.contains("requiredPrefix"))
                return meta["requiredPrefix"].get<std::string>();
    return std::nullopt;
}

// The first problem of one value against its property, or nothing.
std::optional<std::string> checkValue(const std::string& name, const json& value,
                                      const json& property) {
    const std::string type = property["type"];
    if (type == "boolean" && !value.is_boolean())
        return "Must be true or false";
    if ((type == "number" || type == "integer") && !value.is_number())
        return "Must be a number";
    if (type == "string" && !value.is_string())
        return "Must be a string";
    if (type == "object" && !value.is_object())
        return "Must be a JSON object";
    if (type == "array" && !value.is_array())
        return "Must be a list";

    if (value.is_number()) {
        const double number = value.get<double>();
        if (type == "integer" && number != std::floor(number))
            return "Must be a whole number";
        const double min = property.value("minimum", -INFINITY);
        const double max = property.value("maximum", INFINITY);
        if (number < min || number > max)
            return "Must be between " + property["minimum"].dump() + " and " +
                   property["maximum"].dump();
    }
    if (value.is_string()) {
        const std::string text = value;
        if (property.contains("pattern") && !matches(property["pattern"], text))
            return text + " does not match " + property["pattern"].get<std::string>();
        if (property.contains("enum") && !contains(property["enum"], value))
            return "Unknown value " + text + " (allowed: " + joined(property["enum"]) + ")";
        if (auto prefix = requiredPrefix(name); prefix && text.rfind(*prefix, 0) != 0)
            return "Must start with " + *prefix;
    }
    if (value.is_array()) {
        const json items = property.value("items", json::object());
        std::set<std::string> seen;
        for (std::size_t index = 0; index < value.size(); ++index) {
            const auto& item = value[index];
            const std::string number = std::to_string(index + 1);
            if (!item.is_string())
                return "Item " + number + " must be a string";
            if (items.contains("enum") && !contains(items["enum"], item))
                return "Unknown value " + item.get<std::string>() +
                       " (allowed: " + joined(items["enum"]) + ")";
            if (items.contains("pattern") && !matches(items["pattern"], item))
                return "Item " + number + " must match " + items["pattern"].get<std::string>();
            if (property.value("uniqueItems", false) && !seen.insert(item).second)
                return "Each value may appear once";
        }
    }
    return std::nullopt;
}

} // namespace

const json& schema() {
    static const json document = json::parse(schemaText);
    return document;
}

std::vector<Issue> validate(const std::string& text) {
    json file;
    try {
        file = json::parse(text);
    } catch (const json::parse_error& error) {
        return {{{}, std::string("The config file is not JSON: ") + error.what()}};
    }
    if (!file.is_object())
        return {{{}, "The config file must hold one JSON object"}};

    const json& properties = schema()["properties"];
    std::vector<Issue> issues;
    for (const auto& [name, value] : file.items()) {
        // Editors add a "$schema" key for completion; it is no setting.
        if (name == "$schema")
            continue;
        if (!properties.contains(name))
            issues.push_back({{name}, "Unknown setting " + name});
        else if (auto message = checkValue(name, value, properties[name]))
            issues.push_back({{name}, *message});
    }

    // The thresholds only make sense in order; judged on the values the daemon would use.
    if (issues.empty()) {
        const double warn = file.value("warn-context", properties["warn-context"]["default"]);
        const double critical =
            file.value("critical-context", properties["critical-context"]["default"]);
        if (critical <= warn)
            issues.push_back({{"warn-context", "critical-context"},
                              "The critical threshold must lie above the warn threshold"});
    }
    return issues;
}

json answer(const std::vector<Issue>& issues) {
    if (issues.empty())
        return {{"ok", true}};
    json errors = json::array();
    for (const auto& issue : issues)
        errors.push_back({{"options", issue.options}, {"message", issue.message}});
    return {{"ok", false}, {"errors", errors}};
}

Effective resolve(const std::optional<std::string>& fileText, const json& flags) {
    Effective effective{json::object(), json::object(), std::nullopt};
    for (const auto& [name, property] : schema()["properties"].items()) {
        effective.settings[name] = property["default"];
        effective.sources[name] = "default";
    }
    if (fileText) {
        const auto issues = validate(*fileText);
        if (issues.empty()) {
            const json file = json::parse(*fileText);
            for (const auto& [name, value] : file.items()) {
                if (name == "$schema")
                    continue;
                effective.settings[name] = value;
                effective.sources[name] = "file";
            }
        } else {
            const Issue& first = issues.front();
            effective.error =
                (first.options.empty() ? "" : first.options.front() + ": ") + first.message;
        }
    }
    for (const auto& [name, value] : flags.items()) {
        effective.settings[name] = value;
        effective.sources[name] = "cli";
    }
    return effective;
}

long long durationMs(const std::string& text) {
    static const std::regex form("^([0-9]+)(ms|s|m|h)$");
    std::smatch match;
    if (!std::regex_match(text, match, form))
        return 0;
    long long amount = 0;
    try {
        amount = std::stoll(match[1]);
    } catch (const std::out_of_range&) {
        return 0;
    }
    const std::string unit = match[2];
    if (unit == "ms")
        return amount;
    if (unit == "s")
        return amount * 1000;
    if (unit == "m")
        return amount * 60'000;
    return amount * 3'600'000;
}

} // namespace tessaly_sim
