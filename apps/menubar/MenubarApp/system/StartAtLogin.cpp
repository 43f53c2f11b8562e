#include "StartAtLogin.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "Log.hpp"
#include "ProcessEnvironment.hpp"
#include "QtText.hpp"
#include "system/AutostartEntry.hpp"
#include "system/FileSystem.hpp"

namespace menubar::app {

namespace {

// Autostart entries are small; anything past this is not one of ours.
constexpr std::uint64_t entryLimit = 64 * 1024;

} // namespace

StartAtLogin::StartAtLogin(std::string entryPath, std::string executable)
    : entryPath_(std::move(entryPath)), executable_(std::move(executable)) {}

std::optional<StartAtLogin> StartAtLogin::forThisApp(const std::string& home) {
#ifdef Q_OS_MACOS
    (void)home;
    return std::nullopt;
#else
    const auto environment = processEnvironment();
    const auto searchPath = environment.find("PATH");
    const std::string running = QCoreApplication::applicationFilePath().toStdString();
    return StartAtLogin(AutostartEntry::path(environment, home),
                        AutostartEntry::executable(
                            running, searchPath == environment.end() ? "" : searchPath->second,
                            FileSystem::real().isExecutable));
#endif
}

bool StartAtLogin::isEnabled() const {
    const FileReadResult content = FileSystem::real().readFile(entryPath_, entryLimit);
    const auto* text = std::get_if<std::string>(&content);
    return text && AutostartEntry::isEnabled(*text);
}

void StartAtLogin::setEnabled(bool enabled) const {
    const QString path = qs(entryPath_);
    if (!enabled) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            log("could not remove " + entryPath_);
        }
        return;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        log("could not create the folder of " + entryPath_);
        return;
    }
    QSaveFile file(path);
    const QByteArray bytes = QByteArray::fromStdString(AutostartEntry::text(executable_));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        log("could not write " + entryPath_ + ": " + file.errorString().toStdString());
    }
}

} // namespace menubar::app
