#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "Controls.hpp"
#include "app/settings/SettingsModel.hpp"
#include "app/system/QtText.hpp"
#include "settings/FieldEditing.hpp"
#include "settings/SettingRowText.hpp"

namespace menubar::app {

PathControl::PathControl(SettingsModel* model, const SettingField& field, QWidget* parent)
    : ControlWidget(model, field, parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    line_ = lineEdit(qs(SettingRowText::pathPlaceholder(field)), this);
    connect(line_, &QLineEdit::textEdited, this, [this](const QString& text) {
        fromWidget(line_,
                   [&] { this->model()->set(name(), SettingValue::text(text.toStdString())); });
    });
    layout->addWidget(line_, 1);
    auto* choose = new QPushButton(QStringLiteral("Choose..."), this);
    choose->setObjectName(qs(objectName("choose")));
    choose->setAccessibleDescription(qs("Choose " + spec().label()));
    connect(choose, &QPushButton::clicked, this, [this] { this->choose(); });
    layout->addWidget(choose);
}

void PathControl::refresh(const SettingsForm& form) {
    setLineText(line_, qs(FieldEditing::textValue(&form, name())));
}

// Picks a file (not a folder), starting where the field's value or default lies.
void PathControl::choose() {
    const SettingField* current = field();
    const std::string start =
        current == nullptr ? model()->dependencies().home
                           : FieldEditing::chooserStart(*current, model()->dependencies().home,
                                                        [](const std::string& path) {
                                                            return QFileInfo(qs(path)).isDir();
                                                        });
    auto* dialog = new QFileDialog(window(), qs("Choose " + spec().label()), qs(start));
    dialog->setObjectName(qs(objectName("chooser")));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    connect(dialog, &QFileDialog::fileSelected, this, [self = QPointer(this)](const QString& path) {
        if (self && !path.isEmpty())
            self->model()->set(self->name(), SettingValue::text(path.toStdString()));
    });
    dialog->open();
}

} // namespace menubar::app
