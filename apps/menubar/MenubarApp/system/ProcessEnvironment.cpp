#include "ProcessEnvironment.hpp"

#include <QDir>
#include <QtGlobal>

#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "system/Environment.hpp"

extern char** environ;

namespace menubar::app {

std::map<std::string, std::string> processEnvironment() {
    // Asked several times a refresh, and building the map is the dearest part of
    // an idle refresh after the decoding. setenv and putenv replace an entry's
    // pointer or the whole array, so the same pointers mean the same variables.
    static std::mutex mutex;
    static std::vector<const char*> seen;
    static std::map<std::string, std::string> variables;
    const std::lock_guard lock(mutex);
    std::vector<const char*> now;
    now.reserve(seen.size());
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        now.push_back(*entry);
    if (now != seen || seen.empty()) {
        variables = environmentOf(environ);
        seen = std::move(now);
    }
    return variables;
}

std::string homeDirectory() {
    return QDir::homePath().toStdString();
}

void provideRuntimeDirectory() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        return;
    const std::string path = "/tmp/runtime-" + std::to_string(getuid());
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0)
        return;
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(path));
#endif
}

} // namespace menubar::app
