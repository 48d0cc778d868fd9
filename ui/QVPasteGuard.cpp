#include "ui/QVPasteGuard.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

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
