#pragma once

#include <QObject>

// Paste of nothing does nothing, in every text field of the program. On X a display where nothing
// has been copied yet hands out clipboard data without a single format, and the toolkit's paste
// into a multi-line field reads the first format of that data without looking whether there is
// one: the program crashes. A one-line field would at least lose its selected text to the empty
// paste. Installed on the application, the guard drops a paste (its keys, or the middle button
// that pastes the selection) aimed at a text field while the clipboard holds no text. The context
// menus' Paste needs no guard: the fields disable it themselves when there is nothing to paste.
class TQVPasteGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
