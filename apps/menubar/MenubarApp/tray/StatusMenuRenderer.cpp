#include "StatusMenuRenderer.hpp"

#include <QAction>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QProxyStyle>
#include <QScreen>

#include "app/system/QtText.hpp"
#include "status/Legibility.hpp"
#include "status/MenuUpdate.hpp"

namespace menubar::app {

namespace {

// The entry's title as written, indented; a tab would start Qt's shortcut column.
QString fullTitle(const MenuEntry& entry) {
    QString text = qs(entry.title);
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return QString(entry.indentation * 4, QLatin1Char(' ')) + text;
}

// "&" marks a mnemonic in a QAction's text; session names and event texts are
// shown as written.
QString menuText(const QString& title) {
    QString text = title;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// A menu taller than the screen scrolls instead of opening further columns
// beside the first, which made a crowded menu cover the screen.
class ScrollingMenuStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Menu_Scrollable)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

const QScreen* screenOf(const QMenu& menu) {
    return menu.screen() ? menu.screen() : QGuiApplication::primaryScreen();
}

} // namespace

StatusMenuRenderer::StatusMenuRenderer(Perform perform)
    : perform_(std::move(perform)), menu_(std::make_unique<QMenu>()) {
    menu_->setObjectName(QStringLiteral("statusMenu"));
    menu_->setToolTipsVisible(true);
    auto* style = new ScrollingMenuStyle;
    style->setParent(menu_.get());
    menu_->setStyle(style);
}

StatusMenuRenderer::~StatusMenuRenderer() = default;

bool StatusMenuRenderer::render(const std::vector<MenuEntry>& entries, bool open) {
    const MenuUpdate update = MenuUpdate::plan(
        shown_, entries, open ? MenuUpdate::View::openMenu : MenuUpdate::View::closedMenu);
    const QList<QAction*> actions = menu_->actions();
    switch (update.kind) {
    case MenuUpdate::Kind::keep:
        return false;
    case MenuUpdate::Kind::retitle:
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i] != shown_[i]) {
                show(actions[static_cast<qsizetype>(i)], entries[i]);
            }
        }
        break;
    case MenuUpdate::Kind::rebuild:
    case MenuUpdate::Kind::patch:
        // The action that asked for this rebuild may still be delivering its
        // signal, so old items are detached now and deleted once control is back
        // in the loop.
        for (QAction* action : actions) {
            menu_->removeAction(action);
            action->deleteLater();
        }
        for (const MenuEntry& entry : entries) {
            menu_->addAction(make(entry));
        }
        break;
    }
    shown_ = entries;
    if (menu_->isVisible()) {
        keepOnScreen();
    }
    return true;
}

QAction* StatusMenuRenderer::make(const MenuEntry& entry) {
    auto* action = new QAction(menu_.get());
    if (entry.isSeparator) {
        action->setSeparator(true);
        return action;
    }
    show(action, entry);
    if (!entry.keyEquivalent.empty()) {
        action->setShortcut(
            QKeySequence(QStringLiteral("Ctrl+") + qs(entry.keyEquivalent).toUpper()));
    }
    if (entry.action != MenuAction::none) {
        // Not with the menu as the receiver: a menu drops every connection to
        // itself of an action it lets go, and an item kept by a rebuild that is
        // still delivering its click must still act.
        QObject::connect(action, &QAction::triggered, action, [this, entry] { perform_(entry); });
    }
    return action;
}

// What may change while an item keeps its place; see StatusMenu::sameItems.
void StatusMenuRenderer::show(QAction* action, const MenuEntry& entry) {
    // The value's texts stay whole; only the drawing is bounded by the screen,
    // and an elided title is whole in the tooltip, above the entry's own.
    const QString title = fullTitle(entry);
    const QString shown = menu_->fontMetrics().elidedText(title, Qt::ElideRight, titleWidth());
    QStringList tooltip;
    if (shown != title)
        tooltip << title.trimmed();
    if (entry.tooltip && !entry.tooltip->empty())
        tooltip << qs(*entry.tooltip);
    action->setText(menuText(shown));
    action->setEnabled(entry.enabled);
    action->setToolTip(tooltip.join(QLatin1Char('\n')));
    const bool checkable = entry.checkable();
    action->setCheckable(checkable);
    action->setChecked(checkable && entry.checked);
}

int StatusMenuRenderer::titleWidth() const {
    const QScreen* screen = screenOf(*menu_);
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    // The check column, the shortcut column and the frame, roughly as styles draw them.
    const QFontMetrics metrics = menu_->fontMetrics();
    const int reserved = metrics.horizontalAdvance(QStringLiteral("Ctrl+Q")) + 6 * metrics.height();
    return Legibility::menuTitleWidth(screenWidth, reserved);
}

// A shown menu resizes itself to its longest title but keeps its top-left
// corner, so a title that grew would push its right edge off the screen.
void StatusMenuRenderer::keepOnScreen() {
    const QScreen* screen = screenOf(*menu_);
    if (!screen) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QRect geometry(menu_->pos(), menu_->sizeHint());
    const ScreenRect placed =
        keptOnScreen({geometry.x(), geometry.y(), geometry.width(), geometry.height()},
                     {area.x(), area.y(), area.width(), area.height()});
    if (placed.x != geometry.x() || placed.y != geometry.y()) {
        menu_->move(placed.x, placed.y);
    }
}

} // namespace menubar::app
