#include "ui/QVPasteGuard.h"

#include <QAbstractSpinBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QValidator>

#include "ui/QVUIUtils.h"

namespace {

// Keeps the text of a one-line field on one line. A validator sees every change of the field's
// text before the field takes it, whichever way the text came.
class TOneLineValidator : public QValidator {
public:
    explicit TOneLineValidator(QLineEdit& field) : QValidator(&field), FField(field) {}

    State validate(QString& text, int& position) const override {
        // The echo mode is asked each time: a field may show its password only for a while.
        if (FField.echoMode() == QLineEdit::Normal) {
            const QString line = QVUIUtils::OneLine(text);
            if (line.size() != text.size()) {
                position = static_cast<int>(QVUIUtils::OneLine(text.left(position)).size());
            }
            text = line;
        }
        return Acceptable;
    }

private:
    QLineEdit& FField;
};

// Gives a one-line field its validator, unless it has one of its own: the field of a spin box
// or a date editor checks its text itself and refuses a line break anyway.
void KeepOnOneLine(QLineEdit& field) {
    if (field.validator() != nullptr ||
        qobject_cast<QAbstractSpinBox*>(field.parentWidget()) != nullptr) {
        return;
    }
    field.setValidator(new TOneLineValidator(field));
    // What the field was given before it was first shown.
    if (field.echoMode() == QLineEdit::Normal) {
        if (const QString line = QVUIUtils::OneLine(field.text()); line != field.text()) {
            field.setText(line);
        }
    }
}

bool IsTextField(const QObject* object) {
    // An editable drop-down box keeps the focus itself and hands its keys to its line edit
    // directly, past the application's filters.
    if (const auto* box = qobject_cast<const QComboBox*>(object)) {
        return box->isEditable();
    }
    return qobject_cast<const QLineEdit*>(object) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(object) != nullptr ||
           qobject_cast<const QTextEdit*>(object) != nullptr;
}

bool NothingToPaste(QClipboard::Mode mode) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(mode);
    return data == nullptr || data->text().isEmpty();
}

bool SupportsSelection() {
    return QGuiApplication::clipboard()->supportsSelection();
}

} // namespace

bool TQVPasteGuard::eventFilter(QObject* watched, QEvent* event) {
    // Every widget is polished once before it is first shown, so before it can take any input.
    if (event->type() == QEvent::Polish) {
        if (auto* field = qobject_cast<QLineEdit*>(watched)) {
            KeepOnOneLine(*field);
        }
        return false;
    }
    if (event->type() == QEvent::KeyPress && IsTextField(watched)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->matches(QKeySequence::Paste)) {
            return false;
        }
        // Ctrl+Shift+Insert pastes the selection where there is one, as the fields do.
        const bool selection = SupportsSelection() && key->key() == Qt::Key_Insert &&
                               key->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier);
        if (NothingToPaste(selection ? QClipboard::Selection : QClipboard::Clipboard)) {
            event->accept();
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton && SupportsSelection()) {
        // A multi-line field takes its mouse through its viewport.
        const QObject* field = IsTextField(watched) ? watched : watched->parent();
        if (IsTextField(field) && NothingToPaste(QClipboard::Selection)) {
            event->accept();
            return true;
        }
    }
    return false;
}
