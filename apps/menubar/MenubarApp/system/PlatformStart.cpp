#include "PlatformStart.hpp"

#include <cstdlib>
#include <string>
#include <vector>

#include <QDir>
#include <QLibraryInfo>
#include <QtGlobal>

#include "Log.hpp"
#include "ProcessEnvironment.hpp"
#include "system/PlatformAdvice.hpp"

namespace menubar::app {

std::vector<std::string> qtPlugins(const QString& kind) {
    QStringList roots{QLibraryInfo::path(QLibraryInfo::PluginsPath)};
    roots
        << qEnvironmentVariable("QT_PLUGIN_PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts);
    std::vector<std::string> plugins;
    for (const QString& root : roots)
        for (const QString& name : QDir(root + u'/' + kind).entryList(QDir::Files))
            plugins.push_back(name.toStdString());
    return plugins;
}

namespace {

QtMessageHandler previous = nullptr;

void adviseAndExit(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        if (previous)
            previous(type, context, message);
        return;
    }
    log(PlatformAdvice::line(processEnvironment(), qtPlugins(QStringLiteral("platforms"))));
    std::_Exit(1);
}

} // namespace

PlatformStartGuard::PlatformStartGuard() {
    previous = qInstallMessageHandler(adviseAndExit);
}

PlatformStartGuard::~PlatformStartGuard() {
    qInstallMessageHandler(previous);
}

} // namespace menubar::app
