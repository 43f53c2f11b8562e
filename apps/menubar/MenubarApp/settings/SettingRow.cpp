#include "SettingRow.hpp"

#include <cmath>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDoubleValidator>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include "SettingsModel.hpp"
#include "app/system/QtText.hpp"
#include "app/system/Symbols.hpp"
#include "settings/SettingsText.hpp"

namespace menubar::app {

namespace {

// Numbers are shown and read as the file holds them, whatever the user's
// locale: "0.5" stays 0.5 and never turns into "0,5". No digit grouping, so
// what is shown always parses back.
QLocale numberLocale() {
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

// When editing ends (focus leaves, Enter) on a text that does not parse, such
// as an emptied field, the field shows the form's value again, so what it shows
// is what a save writes.
class NumberValidator final : public QDoubleValidator {
public:
    NumberValidator(std::function<QString()> current, QObject* parent)
        : QDoubleValidator(parent), current_(std::move(current)) {}
    void fixup(QString& input) const override { input = current_(); }
    // A decimal comma typed out of habit is the decimal point, not a digit
    // group that would make 0,5 read as 5.
    State validate(QString& input, int& position) const override {
        input.replace(QLatin1Char(','), QLatin1Char('.'));
        return QDoubleValidator::validate(input, position);
    }

private:
    std::function<QString()> current_;
};

void spoken(QWidget* widget, const std::string& name, const std::string& description = {}) {
    widget->setAccessibleName(qs(name));
    if (!description.empty())
        widget->setAccessibleDescription(qs(description));
}

} // namespace

namespace SettingsStyle {

QColor colour(Tone tone, const QPalette& palette) {
    QColor text = palette.color(QPalette::WindowText);
    switch (tone) {
    case Tone::primary:
        return text;
    case Tone::secondary:
        text.setAlphaF(0.65f);
        return text;
    case Tone::tertiary:
        text.setAlphaF(0.45f);
        return text;
    case Tone::red:
        return QColor(0xd0, 0x2b, 0x2b);
    case Tone::orange:
        return QColor(0xe0, 0x78, 0x10);
    }
    return text;
}

void apply(QWidget* widget, Tone tone) {
    // From the inherited palette, not the widget's own: that may hold the tone
    // applied before, and a secondary made from red stays red.
    QPalette palette =
        widget->parentWidget() ? widget->parentWidget()->palette() : QApplication::palette(widget);
    const QColor colour = SettingsStyle::colour(tone, palette);
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

void caption(QWidget* widget) {
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    widget->setFont(font);
}

void monospaced(QWidget* widget) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(widget->font().pointSizeF());
    widget->setFont(font);
}

QIcon symbol(const char* name, const QColor& colour, int size) {
    return symbolIcon(name, colour, size);
}

} // namespace SettingsStyle

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
    for (const QString& paragraph : full_.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            result << paragraph.mid(line.textStart(), line.textLength());
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

ListControl::ListControl(const std::string& name, std::string label, OnChange onChange,
                         QWidget* parent)
    : QWidget(parent), name_(name), label_(std::move(label)), onChange_(std::move(onChange)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    linesLayout_ = new QVBoxLayout;
    linesLayout_->setSpacing(6);
    layout->addLayout(linesLayout_);

    auto* add = new QToolButton(this);
    add->setObjectName(qs("setting:" + name_ + ":add"));
    add->setText(QStringLiteral("Add"));
    add->setIcon(SettingsStyle::symbol("plus.circle", palette().color(QPalette::ButtonText)));
    add->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    add->setAutoRaise(true);
    spoken(add, SettingsText::Spoken::addItem(label_));
    connect(add, &QToolButton::clicked, this,
            [this] { onChange_(SettingsText::ListEdit::added(items_)); });
    layout->addWidget(add, 0, Qt::AlignLeft);
    add_ = add;

    empty_ = new QLabel(QStringLiteral("Empty"), this);
    empty_->setObjectName(qs("setting:" + name_ + ":empty"));
    SettingsStyle::caption(empty_);
    SettingsStyle::apply(empty_, SettingsStyle::Tone::tertiary);
    layout->addWidget(empty_);
}

void ListControl::setItems(const std::vector<std::string>& items) {
    const bool sameCount = items.size() == items_.size() && lines_.size() == items.size();
    items_ = items;
    if (!sameCount) {
        rebuild();
        return;
    }
    for (std::size_t index = 0; index < items_.size(); ++index) {
        QLineEdit* line = lines_[index];
        const QString text = qs(items_[index]);
        if (line != typing_ && line->text() != text) {
            const QSignalBlocker blocker(line);
            line->setText(text);
        }
    }
}

void ListControl::rebuild() {
    while (QLayoutItem* item = linesLayout_->takeAt(0)) {
        // The line may hold the button whose click got us here, so it goes later;
        // taken out of the tree at once, it is no longer found under its name.
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->setParent(nullptr);
            widget->deleteLater();
        }
        delete item;
    }
    lines_.clear();
    for (std::size_t index = 0; index < items_.size(); ++index) {
        auto* line = new QWidget(this);
        auto* layout = new QHBoxLayout(line);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* edit = new QLineEdit(qs(items_[index]), line);
        edit->setObjectName(qs("setting:" + name_ + ":item:" + std::to_string(index + 1)));
        edit->setPlaceholderText(qs(SettingsText::ListEdit::placeholder(index)));
        spoken(edit, SettingsText::Spoken::listItem(label_, index));
        connect(edit, &QLineEdit::textEdited, this, [this, edit, index](const QString& text) {
            typing_ = edit;
            onChange_(SettingsText::ListEdit::typed(items_, index, text.toStdString()));
            typing_ = nullptr;
        });
        layout->addWidget(edit, 1);
        auto* remove = new QToolButton(line);
        remove->setObjectName(qs("setting:" + name_ + ":remove:" + std::to_string(index + 1)));
        remove->setIcon(
            SettingsStyle::symbol("minus.circle", palette().color(QPalette::ButtonText)));
        remove->setToolTip(QStringLiteral("Remove this item"));
        spoken(remove, SettingsText::Spoken::removeItem(label_, index));
        remove->setAutoRaise(true);
        connect(remove, &QToolButton::clicked, this,
                [this, index] { onChange_(SettingsText::ListEdit::removed(items_, index)); });
        layout->addWidget(remove);
        linesLayout_->addWidget(line);
        lines_.push_back(edit);
    }
    // The lines stand above "Add", so they come before it among the children,
    // the order the window's tab chain follows.
    add_->raise();
    empty_->raise();
    empty_->setVisible(items_.empty());
}

SettingRow::SettingRow(SettingsModel* model, const SettingField& field, QWidget* parent)
    : QWidget(parent), model_(model), name_(field.name()), spec_(field.spec) {
    setObjectName(qs(objectName("row")));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(6);

    auto* header = new QHBoxLayout;
    auto* label = new QLabel(qs(spec_.label()), this);
    label->setObjectName(qs(objectName("label")));
    QFont medium = label->font();
    medium.setWeight(QFont::Medium);
    label->setFont(medium);
    // A long label wraps rather than widening the window past its width.
    label->setWordWrap(true);
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 12);
    header->addWidget(label, 1);
    edited_ = new QLabel(QStringLiteral("edited"), this);
    edited_->setObjectName(qs(objectName("edited")));
    SettingsStyle::caption(edited_);
    SettingsStyle::apply(edited_, SettingsStyle::Tone::orange);
    header->addWidget(edited_, 0, Qt::AlignTop);
    source_ = new QLabel(this);
    source_->setObjectName(qs(objectName("source")));
    SettingsStyle::caption(source_);
    SettingsStyle::apply(source_, SettingsStyle::Tone::secondary);
    header->addWidget(source_, 0, Qt::AlignTop);
    reset_ = new QPushButton(QStringLiteral("Reset to default"), this);
    reset_->setObjectName(qs(objectName("reset")));
    SettingsStyle::caption(reset_);
    reset_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    reset_->setToolTip(qs(SettingsText::resetHelp(field)));
    spoken(reset_, "Reset to default",
           SettingsText::Spoken::reset(spec_.label(), SettingsText::resetHelp(field)));
    connect(reset_, &QPushButton::clicked, this, [this] { model_->reset(name_); });
    header->addWidget(reset_, 0, Qt::AlignTop);
    layout->addLayout(header);

    control_ = buildControl();
    // A switch takes only its own room, so a click beside it does not toggle it.
    if (spec_.control.kind() == SettingControl::Kind::toggle)
        layout->addWidget(control_, 0, Qt::AlignLeft);
    else
        layout->addWidget(control_);

    lockNote_ = new SymbolLabel("lock", SettingsStyle::Tone::secondary, this);
    lockNote_->setObjectName(qs(objectName("lock")));
    lockNote_->setText(qs(SettingsForm::lockedByFlagNote));
    SettingsStyle::caption(lockNote_);
    layout->addWidget(lockNote_);

    help_ = new QLabel(qs(spec_.help), this);
    help_->setObjectName(qs(objectName("help")));
    help_->setWordWrap(true);
    SettingsStyle::caption(help_);
    SettingsStyle::apply(help_, SettingsStyle::Tone::secondary);
    help_->setVisible(!spec_.help.empty());
    layout->addWidget(help_);

    live_ = new QLabel(this);
    live_->setObjectName(qs(objectName("live")));
    live_->setWordWrap(true);
    SettingsStyle::caption(live_);
    SettingsStyle::apply(live_, SettingsStyle::Tone::tertiary);
    layout->addWidget(live_);

    error_ = new SymbolLabel("xmark.octagon", SettingsStyle::Tone::red, this);
    error_->setObjectName(qs(objectName("error")));
    SettingsStyle::caption(error_);
    layout->addWidget(error_);

    dim_ = new QGraphicsOpacityEffect(this);
    dim_->setOpacity(1.0);
    setGraphicsEffect(dim_);
    refresh();
}

std::string SettingRow::objectName(const std::string& suffix) const {
    return "setting:" + name_ + (suffix.empty() ? "" : ":" + suffix);
}

void SettingRow::describe(QWidget* control) const {
    spoken(control, spec_.label(), spec_.help);
}

void SettingRow::fromWidget(QObject* source, const std::function<void()>& edit) {
    editSource_ = source;
    edit();
    editSource_ = nullptr;
}

void SettingRow::setLineText(QLineEdit* line, const QString& text) {
    if (line == editSource_ || line->text() == text)
        return;
    const QSignalBlocker blocker(line);
    line->setText(text);
}

QLineEdit* SettingRow::lineEdit(const QString& placeholder) {
    auto* line = new QLineEdit(this);
    line->setObjectName(qs(objectName()));
    line->setPlaceholderText(placeholder);
    line->setClearButtonEnabled(false);
    describe(line);
    return line;
}

QString SettingRow::formatNumber(double value) const {
    const QLocale locale = numberLocale();
    if (spec_.integer)
        return locale.toString(std::round(value), 'f', 0);
    return locale.toString(value, 'g', QLocale::FloatingPointShortest);
}

QWidget* SettingRow::buildControl() {
    switch (spec_.control.kind()) {
    case SettingControl::Kind::toggle: {
        auto* box = new QCheckBox(this);
        box->setObjectName(qs(objectName()));
        describe(box);
        connect(box, &QCheckBox::clicked, this,
                [this](bool on) { model_->set(name_, SettingValue::boolean(on)); });
        refreshers_.push_back([this, box] {
            const QSignalBlocker blocker(box);
            box->setChecked(SettingsText::boolValue(model_->form(), name_));
        });
        return box;
    }
    case SettingControl::Kind::number:
    case SettingControl::Kind::percent:
        return numberControl();
    case SettingControl::Kind::duration: {
        const SettingField* field = model_->form()->field(name_);
        auto* line = lineEdit(qs(field ? field->defaultText() : std::string()));
        line->setMaximumWidth(200);
        connect(line, &QLineEdit::textEdited, this, [this, line](const QString& text) {
            fromWidget(line, [&] { model_->set(name_, SettingValue::text(text.toStdString())); });
        });
        refreshers_.push_back([this, line] {
            setLineText(line, qs(SettingsText::textValue(model_->form(), name_)));
        });
        return line;
    }
    case SettingControl::Kind::text:
        return textControl();
    case SettingControl::Kind::list: {
        auto* list =
            new ListControl(name_, spec_.label(), [this](const std::vector<std::string>& items) {
                model_->set(name_, SettingValue::list(items));
            });
        list->setObjectName(qs(objectName()));
        refreshers_.push_back(
            [this, list] { list->setItems(SettingsText::listValue(model_->form(), name_)); });
        return list;
    }
    case SettingControl::Kind::enumeration:
        return choiceControl();
    case SettingControl::Kind::path:
        return pathControl();
    case SettingControl::Kind::unknown:
        return rawControl();
    }
    return new QWidget(this);
}

QWidget* SettingRow::numberControl() {
    auto* box = new QWidget(this);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    const SettingField* field = model_->form()->field(name_);
    auto* line = lineEdit(qs(field ? field->defaultText() : std::string()));
    line->setFixedWidth(140);
    auto* validator = new NumberValidator(
        [this] { return formatNumber(SettingsText::numberValue(model_->form(), name_)); }, line);
    validator->setLocale(numberLocale());
    if (spec_.integer)
        validator->setDecimals(0);
    line->setValidator(validator);
    // A text that does not parse leaves the number as it is.
    connect(line, &QLineEdit::textEdited, this, [this, line](const QString& text) {
        bool ok = false;
        const double value = numberLocale().toDouble(text.trimmed(), &ok);
        if (ok && std::isfinite(value))
            fromWidget(line, [&] { model_->set(name_, SettingValue::number(value)); });
    });
    connect(line, &QLineEdit::editingFinished, this, [this, line] {
        setLineText(line, formatNumber(SettingsText::numberValue(model_->form(), name_)));
    });
    layout->addWidget(line);

    auto* stepper = new QVBoxLayout;
    stepper->setSpacing(0);
    auto makeStep = [this, stepper](const char* suffix, Qt::ArrowType arrow, int direction) {
        auto* button = new QToolButton(this);
        button->setObjectName(qs(objectName(suffix)));
        spoken(button, SettingsText::Spoken::step(spec_.label(), direction));
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setFixedSize(22, 13);
        connect(button, &QToolButton::clicked, this, [this, direction] {
            const double value = SettingsText::numberValue(model_->form(), name_);
            model_->set(name_,
                        SettingValue::number(SettingsText::stepped(value, direction, spec_)));
        });
        stepper->addWidget(button);
        return button;
    };
    QToolButton* up = makeStep("up", Qt::UpArrow, +1);
    QToolButton* down = makeStep("down", Qt::DownArrow, -1);
    layout->addLayout(stepper);
    if (spec_.control.kind() == SettingControl::Kind::percent) {
        auto* percent = new QLabel(QStringLiteral("%"), box);
        percent->setObjectName(qs(objectName("percent")));
        SettingsStyle::apply(percent, SettingsStyle::Tone::secondary);
        layout->addWidget(percent);
    }
    layout->addStretch(1);
    refreshers_.push_back([this, line, up, down] {
        const double value = SettingsText::numberValue(model_->form(), name_);
        setLineText(line, formatNumber(value));
        const auto range = SettingsText::stepperRange(spec_);
        up->setEnabled(value < range.max);
        down->setEnabled(value > range.min);
    });
    return box;
}

QWidget* SettingRow::textControl() {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    if (spec_.requiredPrefix) {
        auto* prefix = new QLabel(qs(*spec_.requiredPrefix), box);
        prefix->setObjectName(qs(objectName("prefix")));
        SettingsStyle::monospaced(prefix);
        SettingsStyle::apply(prefix, SettingsStyle::Tone::secondary);
        prefix->setToolTip(qs(SettingsText::prefixHelp));
        layout->addWidget(prefix);
    }
    const SettingField* field = model_->form()->field(name_);
    const QString defaultText = qs(field ? field->defaultText() : std::string());
    if (!spec_.multiline) {
        auto* line = lineEdit(defaultText);
        connect(line, &QLineEdit::textEdited, this, [this, line](const QString& text) {
            fromWidget(line, [&] { model_->setEditableText(name_, text.toStdString()); });
        });
        refreshers_.push_back([this, line] {
            setLineText(line, qs(SettingsText::editableText(model_->form(), name_)));
        });
        layout->addWidget(line);
        return box;
    }
    auto* editor = new QPlainTextEdit(box);
    editor->setObjectName(qs(objectName()));
    editor->setMinimumHeight(64);
    editor->setMaximumHeight(120);
    editor->setTabChangesFocus(true);
    describe(editor);
    connect(editor, &QPlainTextEdit::textChanged, this, [this, editor] {
        fromWidget(editor,
                   [&] { model_->setEditableText(name_, editor->toPlainText().toStdString()); });
    });
    layout->addWidget(editor);
    auto* fallback = new QLabel(box);
    fallback->setObjectName(qs(objectName("default")));
    fallback->setWordWrap(true);
    SettingsStyle::caption(fallback);
    SettingsStyle::apply(fallback, SettingsStyle::Tone::tertiary);
    layout->addWidget(fallback);
    refreshers_.push_back([this, editor, fallback] {
        const QString text = qs(SettingsText::editableText(model_->form(), name_));
        if (editor != editSource_ && editor->toPlainText() != text) {
            const QSignalBlocker blocker(editor);
            editor->setPlainText(text);
        }
        const SettingField* field = model_->form() ? model_->form()->field(name_) : nullptr;
        const auto line = field ? SettingsText::multilineDefault(*field) : std::nullopt;
        fallback->setText(qs(line.value_or(std::string())));
        fallback->setVisible(line.has_value());
    });
    return box;
}

QWidget* SettingRow::choiceControl() {
    if (!spec_.multiple) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(qs(objectName()));
        combo->setMaximumWidth(240);
        describe(combo);
        for (const auto& value : spec_.values)
            combo->addItem(qs(value));
        connect(combo, &QComboBox::activated, this, [this](int index) {
            if (index >= 0 && static_cast<std::size_t>(index) < spec_.values.size())
                model_->set(name_,
                            SettingValue::text(spec_.values[static_cast<std::size_t>(index)]));
        });
        refreshers_.push_back([this, combo] {
            const std::string current = SettingsText::textValue(model_->form(), name_);
            int selected = -1;
            for (std::size_t index = 0; index < spec_.values.size(); ++index)
                if (spec_.values[index] == current) {
                    selected = static_cast<int>(index);
                    break;
                }
            const QSignalBlocker blocker(combo);
            combo->setCurrentIndex(selected);
        });
        return combo;
    }
    auto* box = new QWidget(this);
    box->setObjectName(qs(objectName()));
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    // Each box is named by its choice; what they choose is the setting.
    for (const auto& choice : spec_.values) {
        auto* check = new QCheckBox(qs(choice), box);
        check->setObjectName(qs(objectName("choice:" + choice)));
        check->setAccessibleDescription(qs(spec_.label()));
        connect(check, &QCheckBox::clicked, this, [this, choice](bool on) {
            const SettingField* field = model_->form() ? model_->form()->field(name_) : nullptr;
            const SettingValue current = field ? field->value : SettingValue::list({});
            model_->set(
                name_, SettingValue::list(SettingsText::toggledMember(spec_, current, choice, on)));
        });
        refreshers_.push_back([this, check, choice] {
            const SettingField* field = model_->form() ? model_->form()->field(name_) : nullptr;
            const QSignalBlocker blocker(check);
            check->setChecked(field != nullptr && SettingsText::isMember(field->value, choice));
        });
        layout->addWidget(check);
    }
    layout->addStretch(1);
    return box;
}

QWidget* SettingRow::pathControl() {
    auto* box = new QWidget(this);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    const SettingField* field = model_->form()->field(name_);
    auto* line = lineEdit(qs(field ? SettingsText::pathPlaceholder(*field) : std::string()));
    connect(line, &QLineEdit::textEdited, this, [this, line](const QString& text) {
        fromWidget(line, [&] { model_->set(name_, SettingValue::text(text.toStdString())); });
    });
    refreshers_.push_back(
        [this, line] { setLineText(line, qs(SettingsText::textValue(model_->form(), name_))); });
    layout->addWidget(line, 1);
    auto* choose = new QPushButton(QStringLiteral("Choose..."), box);
    choose->setObjectName(qs(objectName("choose")));
    choose->setAccessibleDescription(qs("Choose " + spec_.label()));
    connect(choose, &QPushButton::clicked, this, [this] { choosePath(); });
    layout->addWidget(choose);
    return box;
}

void SettingRow::choosePath() {
    auto* dialog = new QFileDialog(window(), qs("Choose " + spec_.label()));
    dialog->setObjectName(qs(objectName("chooser")));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    connect(dialog, &QFileDialog::fileSelected, this, [self = QPointer(this)](const QString& path) {
        if (self && !path.isEmpty())
            self->model_->set(self->name_, SettingValue::text(path.toStdString()));
    });
    dialog->open();
}

QWidget* SettingRow::rawControl() {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* line = lineEdit(QStringLiteral("Raw JSON"));
    SettingsStyle::monospaced(line);
    connect(line, &QLineEdit::textEdited, this, [this, line](const QString& text) {
        fromWidget(line, [&] { model_->set(name_, SettingValue::text(text.toStdString())); });
    });
    refreshers_.push_back(
        [this, line] { setLineText(line, qs(SettingsText::textValue(model_->form(), name_))); });
    layout->addWidget(line);
    auto* note = new QLabel(qs(SettingsText::unknownKindNote(spec_.control)), box);
    note->setObjectName(qs(objectName("note")));
    note->setWordWrap(true);
    SettingsStyle::caption(note);
    SettingsStyle::apply(note, SettingsStyle::Tone::secondary);
    layout->addWidget(note);
    return box;
}

void SettingRow::refresh() {
    const SettingField* field = model_->form() ? model_->form()->field(name_) : nullptr;
    if (field == nullptr)
        return;
    edited_->setVisible(field->isDirty());
    source_->setText(qs(SettingsText::sourceText(*field)));
    reset_->setEnabled(SettingsText::canReset(*field));
    control_->setEnabled(!field->isLockedByFlag);
    lockNote_->setVisible(field->isLockedByFlag);
    dim_->setOpacity(field->isLockedByFlag ? 0.6 : 1.0);
    const auto live = model_->liveValue(*field);
    live_->setText(qs(live ? SettingsText::liveLine(*live) : std::string()));
    live_->setVisible(live.has_value());
    error_->setText(qs(field->error.value_or(std::string())));
    error_->setVisible(field->error.has_value());
    for (const auto& refresher : refreshers_)
        refresher();
}

} // namespace menubar::app
