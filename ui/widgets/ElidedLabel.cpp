#include "ui/widgets/ElidedLabel.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QStyle>
#include <QTextLayout>

#include "ui/QVUIUtils.h"

namespace {

// Room enough for a short word and the ellipsis: the least a one-line label asks for.
constexpr int kMinimumChars = 4;
// A wrapped text is laid out no wider than this many average characters, as a message box is.
constexpr int kWrapChars = 80;

QString LayoutText(const QString& text) {
    // A text layout breaks lines only at its own separator.
    QString result = text;
    result.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return result;
}

} // namespace

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

int TElidedLabel::Padding() const {
    // As QLabel measures it: the frame, the margin and the indent (a negative indent means
    // half an "x" when there is a frame).
    int indent = this->indent();
    if (indent < 0) {
        indent = frameWidth() > 0 ? fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 : 0;
    }
    return 2 * (frameWidth() + margin()) + indent;
}

QRect TElidedLabel::TextRect(const QRect& contents) const {
    QRect room = contents.adjusted(margin(), margin(), -margin(), -margin());
    const int indent = Padding() - 2 * (frameWidth() + margin());
    if (alignment() & Qt::AlignRight) {
        room.setRight(room.right() - indent);
    } else {
        room.setLeft(room.left() + indent);
    }
    return room;
}

QString TElidedLabel::ShownText() const {
    if (wordWrap()) {
        return text();
    }
    return fontMetrics().elidedText(QVUIUtils::OneLine(text()), Qt::ElideRight,
                                    TextRect(contentsRect()).width());
}

int TElidedLabel::OneLineHeight() const {
    const QMargins margins = contentsMargins();
    return fontMetrics().height() + 2 * (frameWidth() + margin()) + margins.top() +
           margins.bottom();
}

QSize TElidedLabel::sizeHint() const {
    QSize hint = QLabel::sizeHint();
    if (wordWrap()) {
        const int width =
            std::min(hint.width(), fontMetrics().averageCharWidth() * kWrapChars + Padding());
        hint = QSize(std::max(width, minimumWidth()), heightForWidth(width));
    } else if (pixmap().isNull()) {
        hint.setHeight(std::min(hint.height(), std::max(OneLineHeight(), minimumHeight())));
    }
    return hint;
}

QSize TElidedLabel::minimumSizeHint() const {
    QSize hint = QLabel::minimumSizeHint();
    const int least = fontMetrics().averageCharWidth() * kMinimumChars + Padding();
    hint.setWidth(std::min(hint.width(), least));
    // A wrapped label's layout asks heightForWidth for its real height; a one-line label shows
    // one line, whatever line breaks its text holds.
    if (!wordWrap() && pixmap().isNull()) {
        hint.setHeight(std::min(hint.height(), OneLineHeight()));
    }
    return hint;
}

bool TElidedLabel::hasHeightForWidth() const {
    return wordWrap() || QLabel::hasHeightForWidth();
}

int TElidedLabel::heightForWidth(int width) const {
    if (!wordWrap()) {
        return QLabel::heightForWidth(width);
    }
    const int vertical = 2 * (frameWidth() + margin());
    return WrappedHeight(std::max(width - Padding(), 1)) + vertical;
}

int TElidedLabel::WrappedHeight(int width) const {
    QTextLayout layout(LayoutText(text()), font());
    QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return std::max(static_cast<int>(std::ceil(height)), fontMetrics().height());
}

void TElidedLabel::paintEvent(QPaintEvent* event) {
    if (!pixmap().isNull() || text().isEmpty()) {
        ShowFullTextAsToolTip(false);
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const QRect room = TextRect(contentsRect());
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    if (!wordWrap()) {
        const QString shown = ShownText();
        ShowFullTextAsToolTip(shown != QVUIUtils::OneLine(text()));
        style()->drawItemText(&painter, room, static_cast<int>(align), palette(), isEnabled(),
                              shown, foregroundRole());
        return;
    }
    ShowFullTextAsToolTip(false);
    QTextLayout layout(LayoutText(text()), font());
    QTextOption option(align & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(room.width());
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    qreal top = room.top();
    if (align & Qt::AlignVCenter) {
        top += (room.height() - height) / 2;
    } else if (align & Qt::AlignBottom) {
        top += room.height() - height;
    }
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    layout.draw(&painter, QPointF(room.left(), top));
}

void TElidedLabel::ShowFullTextAsToolTip(bool elided) {
    // A tooltip the caller gave stays; the label only lends the full text while it is cut.
    if (elided && (toolTip().isEmpty() || FOwnToolTip)) {
        setToolTip(QVUIUtils::WholeTextToolTip(QVUIUtils::OneLine(text())));
        FOwnToolTip = true;
    } else if (!elided && FOwnToolTip) {
        setToolTip({});
        FOwnToolTip = false;
    }
}
