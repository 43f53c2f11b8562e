#include "SettingLabels.hpp"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QTextLayout>

#include "app/system/QtText.hpp"
#include "settings/SettingsWindowText.hpp"

namespace menubar::app {

ClampedLabel::ClampedLabel(int lines, QWidget* parent) : QLabel(parent), lines_(lines) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ClampedLabel::setFullText(const QString& text) {
    if (text == full_)
        return;
    full_ = text;
    relayout();
    updateGeometry();
}

QStringList ClampedLabel::wrapped(int width) const {
    QStringList result;
    for (const QString& text : full_.split(QLatin1Char('\n'))) {
        // A path breaks between its folders, not inside a name.
        const QString paragraph = qs(SettingsWindowText::withPathBreaks(text.toStdString()));
        QTextLayout layout(paragraph, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            result << qs(SettingsWindowText::withoutBreaks(
                paragraph.mid(line.textStart(), line.textLength()).toStdString()));
        }
        layout.endLayout();
    }
    return result;
}

void ClampedLabel::relayout() {
    const int width = std::max(1, contentsRect().width());
    QStringList lines = wrapped(width);
    if (lines.size() > lines_) {
        const QStringList rest = lines.mid(lines_ - 1);
        lines = lines.mid(0, lines_ - 1);
        lines << fontMetrics().elidedText(rest.join(QString()).simplified(), Qt::ElideRight, width);
    }
    for (QString& line : lines)
        line = line.trimmed();
    const QString shown = lines.join(QLatin1Char('\n'));
    setToolTip(shown == full_ ? QString() : full_);
    if (text() != shown)
        setText(shown);
}

QSize ClampedLabel::sizeHint() const {
    // Some fonts have a negative leading: the last line needs its full height.
    const QFontMetrics metrics = fontMetrics();
    const QMargins margins = contentsMargins();
    const int height = metrics.lineSpacing() * (lines_ - 1) + metrics.height() + 1;
    return {QLabel::sizeHint().width(), height + margins.top() + margins.bottom()};
}

QSize ClampedLabel::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

void ClampedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    relayout();
}

void ClampedLabel::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Copy"), this,
                   [this] { QGuiApplication::clipboard()->setText(full_); });
    menu.exec(event->globalPos());
}

SymbolLabel::SymbolLabel(const char* symbol, SettingsStyle::Tone tone, QWidget* parent)
    : QWidget(parent), text_(new QLabel(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* icon = new QLabel(this);
    const int size = fontMetrics().height() - 2;
    icon->setPixmap(SettingsStyle::symbol(symbol, SettingsStyle::colour(tone, palette()), size)
                        .pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);
    layout->addWidget(icon, 0, Qt::AlignTop);
    text_->setWordWrap(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SettingsStyle::apply(text_, tone);
    layout->addWidget(text_, 1);
}

void SymbolLabel::setText(const QString& text) {
    if (text_->text() != text)
        text_->setText(text);
}

QString SymbolLabel::text() const {
    return text_->text();
}

} // namespace menubar::app
