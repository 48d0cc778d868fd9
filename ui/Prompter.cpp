#include "ui/Prompter.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>

#include "ui/QVUIUtils.h"

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

bool ClosesByItself(const QWidget& window) {
    return window.windowType() == Qt::Popup || window.windowType() == Qt::ToolTip;
}

// `text` cut so that the box showing it fits on `screen`: the box wraps a long text at about half
// the screen's width (at most 500 pixels, less its icon and margins), and keeps room for its
// title and buttons.
QString FitOnScreen(const QString& text, const QScreen* screen) {
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 640, 480);
    const QFont font = QApplication::font("QMessageBox");
    const int lineHeight = QFontMetrics(font).lineSpacing();
    return QVUIUtils::FitLines(text, font, std::min(area.width() / 2, 500) - 100,
                               (area.height() - 8 * lineHeight) / lineHeight);
}

QWidget* MainWindow() {
    QWidget* hidden = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(window) == nullptr)
            continue;
        if (window->isVisible())
            return window;
        if (hidden == nullptr)
            hidden = window;
    }
    return hidden;
}

} // namespace

QWidget* OwnerWindow(QWidget* wanted) {
    QWidget* widget = wanted;
    if (widget == nullptr)
        widget = QApplication::activeWindow();
    if (widget == nullptr)
        widget = QApplication::activeModalWidget();
    while (widget != nullptr) {
        QWidget* window = widget->window();
        if (!ClosesByItself(*window))
            return window;
        widget = window->parentWidget();
    }
    return MainWindow();
}

QMessageBox::StandardButton Show(QWidget* parent, Kind kind, const QString& text,
                                 QMessageBox::StandardButtons buttons, const QString& title) {
    const QString caption = title.isEmpty() ? DefaultTitle(kind) : title;
    QWidget* owner = OwnerWindow(parent);
    const QString shown =
        FitOnScreen(text, owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen());
    if (const auto& hook = CurrentHooks().message) {
        return hook(Message{kind, caption, shown, buttons});
    }
    // On the heap and watched: should its owner go after all while the box runs, the box goes
    // with it and is not freed a second time here (exec then answers NoButton).
    QPointer<QMessageBox> box = new QMessageBox(IconOf(kind), caption, {}, buttons, owner);
    // A message may quote what the user typed, which is never markup.
    box->setTextFormat(Qt::PlainText);
    // Only a word longer than any quote with its marks around it may break anywhere: a quoted
    // path breaks after its "/" as usual.
    box->setText(QVUIUtils::BreakLongWords(shown, QVUIUtils::QuotedChars + 8));
    const int answer = box->exec();
    delete box.data();
    return static_cast<QMessageBox::StandardButton>(answer);
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
    QWidget* owner = OwnerWindow(parent);
    return mode == FileMode::Open ? QFileDialog::getOpenFileName(owner, {}, start)
                                  : QFileDialog::getSaveFileName(owner, {}, start);
}

void SetHooks(Hooks hooks) {
    CurrentHooks() = std::move(hooks);
}

} // namespace Prompter
