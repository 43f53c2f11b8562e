#include <cmath>

#include <QDoubleValidator>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "Controls.hpp"
#include "app/settings/SettingsModel.hpp"
#include "app/settings/SettingsStyle.hpp"
#include "app/system/QtText.hpp"
#include "settings/FieldEditing.hpp"
#include "settings/SettingRowText.hpp"

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

} // namespace

NumberControl::NumberControl(SettingsModel* model, const SettingField& field, QWidget* parent)
    : ControlWidget(model, field, parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    line_ = lineEdit(qs(field.defaultText()), this);
    line_->setFixedWidth(140);
    auto* validator = new NumberValidator(
        [this] { return format(FieldEditing::numberValue(this->model()->form(), name())); }, line_);
    validator->setLocale(numberLocale());
    if (spec().integer)
        validator->setDecimals(0);
    line_->setValidator(validator);
    line_->installEventFilter(this);
    // A text that does not parse leaves the number as it is.
    connect(line_, &QLineEdit::textEdited, this, [this](const QString& text) {
        bool ok = false;
        const double value = numberLocale().toDouble(text.trimmed(), &ok);
        if (ok && std::isfinite(value))
            fromWidget(line_, [&] { this->model()->set(name(), SettingValue::number(value)); });
    });
    connect(line_, &QLineEdit::editingFinished, this, [this] {
        setLineText(line_, format(FieldEditing::numberValue(this->model()->form(), name())));
    });
    layout->addWidget(line_);

    auto* stepper = new QVBoxLayout;
    stepper->setSpacing(0);
    auto makeStep = [this, stepper](const char* suffix, Qt::ArrowType arrow, int direction) {
        auto* button = new QToolButton(this);
        button->setObjectName(qs(objectName(suffix)));
        spoken(button, SettingRowText::Spoken::step(spec().label(), direction));
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setFixedSize(22, 13);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, direction] { step(direction); });
        stepper->addWidget(button);
        return button;
    };
    up_ = makeStep("up", Qt::UpArrow, +1);
    down_ = makeStep("down", Qt::DownArrow, -1);
    layout->addLayout(stepper);
    if (spec().control.kind() == SettingControl::Kind::percent) {
        auto* percent = new QLabel(QStringLiteral("%"), this);
        percent->setObjectName(qs(objectName("percent")));
        SettingsStyle::apply(percent, SettingsStyle::Tone::secondary);
        layout->addWidget(percent);
    }
    layout->addStretch(1);
}

QString NumberControl::format(double value) const {
    const QLocale locale = numberLocale();
    if (spec().integer)
        return locale.toString(std::round(value), 'f', 0);
    return locale.toString(value, 'g', QLocale::FloatingPointShortest);
}

void NumberControl::step(int direction) {
    const double value = FieldEditing::numberValue(model()->form(), name());
    model()->set(name(), SettingValue::number(FieldEditing::stepped(value, direction, spec())));
}

bool NumberControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == line_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            QToolButton* button = key == Qt::Key_Up ? up_ : down_;
            if (button->isEnabled())
                step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return ControlWidget::eventFilter(watched, event);
}

void NumberControl::refresh(const SettingsForm& form) {
    const double value = FieldEditing::numberValue(&form, name());
    setLineText(line_, format(value));
    const auto range = FieldEditing::stepperRange(spec());
    up_->setEnabled(value < range.max);
    down_->setEnabled(value > range.min);
}

} // namespace menubar::app
