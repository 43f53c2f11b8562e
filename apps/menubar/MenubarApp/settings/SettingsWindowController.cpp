#include "SettingsWindowController.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "SettingsView.hpp"
#include "app/system/Log.hpp"
#include "app/system/MainMenu.hpp"
#include "app/system/QtText.hpp"
#include "settings/ConfigLocation.hpp"
#include "settings/SaveReport.hpp"
#include "settings/SettingsWindowText.hpp"
#include "settings/WindowPlacement.hpp"

namespace menubar::app {

namespace {

// The main menu's items, taken over by the window so that their shortcuts
// (Close, Undo, Copy, Settings, ...) work while it is in front.
void addMainMenuActions(QWidget* window) {
    QMenuBar* menuBar = MainMenu::installed();
    if (menuBar == nullptr)
        return;
    for (QAction* menuAction : menuBar->actions()) {
        if (QMenu* menu = menuAction->menu()) {
            for (QAction* action : menu->actions())
                if (!action->isSeparator() && !action->shortcut().isEmpty())
                    window->addAction(action);
        }
    }
}

} // namespace

namespace {

QPointer<SettingsWindowController> sharedInstance;

} // namespace

SettingsWindowController& SettingsWindowController::shared() {
    if (!sharedInstance)
        sharedInstance = new SettingsWindowController(SettingsModelDependencies::system(), qApp);
    return *sharedInstance;
}

SettingsWindowController* SettingsWindowController::existing() {
    return sharedInstance;
}

SettingsWindowController::SettingsWindowController(SettingsModelDependencies dependencies,
                                                   QObject* parent)
    : QObject(parent), model_(new SettingsModel(std::move(dependencies), this)) {}

SettingsWindowController::~SettingsWindowController() {
    delete window_;
}

void SettingsWindowController::show() {
    if (!window_) {
        createWindow();
        installSaveOnOpenHook();
        model_->load();
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void SettingsWindowController::createWindow() {
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setObjectName(QStringLiteral("settingsWindow"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(qs(SettingsWindowText::windowTitle));
    window->setMinimumSize(WindowPlacement::minimum.width, WindowPlacement::minimum.height);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);

    const QPointer<SettingsWindowController> self(this);
    SettingsView::Actions actions{
        .close =
            [self] {
                if (self && self->window_)
                    self->window_->close();
            },
        .save =
            [self] {
                if (self)
                    self->save(true);
            },
        .restart =
            [self] {
                if (self)
                    self->model_->restartDaemon();
            },
    };
    view_ = new SettingsView(model_, std::move(actions), window);
    layout->addWidget(view_);
    addMainMenuActions(window);
    window->installEventFilter(this);

    // Fitted to the screen's free area, so that its title and footer are never
    // off-screen on a small one; the form scrolls.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QSize frame = window->frameGeometry().size() - window->size();
        const auto place = WindowPlacement::placed(
            {area.x(), area.y(), area.width(), area.height()}, {frame.width(), frame.height()});
        window->resize(place.width, place.height);
        window->move(place.x, place.y);
    } else {
        window->resize(WindowPlacement::wished.width, WindowPlacement::wished.height);
    }
    window_ = window;
}

bool SettingsWindowController::eventFilter(QObject* watched, QEvent* event) {
    // Forgotten as it closes: the next show() builds a new window and reloads,
    // even before the closed one is finally deleted.
    if (watched == window_ && event->type() == QEvent::Close && event->isAccepted())
        window_ = nullptr;
    return QObject::eventFilter(watched, event);
}

void SettingsWindowController::installSaveOnOpenHook() {
    const auto environment = model_->dependencies().environment();
    const auto hook = environment.find(std::string(ConfigLocation::saveOnOpenKey));
    if (hook == environment.end() || hook->second != "1")
        return;
    const auto path = environment.find(std::string(ConfigLocation::configFileKey));
    if (path == environment.end() || path->second.empty()) {
        log(ConfigLocation::saveOnOpenIgnored);
        return;
    }
    model_->setAfterLoad([self = QPointer(this)] {
        if (!self)
            return;
        SettingsModel* model = self->model_;
        log(ConfigLocation::saveOnOpenLine(model->configPath()));
        model->set(std::string(ConfigLocation::saveOnOpenSetting),
                   SettingValue::number(ConfigLocation::saveOnOpenValue));
        model->clearSavedMark();
        self->save(false);
    });
}

void SettingsWindowController::save(bool offerRestart) {
    model_->save([self = QPointer(this), offerRestart](const SaveOutcome& outcome) {
        log("save outcome: " + SaveLog::describe(outcome));
        if (self && offerRestart && outcome.isSaved())
            self->offerRestart();
    });
}

void SettingsWindowController::offerRestart() {
    if (!window_ || !window_->isVisible() || !model_->isDaemonInstalled())
        return;
    auto* sheet = new QMessageBox(window_);
    sheet->setObjectName(QStringLiteral("restartOffer"));
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setIcon(QMessageBox::Information);
    sheet->setText(qs(SettingsWindowText::restartOfferTitle));
    sheet->setInformativeText(qs(SettingsWindowText::restartOfferText));
    QPushButton* restart =
        sheet->addButton(qs(SettingsWindowText::restartOfferConfirm), QMessageBox::AcceptRole);
    sheet->addButton(qs(SettingsWindowText::restartOfferLater), QMessageBox::RejectRole);
    sheet->setDefaultButton(restart);
    connect(sheet, &QMessageBox::finished, this,
            [self = QPointer(this), sheet = QPointer(sheet), restart = QPointer(restart)] {
                if (self && sheet && restart && sheet->clickedButton() == restart)
                    self->model_->restartDaemon();
            });
    sheet->open();
}

} // namespace menubar::app
