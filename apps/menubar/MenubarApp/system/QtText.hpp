#pragma once

// The core speaks UTF-8 std::string; Qt speaks QString. One conversion for every
// adapter, so no widget decodes text its own way.

#include <string>
#include <string_view>

#include <QString>

namespace menubar::app {

inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString qs(const std::string& text) {
    return qs(std::string_view(text));
}

inline QString qs(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace menubar::app
