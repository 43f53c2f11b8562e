#include "SaveReport.hpp"

#include <string_view>
#include <variant>

namespace menubar {

namespace {

// An empty part before the first non-empty one adds no separator.
std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const auto& part : parts) {
        if (!text.empty())
            text += separator;
        text += part;
    }
    return text;
}

std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (const char character : text) {
        switch (character) {
        case '"':
            result += "\\\"";
            break;
        case '\\':
            result += "\\\\";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        default:
            result += character;
        }
    }
    return result + "\"";
}

} // namespace

SaveReport SaveReport::of(const SaveOutcome& outcome, const std::string& configPath) {
    using SaveLog::describe;
    struct Visitor {
        const std::string& path;
        SaveReport operator()(const SaveOutcome::InvalidLocally& invalid) const {
            return {"Fix the highlighted fields first.",
                    "settings not saved: local validation failed " + describe(invalid.errors)};
        }
        SaveReport operator()(const SaveOutcome::Rejected& rejected) const {
            std::vector<std::string> names;
            for (const auto& entry : rejected.fields)
                names.push_back(entry.first); // a std::map is already in ascending order
            return {names.empty()
                        ? "The daemon rejected the file."
                        : "The daemon rejected the file; see " + joined(names, ", ") + ".",
                    "settings rejected by config validate: fields=" + describe(rejected.fields) +
                        " general=" + describe(rejected.general)};
        }
        SaveReport operator()(const SaveOutcome::CommandFailed& failed) const {
            return {"Could not run config validate: " + failed.message,
                    "settings not saved: " + failed.message};
        }
        SaveReport operator()(const SaveOutcome::WriteFailed& failed) const {
            return {"Could not write " + path + ": " + failed.message,
                    "settings not saved: " + failed.message};
        }
        SaveReport operator()(const SaveOutcome::Saved&) const {
            return {std::nullopt, "settings saved to " + path};
        }
    };
    return std::visit(Visitor{configPath}, outcome.value());
}

namespace SaveLog {

std::string describe(const std::map<std::string, std::string>& map) {
    if (map.empty())
        return "[:]";
    std::vector<std::string> entries;
    for (const auto& [key, value] : map)
        entries.push_back(quoted(key) + ": " + quoted(value));
    return "[" + joined(entries, ", ") + "]";
}

std::string describe(const std::vector<std::string>& list) {
    std::vector<std::string> entries;
    for (const auto& item : list)
        entries.push_back(quoted(item));
    return "[" + joined(entries, ", ") + "]";
}

std::string describe(const SaveOutcome& outcome) {
    struct Visitor {
        std::string operator()(const SaveOutcome::InvalidLocally& invalid) const {
            return "invalidLocally(" + describe(invalid.errors) + ")";
        }
        std::string operator()(const SaveOutcome::Rejected& rejected) const {
            return "rejected(fields: " + describe(rejected.fields) +
                   ", general: " + describe(rejected.general) + ")";
        }
        std::string operator()(const SaveOutcome::CommandFailed& failed) const {
            return "commandFailed(" + quoted(failed.message) + ")";
        }
        std::string operator()(const SaveOutcome::WriteFailed& failed) const {
            return "writeFailed(" + quoted(failed.message) + ")";
        }
        std::string operator()(const SaveOutcome::Saved&) const { return "saved"; }
    };
    return std::visit(Visitor{}, outcome.value());
}

} // namespace SaveLog

} // namespace menubar
