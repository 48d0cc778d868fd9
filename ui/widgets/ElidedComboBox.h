#pragma once

#include <QComboBox>
#include <QPointer>

class QLineEdit;

// A combo box whose size never follows its entries, however long a name the user gave an account
// or a category: it asks for room for a few characters only and keeps the width its layout or its
// cell gives it, so a long name can neither widen a dialog nor make a cell's editor cover its row.
// A current text longer than the box ends in "…" (while it is not being typed in) and shows whole
// as a tooltip; Tab into an editable box selects the whole name and shows how it begins. The open
// list is as wide as its longest entry needs, but never narrower than the box, never wider than the
// screen or than the bounds it is given; an entry cut there ends in "…" too and shows whole as its
// tooltip.
class TElidedComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TElidedComboBox(QWidget* parent = nullptr);

    // The open list stays within the width of `bounds` (a grid) as well as within the screen;
    // null for the screen alone.
    void SetPopupBounds(QWidget* bounds) { FPopupBounds = bounds; }

    // The current text as the box shows it now: cut to the box's room, unless it is being typed.
    QString ShownText() const;
    // The current text is longer than the box has room for.
    bool TextCut() const;

    void showPopup() override;

protected:
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void childEvent(QChildEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Where the current text is drawn: in the line edit of an editable box, else in the box.
    QRect TextRoom() const;
    // Paints the line edit of an editable box with its text cut; false when it is left to paint
    // itself (being typed in, or the text fits).
    bool PaintCutLineEdit(QLineEdit& line);

    QPointer<QWidget> FPopupBounds;
};
