#include "ui/Prompter.h"

#include <QDialog>
#include <QFileDialog>

namespace Prompter {

namespace {

Hooks& CurrentHooks() {
    static Hooks hooks;
    return hooks;
}

QMessageBox::Icon IconOf(Kind kind) {
    switch (kind) {
    case Kind::Error:
        return QMessageBox::Critical;
    case Kind::Warning:
        return QMessageBox::Warning;
    case Kind::Information:
        return QMessageBox::Information;
    case Kind::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QString DefaultTitle(Kind kind) {
    switch (kind) {
    case Kind::Error:
        return QStringLiteral("Error");
    case Kind::Warning:
        return QStringLiteral("Warning");
    case Kind::Information:
        return QStringLiteral("Information");
    case Kind::Question:
        return QStringLiteral("Confirm");
    }
    return {};
}

} // namespace

QMessageBox::StandardButton Show(QWidget* parent, Kind kind, const QString& text,
                                 QMessageBox::StandardButtons buttons, const QString& title) {
    const QString caption = title.isEmpty() ? DefaultTitle(kind) : title;
    if (const auto& hook = CurrentHooks().message) {
        return hook(Message{kind, caption, text, buttons});
    }
    QMessageBox box(IconOf(kind), caption, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void Error(QWidget* parent, const QString& text) {
    Show(parent, Kind::Error, text);
}

int Exec(QDialog& dialog) {
    if (const auto& hook = CurrentHooks().dialog) {
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        hook(dialog);
        if (dialog.isVisible()) {
            dialog.reject();
        }
        return dialog.result();
    }
    return dialog.exec();
}

QString FileName(QWidget* parent, FileMode mode, const QString& folder, const QString& name) {
    if (const auto& hook = CurrentHooks().file) {
        return hook(mode, folder, name);
    }
    const QString start = name.isEmpty() ? folder : folder + QLatin1Char('/') + name;
    return mode == FileMode::Open ? QFileDialog::getOpenFileName(parent, {}, start)
                                  : QFileDialog::getSaveFileName(parent, {}, start);
}

void SetHooks(Hooks hooks) {
    CurrentHooks() = std::move(hooks);
}

} // namespace Prompter
