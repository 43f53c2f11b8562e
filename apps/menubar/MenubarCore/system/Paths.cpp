#include "Paths.hpp"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace menubar::Paths {

std::string expandTilde(const std::string& path, const std::string& home) {
    if (path.empty() || path[0] != '~')
        return path;
    const auto slash = path.find('/');
    const std::string user =
        path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    const std::string rest = slash == std::string::npos ? std::string() : path.substr(slash);
    if (user.empty())
        return home + rest;

    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr)
        return path;
    return std::string(found->pw_dir) + rest;
}

std::string parentDirectory(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

} // namespace menubar::Paths
