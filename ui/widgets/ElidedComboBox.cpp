#include "ui/widgets/ElidedComboBox.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QChildEvent>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QToolTip>

#include "ui/QVUIUtils.h"

namespace {

// The room the box asks for, in characters: enough for a short name, never the longest one.
constexpr int kLeastChars = 4;
// What a line edit keeps clear on either side of its text (the framework's own margin).
constexpr int kLineEditMargin = 2;
// What a combo box's style keeps clear on either side of the current text.
constexpr int kLabelMargin = 1;

// The line edit's frame as it draws it.
QStyleOptionFrame FrameOption(const QLineEdit& line) {
    QStyleOptionFrame option;
    option.initFrom(&line);
    option.rect = line.rect();
    option.lineWidth = line.hasFrame()
                           ? line.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &line)
                           : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    if (line.isReadOnly()) {
        option.state |= QStyle::State_ReadOnly;
    }
    option.features = QStyleOptionFrame::None;
    return option;
}

// Where a line edit draws its text.
QRect LineEditRoom(const QLineEdit& line) {
    const QStyleOptionFrame option = FrameOption(line);
    return line.style()
        ->subElementRect(QStyle::SE_LineEditContents, &option, &line)
        .marginsRemoved(line.textMargins())
        .adjusted(kLineEditMargin, 0, -kLineEditMargin, 0);
}

} // namespace

TElidedComboBox::TElidedComboBox(QWidget* parent) : QComboBox(parent) {
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(kLeastChars);
    // The list draws its entries as a grid does, so one too long for it ends in "…"; some
    // desktop styles draw them as menu items instead, which neither cut a long entry nor tell
    // its width.
    setItemDelegate(new QStyledItemDelegate(this));
    // Cut at the end, as the box and the grids cut a name.
    view()->setTextElideMode(Qt::ElideRight);
    view()->viewport()->installEventFilter(this);
}

QRect TElidedComboBox::TextRoom() const {
    if (const QLineEdit* line = lineEdit()) {
        return LineEditRoom(*line);
    }
    QStyleOptionComboBox option;
    initStyleOption(&option);
    QRect room =
        style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
            .adjusted(kLabelMargin, 0, -kLabelMargin, 0);
    if (!option.currentIcon.isNull()) {
        room.setLeft(room.left() + option.iconSize.width() + 4);
    }
    return room;
}

bool TElidedComboBox::TextCut() const {
    return fontMetrics().horizontalAdvance(currentText()) > TextRoom().width();
}

QString TElidedComboBox::ShownText() const {
    // While the user types, the line edit scrolls its text as usual.
    if (isEditable() && hasFocus()) {
        return currentText();
    }
    return fontMetrics().elidedText(currentText(), Qt::ElideRight, TextRoom().width());
}

void TElidedComboBox::focusInEvent(QFocusEvent* event) {
    QComboBox::focusInEvent(event);
    // The line edit selects the whole name when Tab brings the focus, and so shows its end. The
    // same selection made from the end back to the start shows how a long name begins.
    if (QLineEdit* line = lineEdit(); line != nullptr && line->selectedText() == line->text()) {
        const int length = static_cast<int>(line->text().size());
        line->setSelection(length, -length);
    }
}

void TElidedComboBox::paintEvent(QPaintEvent* event) {
    // An editable box draws only its frame and button here; its line edit draws the text.
    if (isEditable() || (currentIndex() < 0 && !placeholderText().isEmpty())) {
        QComboBox::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = ShownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

bool TElidedComboBox::PaintCutLineEdit(QLineEdit& line) {
    if (hasFocus() || !TextCut()) {
        return false;
    }
    QPainter painter(&line);
    const QStyleOptionFrame frame = FrameOption(line);
    line.style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &painter, &line);
    const QPalette::ColorGroup group = line.isEnabled() ? QPalette::Active : QPalette::Disabled;
    painter.setPen(line.palette().color(group, QPalette::Text));
    const Qt::Alignment align =
        QStyle::visualAlignment(line.layoutDirection(), Qt::AlignLeft | Qt::AlignVCenter);
    painter.drawText(TextRoom(), static_cast<int>(align), ShownText());
    return true;
}

void TElidedComboBox::childEvent(QChildEvent* event) {
    QComboBox::childEvent(event);
    // The line edit of an editable box is made and replaced by the framework; it is polished
    // before it first paints.
    if (event->type() == QEvent::ChildPolished) {
        if (auto* line = qobject_cast<QLineEdit*>(event->child()); line != nullptr) {
            line->installEventFilter(this);
        }
    }
}

bool TElidedComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && watched == lineEdit() && PaintCutLineEdit(*lineEdit())) {
        return true;
    }
    if (event->type() == QEvent::ToolTip && view() != nullptr && watched == view()->viewport()) {
        // An entry shows whole as its tooltip where the list cuts it; no other has one.
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = view()->indexAt(help->pos());
        if (index.isValid() &&
            view()->sizeHintForIndex(index).width() > view()->viewport()->width()) {
            QToolTip::showText(help->globalPos(),
                               QVUIUtils::WholeTextToolTip(index.data().toString()),
                               view()->viewport(), view()->visualRect(index));
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QComboBox::eventFilter(watched, event);
}

bool TElidedComboBox::event(QEvent* event) {
    // A tooltip of the box's own stays; the box lends the current text only while it is cut.
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty() && TextCut()) {
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), QVUIUtils::WholeTextToolTip(currentText()), this,
                           rect());
        return true;
    }
    return QComboBox::event(event);
}

void TElidedComboBox::showPopup() {
    QComboBox::showPopup();
    QWidget* popup = view()->window();
    if (popup == window() || !popup->isVisible()) {
        return;
    }
    QRect bounds = screen()->availableGeometry();
    if (FPopupBounds != nullptr) {
        bounds &= QRect(FPopupBounds->mapToGlobal(QPoint(0, 0)), FPopupBounds->size());
    }
    // The list's frame and scroll bar beside its entries.
    const int frame = popup->width() - view()->viewport()->width();
    const int wanted = std::max(view()->sizeHintForColumn(0) + frame, width());
    QRect geometry = popup->geometry();
    geometry.setWidth(std::min(wanted, bounds.width()));
    // Under the box where it fits, else moved back inside the bounds.
    geometry.moveLeft(mapToGlobal(QPoint(0, 0)).x());
    if (geometry.right() > bounds.right()) {
        geometry.moveRight(bounds.right());
    }
    if (geometry.left() < bounds.left()) {
        geometry.moveLeft(bounds.left());
    }
    popup->setGeometry(geometry);
}
