#include "Environment.hpp"

#include <string_view>

namespace menubar {

std::map<std::string, std::string> environmentOf(const char* const* entries) {
    std::map<std::string, std::string> environment;
    for (; entries != nullptr && *entries != nullptr; ++entries) {
        const std::string_view text(*entries);
        const auto equals = text.find('=');
        if (equals != std::string_view::npos && equals > 0)
            environment.emplace(text.substr(0, equals), text.substr(equals + 1));
    }
    return environment;
}

} // namespace menubar
