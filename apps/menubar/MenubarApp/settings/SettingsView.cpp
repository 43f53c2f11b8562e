#include "SettingsView.hpp"

#include <QAbstractButton>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "SettingLabels.hpp"
#include "SettingRow.hpp"
#include "SettingsModel.hpp"
#include "app/system/QtText.hpp"
#include "settings/SettingsWindowText.hpp"

namespace menubar::app {

namespace {

// A section of the grouped form that is no group: a framed box with its own layout.
QFrame* section(const char* name, QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(QLatin1String(name));
    frame->setFrameShape(QFrame::StyledPanel);
    return frame;
}

void run(const std::function<void()>& action) {
    if (action)
        action();
}

// A footer button's title with its first letter as the Alt mnemonic.
QString withMnemonic(std::string_view title) {
    return QLatin1Char('&') + qs(title);
}

} // namespace

SettingsView::SettingsView(SettingsModel* model, Actions actions, QWidget* parent)
    : QWidget(parent), model_(model), actions_(std::move(actions)) {
    setMinimumSize(520, 420);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    content_ = new QStackedWidget(this);
    loadingPage_ = buildLoadingPage();
    failedPage_ = buildFailedPage();
    formPage_ = static_cast<QScrollArea*>(buildFormPage());
    emptyPage_ = new QWidget(content_);
    content_->addWidget(loadingPage_);
    content_->addWidget(failedPage_);
    content_->addWidget(formPage_);
    content_->addWidget(emptyPage_);
    layout->addWidget(content_, 1);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    layout->addWidget(buildFooter());

    connect(model_, &SettingsModel::formReplaced, this, &SettingsView::rebuildForm);
    connect(model_, &SettingsModel::changed, this, &SettingsView::refresh);
    rebuildForm();
}

QWidget* SettingsView::buildLoadingPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(12);
    layout->addStretch(1);
    auto* spinner = new QProgressBar(page);
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedWidth(160);
    layout->addWidget(spinner, 0, Qt::AlignHCenter);
    auto* text = new QLabel(qs(SettingsWindowText::loadingText), page);
    text->setObjectName(QStringLiteral("loading"));
    SettingsStyle::apply(text, SettingsStyle::Tone::secondary);
    layout->addWidget(text, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    return page;
}

QWidget* SettingsView::buildFailedPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(12);
    failedTitle_ = new SymbolLabel("exclamationmark.triangle", SettingsStyle::Tone::primary, page);
    failedTitle_->setObjectName(QStringLiteral("failed:title"));
    QFont headline = failedTitle_->textLabel()->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.1);
    failedTitle_->textLabel()->setFont(headline);
    layout->addWidget(failedTitle_);
    failedDetail_ = new QLabel(page);
    failedDetail_->setObjectName(QStringLiteral("failed:detail"));
    failedDetail_->setWordWrap(true);
    failedDetail_->setTextFormat(Qt::PlainText);
    failedDetail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SettingsStyle::monospaced(failedDetail_);
    layout->addWidget(failedDetail_);
    auto* tryAgain = new QPushButton(qs(SettingsWindowText::tryAgainTitle), page);
    tryAgain->setObjectName(QStringLiteral("failed:tryAgain"));
    connect(tryAgain, &QPushButton::clicked, this, [this] { model_->load(); });
    layout->addWidget(tryAgain, 0, Qt::AlignLeft);
    layout->addStretch(1);
    return page;
}

QWidget* SettingsView::buildFormPage() {
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("form"));
    // Tab goes to the controls; the area scrolls to the one that has focus.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* body = new QWidget(scroll);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);

    configErrorBanner_ = section("banner:configError", body);
    {
        auto* box = new QVBoxLayout(configErrorBanner_);
        box->setSpacing(4);
        auto* title =
            new SymbolLabel("xmark.octagon", SettingsStyle::Tone::red, configErrorBanner_);
        title->setText(qs(SettingsWindowText::configErrorBanner));
        QFont headline = title->textLabel()->font();
        headline.setBold(true);
        title->textLabel()->setFont(headline);
        box->addWidget(title);
        configErrorMessage_ = new QLabel(configErrorBanner_);
        configErrorMessage_->setObjectName(QStringLiteral("banner:configError:message"));
        configErrorMessage_->setWordWrap(true);
        configErrorMessage_->setTextFormat(Qt::PlainText);
        configErrorMessage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        SettingsStyle::monospaced(configErrorMessage_);
        box->addWidget(configErrorMessage_);
        configErrorPath_ = new QLabel(configErrorBanner_);
        configErrorPath_->setObjectName(QStringLiteral("banner:configError:path"));
        SettingsStyle::caption(configErrorPath_);
        SettingsStyle::apply(configErrorPath_, SettingsStyle::Tone::secondary);
        box->addWidget(configErrorPath_);
    }
    layout->addWidget(configErrorBanner_);

    restartBanner_ = section("banner:restartNeeded", body);
    {
        auto* box = new QHBoxLayout(restartBanner_);
        auto* text =
            new SymbolLabel("arrow.clockwise", SettingsStyle::Tone::orange, restartBanner_);
        text->setText(qs(SettingsWindowText::restartNeededBanner));
        box->addWidget(text, 1);
        bannerRestart_ =
            new QPushButton(qs(SettingsWindowText::restartButtonTitle), restartBanner_);
        bannerRestart_->setObjectName(QStringLiteral("banner:restartNeeded:restart"));
        connect(bannerRestart_, &QPushButton::clicked, this, [this] { run(actions_.restart); });
        box->addWidget(bannerRestart_, 0, Qt::AlignVCenter);
    }
    layout->addWidget(restartBanner_);

    generalErrorsBanner_ = section("banner:generalErrors", body);
    generalErrorsLayout_ = new QVBoxLayout(generalErrorsBanner_);
    layout->addWidget(generalErrorsBanner_);

    unknownKeysBanner_ = section("banner:unknownKeys", body);
    {
        auto* box = new QVBoxLayout(unknownKeysBanner_);
        unknownKeysText_ = new SymbolLabel("exclamationmark.triangle", SettingsStyle::Tone::orange,
                                           unknownKeysBanner_);
        unknownKeysText_->setObjectName(QStringLiteral("banner:unknownKeys:text"));
        box->addWidget(unknownKeysText_);
    }
    layout->addWidget(unknownKeysBanner_);

    groupsLayout_ = new QVBoxLayout;
    groupsLayout_->setSpacing(12);
    layout->addLayout(groupsLayout_);
    layout->addStretch(1);
    scroll->setWidget(body);
    return scroll;
}

QWidget* SettingsView::buildFooter() {
    auto* footer = new QWidget(this);
    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(12);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    // Two lines at most each: a long path or message must not push the buttons away.
    fileLine_ = new ClampedLabel(2, footer);
    fileLine_->setObjectName(QStringLiteral("footer:file"));
    statusLine_ = new ClampedLabel(2, footer);
    statusLine_->setObjectName(QStringLiteral("footer:status"));
    for (QLabel* line : {fileLine_, statusLine_}) {
        SettingsStyle::caption(line);
        texts->addWidget(line);
    }
    SettingsStyle::apply(fileLine_, SettingsStyle::Tone::secondary);
    layout->addLayout(texts, 1);

    restart_ = new QPushButton(withMnemonic(SettingsWindowText::restartButtonTitle), footer);
    restart_->setObjectName(QStringLiteral("footer:restart"));
    restart_->setAutoDefault(false);
    connect(restart_, &QPushButton::clicked, this, [this] { run(actions_.restart); });
    layout->addWidget(restart_);

    cancel_ = new QPushButton(withMnemonic(SettingsWindowText::cancelTitle), footer);
    cancel_->setObjectName(QStringLiteral("footer:cancel"));
    cancel_->setAutoDefault(false);
    cancel_->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(cancel_, &QPushButton::clicked, this, [this] { run(actions_.close); });
    layout->addWidget(cancel_);

    save_ = new QPushButton(withMnemonic(SettingsWindowText::saveTitle), footer);
    save_->setObjectName(QStringLiteral("footer:save"));
    save_->setDefault(true);
    save_->setShortcut(QKeySequence::Save);
    save_->setToolTip(qs(SettingsWindowText::saveHelp));
    connect(save_, &QPushButton::clicked, this, [this] { run(actions_.save); });
    layout->addWidget(save_);
    return footer;
}

void SettingsView::rebuildForm() {
    rows_.clear(); // the rows go with their group boxes
    while (QLayoutItem* item = groupsLayout_->takeAt(0)) {
        delete item->widget();
        delete item;
    }

    if (const SettingsForm* form = model_->form()) {
        for (const auto& group : form->schema().groups) {
            auto* box = new QGroupBox(qs(group.title), formPage_->widget());
            box->setObjectName(qs("group:" + group.id));
            auto* layout = new QVBoxLayout(box);
            layout->setSpacing(10);
            bool first = true;
            for (const auto& field : form->fields(group)) {
                if (!first) {
                    auto* line = new QFrame(box);
                    line->setFrameShape(QFrame::HLine);
                    line->setFrameShadow(QFrame::Sunken);
                    layout->addWidget(line);
                }
                first = false;
                auto* row = new SettingRow(model_, field, box);
                layout->addWidget(row);
                rows_.push_back(row);
            }
            groupsLayout_->addWidget(box);
        }
    }
    refresh();
}

void SettingsView::orderTabs() {
    std::vector<QWidget*> order;
    for (QWidget* widget : content_->findChildren<QWidget*>()) {
        // Children are listed depth first in the order they were added, which
        // is the order they are laid out top to bottom.
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->focusProxy() == nullptr &&
            widget->window() == window())
            order.push_back(widget);
    }
    order.insert(order.end(), {restart_, cancel_, save_});
    if (order == tabOrder_)
        return;
    tabOrder_ = order;
    // From the window itself (nothing focused yet) Tab goes to the top.
    setTabOrder(window(), order.front());
    for (std::size_t index = 1; index < order.size(); ++index)
        setTabOrder(order[index - 1], order[index]);
}

void SettingsView::leaveTheFooter() {
    // Shown while loading, the window gave the focus to the only button there
    // was; once the form is there, the first Tab goes to its first field.
    QWidget* focused = window()->focusWidget();
    if (focused == nullptr || focused == restart_ || focused == cancel_ || focused == save_)
        window()->setFocus(Qt::OtherFocusReason);
}

void SettingsView::refreshBanners() {
    const auto& notice = model_->configErrorNotice();
    const auto* configError = notice ? notice->asConfigError() : nullptr;
    configErrorBanner_->setVisible(configError != nullptr);
    if (configError != nullptr) {
        configErrorMessage_->setText(qs(configError->message));
        configErrorPath_->setText(qs(configError->path.value_or(std::string())));
        configErrorPath_->setVisible(configError->path.has_value());
    }

    restartBanner_->setVisible(model_->restartNeeded());
    bannerRestart_->setEnabled(model_->isDaemonInstalled() &&
                               model_->saveState().kind() != SaveState::Kind::restarting);

    if (shownGeneralErrors_ != model_->generalErrors()) {
        shownGeneralErrors_ = model_->generalErrors();
        while (QLayoutItem* item = generalErrorsLayout_->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        int index = 0;
        for (const auto& message : shownGeneralErrors_) {
            auto* label =
                new SymbolLabel("xmark.octagon", SettingsStyle::Tone::red, generalErrorsBanner_);
            label->setObjectName(QStringLiteral("banner:generalErrors:%1").arg(++index));
            label->setText(qs(message));
            generalErrorsLayout_->addWidget(label);
        }
    }
    generalErrorsBanner_->setVisible(!shownGeneralErrors_.empty());

    const SettingsForm* form = model_->form();
    const auto unknown = form ? SettingsWindowText::unknownKeysNotice(form->unknownKeys())
                              : std::optional<std::string>();
    unknownKeysBanner_->setVisible(unknown.has_value());
    unknownKeysText_->setText(qs(unknown.value_or(std::string())));
}

void SettingsView::refresh() {
    const SettingsPhase& phase = model_->phase();
    switch (phase.kind()) {
    case SettingsPhase::Kind::loading:
        content_->setCurrentWidget(loadingPage_);
        break;
    case SettingsPhase::Kind::failed:
        failedTitle_->setText(qs(phase.failure()->title));
        failedDetail_->setText(qs(phase.failure()->detail));
        content_->setCurrentWidget(failedPage_);
        break;
    case SettingsPhase::Kind::loaded:
        content_->setCurrentWidget(model_->form() ? static_cast<QWidget*>(formPage_) : emptyPage_);
        break;
    }
    refreshBanners();
    for (SettingRow* row : rows_)
        row->refresh();

    const SaveState& saveState = model_->saveState();
    const bool installed = model_->isDaemonInstalled();
    const bool formShown = content_->currentWidget() == formPage_;
    if (formShown && !formWasShown_)
        leaveTheFooter();
    formWasShown_ = formShown;
    fileLine_->setFullText(qs(
        SettingsWindowText::fileLine(formShown, model_->configFileExists(), model_->configPath())));
    statusLine_->setFullText(
        qs(SettingsWindowText::statusLine(formShown, saveState, model_->restartNeeded(), installed,
                                          TimeZone::current(), phase.configFileUnreadable())));
    SettingsStyle::apply(statusLine_, saveState.kind() == SaveState::Kind::failed
                                          ? SettingsStyle::Tone::red
                                          : SettingsStyle::Tone::secondary);
    restart_->setEnabled(SettingsWindowText::canRestart(phase, saveState, installed));
    restart_->setToolTip(qs(SettingsWindowText::restartHelp(model_->service())));
    save_->setEnabled(model_->canSave());
    orderTabs();
}

} // namespace menubar::app
