#include "SaveState.hpp"

namespace menubar {

bool canSave(const SettingsPhase& phase, const SettingsForm* form, const SaveState& saveState) {
    return phase.kind() == SettingsPhase::Kind::loaded && form != nullptr &&
           saveState.kind() != SaveState::Kind::saving &&
           saveState.kind() != SaveState::Kind::restarting && form->isDirty() && form->isValid();
}

} // namespace menubar
