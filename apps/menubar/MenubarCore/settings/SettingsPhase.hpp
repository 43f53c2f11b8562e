#pragma once

// Where loading the schema and the config file stands, and the failed phases a
// load can end in, each with its fixed title.

#include <string>

#include "system/CommandOutcome.hpp"

namespace menubar {

class SettingsPhase {
public:
    enum class Kind { loading, loaded, failed };
    struct Failed {
        std::string title;  // one line
        std::string detail; // may span several lines
        // The config file itself could not be read (not the daemon's schema).
        bool configFileUnreadable = false;
        bool operator==(const Failed&) const = default;
    };

    static SettingsPhase loading() { return SettingsPhase(Kind::loading, {}); }
    static SettingsPhase loaded() { return SettingsPhase(Kind::loaded, {}); }
    static SettingsPhase failed(std::string title, std::string detail) {
        return SettingsPhase(Kind::failed, Failed{std::move(title), std::move(detail)});
    }

    static SettingsPhase commandNotFound();
    // `description` is the command as the user could type it; `result` a run that
    // did not exit with 0.
    static SettingsPhase schemaRunFailed(const std::string& description,
                                         const CommandOutcome& result);
    static SettingsPhase schemaUnreadable(const std::string& description, const std::string& error);
    static SettingsPhase configUnreadable(const std::string& path, const std::string& error);

    Kind kind() const { return kind_; }
    // The title and detail of a failed load; null otherwise.
    const Failed* failure() const { return kind_ == Kind::failed ? &failed_ : nullptr; }
    // Whether the load failed on the config file: no restart may be offered then,
    // the daemon would start on that file.
    bool configFileUnreadable() const {
        return kind_ == Kind::failed && failed_.configFileUnreadable;
    }

    bool operator==(const SettingsPhase&) const = default;

private:
    SettingsPhase(Kind kind, Failed failed) : kind_(kind), failed_(std::move(failed)) {}
    Kind kind_;
    Failed failed_;
};

} // namespace menubar
