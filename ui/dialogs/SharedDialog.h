#pragma once

#include <algorithm>

#include <QDialog>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "ui/Prompter.h"

// A kept dialog has no parent, as it outlives every window; this places it over the window the
// user works in each time it opens, as a parent would (never over a pop-up about to vanish), and
// always wholly on that window's screen.
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
        if (const QScreen* screen = active->screen()) {
            const QRect room = screen->availableGeometry();
            frame.moveRight(std::min(frame.right(), room.right()));
            frame.moveBottom(std::min(frame.bottom(), room.bottom()));
            frame.moveLeft(std::max(frame.left(), room.left()));
            frame.moveTop(std::max(frame.top(), room.top()));
        }
        dialog.move(frame.topLeft());
        if (dialog.windowHandle() != nullptr) {
            dialog.windowHandle()->setTransientParent(active->windowHandle());
        }
    }
};

// A kept dialog would open with the focus where the user left it, so a button clicked last time
// (No, Cancel) would start out focused. This forgets it on each showing: the dialog's own show
// handling, or the first control in tab order, takes the focus as in a dialog made afresh.
class TFreshFocusOnShow : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            if (QWidget* focus = static_cast<QWidget*>(watched)->focusWidget()) {
                focus->clearFocus();
            }
        }
        return false;
    }
};

// The kept dialogs are made on first use and kept for the whole run, so each one keeps its size
// between uses. They are deliberately never deleted: static destruction would run after the
// QApplication is gone, and no widget may outlive it.
template <class T> T& SharedDialog() {
    static T* const instance = [] {
        auto* dialog = new T(nullptr);
        dialog->installEventFilter(new TCentreOnActiveWindow(dialog));
        dialog->installEventFilter(new TFreshFocusOnShow(dialog));
        return dialog;
    }();
    return *instance;
}
