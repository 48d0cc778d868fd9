#pragma once

#include <QDialog>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include "ui/Prompter.h"

// A kept dialog has no parent, as it outlives every window; this places it over the window the
// user works in each time it opens, as a parent would (never over a pop-up about to vanish).
class TCentreOnActiveWindow : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            Place(*static_cast<QWidget*>(watched));
        }
        return false;
    }

private:
    static void Place(QWidget& dialog) {
        QWidget* active = Prompter::OwnerWindow();
        if (active == nullptr || active == &dialog) {
            return;
        }
        QRect frame = dialog.frameGeometry();
        frame.moveCenter(active->frameGeometry().center());
        dialog.move(frame.topLeft());
        if (dialog.windowHandle() != nullptr) {
            dialog.windowHandle()->setTransientParent(active->windowHandle());
        }
    }
};

// The kept dialogs are made on first use and kept for the whole run, so each one keeps its size
// between uses. They are deliberately never deleted: static destruction would run after the
// QApplication is gone, and no widget may outlive it.
template <class T> T& SharedDialog() {
    static T* const instance = [] {
        auto* dialog = new T(nullptr);
        dialog->installEventFilter(new TCentreOnActiveWindow(dialog));
        return dialog;
    }();
    return *instance;
}
