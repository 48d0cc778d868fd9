#pragma once

#include <QLabel>

// A label whose text never widens its window, however long the text (a name the user typed, a
// long translation). On one line, a text longer than the room it gets ends in "…" and shows
// whole as the label's tooltip; its line breaks show as blanks and never make it taller. With word
// wrap, a word longer than a line is broken inside it instead of pushing the line out. Only plain
// text is shown.
class TElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit TElidedLabel(QWidget* parent = nullptr);

    // The text as the label shows it now: on one line, elided to the label's width.
    QString ShownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The text's room: the contents rectangle less the margin and indent.
    QRect TextRect(const QRect& contents) const;
    int Padding() const;
    // The height of one line of text with the frame, margin and contents margins.
    int OneLineHeight() const;
    // Lays out the wrapped text in `width` pixels; returns its height.
    int WrappedHeight(int width) const;
    void ShowFullTextAsToolTip(bool elided);

    // The tooltip is the label's own only while it shows the elided text's remainder.
    bool FOwnToolTip = false;
};
