#include "MainMenu.hpp"

#include <utility>

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QWidget>

namespace menubar::app::MainMenu {

namespace {

QMenuBar* installedMenuBar = nullptr;
std::function<void()> pendingShowSettings;

// Sent to the focused widget when it has such a slot (line and text edits do);
// otherwise nothing happens, as with an unhandled responder-chain action.
void sendToFocus(const char* slot) {
    if (QWidget* focus = QApplication::focusWidget()) {
        QMetaObject::invokeMethod(focus, slot);
    }
}

QAction* addItem(QMenu* menu, const QString& title, const QKeySequence& shortcut,
                 std::function<void()> perform) {
    QAction* action = menu->addAction(title);
    action->setShortcut(shortcut);
    QObject::connect(action, &QAction::triggered, action,
                     [perform = std::move(perform)] { perform(); });
    return action;
}

} // namespace

QMenuBar* build(std::function<void()> showSettings) {
    auto* menuBar = new QMenuBar(nullptr);

    QMenu* application = menuBar->addMenu(QStringLiteral("tessaly-menubar"));
    addItem(application, QStringLiteral("Settings..."), QKeySequence(Qt::CTRL | Qt::Key_Comma),
            [showSettings = std::move(showSettings)] {
                if (showSettings) {
                    showSettings();
                }
            })
        ->setMenuRole(QAction::PreferencesRole);
    application->addSeparator();
    addItem(application, QStringLiteral("Quit tessaly-menubar"), QKeySequence(Qt::CTRL | Qt::Key_Q),
            [] { QCoreApplication::quit(); })
        ->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar->addMenu(QStringLiteral("Edit"));
    addItem(edit, QStringLiteral("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z),
            [] { sendToFocus("undo"); });
    addItem(edit, QStringLiteral("Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
            [] { sendToFocus("redo"); });
    edit->addSeparator();
    addItem(edit, QStringLiteral("Cut"), QKeySequence(Qt::CTRL | Qt::Key_X),
            [] { sendToFocus("cut"); });
    addItem(edit, QStringLiteral("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C),
            [] { sendToFocus("copy"); });
    addItem(edit, QStringLiteral("Paste"), QKeySequence(Qt::CTRL | Qt::Key_V),
            [] { sendToFocus("paste"); });
    addItem(edit, QStringLiteral("Select All"), QKeySequence(Qt::CTRL | Qt::Key_A),
            [] { sendToFocus("selectAll"); });

    QMenu* window = menuBar->addMenu(QStringLiteral("Window"));
    addItem(window, QStringLiteral("Close"), QKeySequence(Qt::CTRL | Qt::Key_W), [] {
        if (QWidget* active = QApplication::activeWindow()) {
            active->close();
        }
    });
    addItem(window, QStringLiteral("Minimize"), QKeySequence(Qt::CTRL | Qt::Key_M), [] {
        if (QWidget* active = QApplication::activeWindow()) {
            active->showMinimized();
        }
    });
    return menuBar;
}

// Elsewhere than macOS nothing shows the menu bar until a settings window takes
// its actions, and building it loads the style's standard icons (and with them
// every image-format plugin), so it is built on first use instead of at launch.
void install(std::function<void()> showSettings) {
    if (installedMenuBar != nullptr || pendingShowSettings) {
        return;
    }
    pendingShowSettings = std::move(showSettings);
#ifdef Q_OS_MACOS
    installed();
#endif
}

QMenuBar* installed() {
    if (installedMenuBar == nullptr && pendingShowSettings) {
        installedMenuBar = build(std::exchange(pendingShowSettings, nullptr));
    }
    return installedMenuBar;
}

} // namespace menubar::app::MainMenu
