#include "WakeWatch.hpp"

#include <QtGlobal>

#ifndef Q_OS_MACOS
#include <QDBusConnection>
#endif

namespace menubar::app {

#ifndef Q_OS_MACOS

namespace {

const QString logind = QStringLiteral("org.freedesktop.login1");

} // namespace

WakeWatch::WakeWatch(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return;
    }
    bus.connect(logind, QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                this, SLOT(prepareForSleep(bool)));
    // Any session's path: a screen locker sets the hint on the user's own
    // session, and a refresh for someone else's unlock costs one file read.
    bus.connect(logind, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("PropertiesChanged"),
                {QStringLiteral("org.freedesktop.login1.Session")}, QString(), this,
                SLOT(sessionPropertiesChanged(QString, QVariantMap, QStringList)));
}

WakeWatch::~WakeWatch() = default;

#endif

void WakeWatch::prepareForSleep(bool sleeping) {
    if (!sleeping) {
        emit awake();
    }
}

void WakeWatch::sessionPropertiesChanged(const QString&, const QVariantMap& changed,
                                         const QStringList&) {
    const auto locked = changed.find(QStringLiteral("LockedHint"));
    if (locked != changed.end() && !locked->toBool()) {
        emit awake();
    }
}

} // namespace menubar::app
