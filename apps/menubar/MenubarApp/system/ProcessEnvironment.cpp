#include "ProcessEnvironment.hpp"

#include <QDir>
#include <QtGlobal>

#include <cerrno>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "system/Environment.hpp"

extern char** environ;

namespace menubar::app {

std::map<std::string, std::string> processEnvironment() {
    return environmentOf(environ);
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
