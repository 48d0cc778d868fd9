#pragma once

#include <QObject>

// What a paste puts into the text fields of the program, installed on the application.
//
// A one-line field takes any text on one line: its line breaks and tabs become blanks, however
// the text arrives (pasted by key, menu or middle button, dropped, or set by the program), so a
// name never holds a line break that would make its caption, its row or its card as tall as the
// pasted text. Password fields take the text exactly as it is: a password is what it is.
//
// Paste of nothing does nothing. On X a display where nothing has been copied yet hands out
// clipboard data without a single format, and the toolkit's paste into a multi-line field reads
// the first format of that data without looking whether there is one: the program crashes. A
// one-line field would at least lose its selected text to the empty paste. The guard drops a
// paste (its keys, or the middle button that pastes the selection) aimed at a text field while
// the clipboard holds no text. The context menus' Paste needs no guard: the fields disable it
// themselves when there is nothing to paste.
class TQVPasteGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
