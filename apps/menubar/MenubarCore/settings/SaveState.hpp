#pragma once

// Where the last save stands, and when Save is offered.

#include <string>

#include "SettingsForm.hpp"
#include "SettingsPhase.hpp"
#include "system/Instant.hpp"

namespace menubar {

class SaveState {
public:
    enum class Kind { idle, saving, saved, failed, restarting };
    static SaveState idle() { return SaveState(Kind::idle, {}, {}); }
    static SaveState saving() { return SaveState(Kind::saving, {}, {}); }
    static SaveState saved(Instant at) { return SaveState(Kind::saved, at, {}); }
    static SaveState failed(std::string message) {
        return SaveState(Kind::failed, {}, std::move(message));
    }
    static SaveState restarting() { return SaveState(Kind::restarting, {}, {}); }

    Kind kind() const { return kind_; }
    // When a `saved` state was reached; meaningless for other kinds.
    Instant savedAt() const { return at_; }
    // The message of a `failed` state; empty for other kinds.
    const std::string& message() const { return message_; }

    bool operator==(const SaveState&) const = default;

private:
    SaveState(Kind kind, Instant at, std::string message)
        : kind_(kind), at_(at), message_(std::move(message)) {}
    Kind kind_;
    Instant at_{};
    std::string message_;
};

// Save is offered only for a loaded, changed, locally valid form and while no
// save or restart is under way.
bool canSave(const SettingsPhase& phase, const SettingsForm* form, const SaveState& saveState);

} // namespace menubar
