#pragma once

// The settings window's content: a header area by load phase (a spinner while
// loading; the failure with "Try again"; the banners, the unknown-keys warning
// and one section per group of the schema once loaded), a divider, and the
// footer with the file line, the status line and the Restart daemon, Cancel and
// Save buttons.
//
// The view reads the model and changes it only through the model's operations
// and the three actions the controller hands in. It updates its widgets in place
// on the model's `changed`; the rows are rebuilt only on `formReplaced`.

#include <functional>
#include <string>
#include <vector>

#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace menubar::app {

class SettingsModel;
class ClampedLabel;
class SettingRow;
class SymbolLabel;

class SettingsView : public QWidget {
    Q_OBJECT

public:
    struct Actions {
        std::function<void()> close;
        std::function<void()> save;
        std::function<void()> restart;
    };

    SettingsView(SettingsModel* model, Actions actions, QWidget* parent = nullptr);

    const std::vector<SettingRow*>& rows() const { return rows_; }

private:
    QWidget* buildLoadingPage();
    QWidget* buildFailedPage();
    QWidget* buildFormPage();
    QWidget* buildFooter();
    void rebuildForm();
    void refresh();
    void refreshBanners();
    // Tab follows the visual order: the content from the top, then the
    // footer's buttons. The rows (and a list's new lines) are built after the
    // footer, so they would otherwise come last; the chain is set again
    // whenever the focusable widgets change.
    void orderTabs();
    void leaveTheFooter();

    SettingsModel* model_;
    Actions actions_;

    QStackedWidget* content_;
    QWidget* loadingPage_;
    QWidget* failedPage_;
    QScrollArea* formPage_;
    QWidget* emptyPage_;
    SymbolLabel* failedTitle_;
    QLabel* failedDetail_;

    QFrame* configErrorBanner_;
    QLabel* configErrorMessage_;
    QLabel* configErrorPath_;
    QFrame* restartBanner_;
    QPushButton* bannerRestart_;
    QFrame* generalErrorsBanner_;
    QVBoxLayout* generalErrorsLayout_;
    std::vector<std::string> shownGeneralErrors_;
    QFrame* unknownKeysBanner_;
    SymbolLabel* unknownKeysText_;
    QVBoxLayout* groupsLayout_;
    std::vector<SettingRow*> rows_;
    std::vector<QWidget*> tabOrder_;
    bool formWasShown_ = false;

    ClampedLabel* fileLine_;
    ClampedLabel* statusLine_;
    QPushButton* restart_;
    QPushButton* cancel_;
    QPushButton* save_;
};

} // namespace menubar::app
