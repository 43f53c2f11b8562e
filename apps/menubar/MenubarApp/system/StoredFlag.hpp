#pragma once

// An on/off choice kept in the app's own settings store.

#include <optional>
#include <string_view>

#include <QSettings>

#include "QtText.hpp"

namespace menubar::app {

// Nothing when the key is absent or holds anything but a boolean; text-based
// stores give a written boolean back as "true" / "false".
inline std::optional<bool> storedFlag(const QSettings& settings, std::string_view key) {
    const QVariant stored = settings.value(qs(key));
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    if (stored.typeId() == QMetaType::QString) {
        const QString text = stored.toString();
        if (text == QLatin1String("true"))
            return true;
        if (text == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

} // namespace menubar::app
