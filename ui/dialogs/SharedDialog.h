#pragma once

#include <QApplication>
#include <QDialog>
#include <QWindow>

#include "ui/Prompter.h"

// The small dialogs are made on first use and kept for the whole run, so each one remembers its
// size and place between uses. They are deliberately never deleted: static destruction would run
// after the QApplication is gone, and no widget may outlive it.
template <class T> T& SharedDialog() {
    static T* const instance = new T(nullptr);
    return *instance;
}

// Runs a kept dialog through the prompter over the window the user works in. A kept dialog has
// no parent, as it outlives every window, so it is centred and stacked here instead.
inline int ExecShared(QDialog& dialog) {
    QWidget* active = QApplication::activeWindow();
    if (active != nullptr && active != &dialog) {
        dialog.adjustSize();
        QRect frame = dialog.frameGeometry();
        frame.moveCenter(active->frameGeometry().center());
        dialog.move(frame.topLeft());
        dialog.winId();
        dialog.windowHandle()->setTransientParent(active->windowHandle());
    }
    return Prompter::Exec(dialog);
}
