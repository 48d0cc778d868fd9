#include "ui/QVGrids.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionViewItem>
#include <QToolTip>
#include <QTreeView>

#include "ui/QVUIUtils.h"

namespace {

// Shift, Control, Alt or Meta held; the keypad's own modifier does not count.
bool HasModifiers(const QKeyEvent& event) {
    return (event.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier;
}

// The grids' drawing on top of the desktop's style. Only the grids get it: a widget's style does
// not pass to its children, so the cell editors keep the desktop's.
class TGridStyle : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        // Some desktop styles draw the focus frame in a shade of the selection colour, which is
        // lost on a selected row; here it takes the colour of the row's text.
        if (element == PE_FrameFocusRect && (option->state & State_Item) != 0) {
            const bool selected = (option->state & State_Selected) != 0;
            painter->save();
            painter->setPen(
                QPen(option->palette.color(selected ? QPalette::HighlightedText : QPalette::Text),
                     1, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
            painter->restore();
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override {
        QRect rect = QProxyStyle::subElementRect(element, option, widget);
        const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option);
        // The frame goes round the whole cell, whatever part of it the text takes.
        if (element == SE_ItemViewItemFocusRect && item != nullptr) {
            return item->rect;
        }
        if (element == SE_ItemViewItemCheckIndicator && item != nullptr && item->text.isEmpty() &&
            item->icon.isNull()) {
            // A cell that holds nothing but its check box shows it in its top-left corner, just
            // inside the focus frame. The same rectangle serves drawing and hit-testing, so
            // clicks follow the box.
            rect.moveTopLeft(item->rect.topLeft() + QPoint(1, 1));
        }
        return rect;
    }
};

// Follows the columns of one grid's header; see KeepColumnWidths.
class TColumnWidths : public QObject {
public:
    TColumnWidths(QHeaderView& header, std::vector<int> widths, int stretched)
        : QObject(&header), FHeader(header), FWidths(std::move(widths)), FStretched(stretched) {
        header.setStretchLastSection(FStretched < 0);
        connect(&header, &QHeaderView::sectionCountChanged, this, [this](int, int count) {
            if (count > 0) {
                Apply();
            }
        });
        connect(&header, &QHeaderView::sectionResized, this,
                [this](int column, int, int size) { Remember(column, size); });
        if (header.count() > 0) {
            Apply();
        }
    }

private:
    // The stretched column follows the grid's width, so its width is never the user's.
    bool Stretched(int column) const {
        if (FStretched >= 0) {
            return column == FStretched;
        }
        for (int visual = FHeader.count() - 1; visual >= 0; --visual) {
            const int logical = FHeader.logicalIndex(visual);
            if (!FHeader.isSectionHidden(logical)) {
                return logical == column;
            }
        }
        return false;
    }

    void Apply() {
        FApplying = true;
        // A header made anew for a new model has forgotten how its sections resize.
        if (FStretched >= 0 && FStretched < FHeader.count()) {
            FHeader.setSectionResizeMode(FStretched, QHeaderView::Stretch);
        }
        const int count = std::min(FHeader.count(), static_cast<int>(FWidths.size()));
        for (int column = 0; column < count; ++column) {
            if (!Stretched(column)) {
                FHeader.resizeSection(column, FWidths[static_cast<std::size_t>(column)]);
            }
        }
        FApplying = false;
    }

    void Remember(int column, int size) {
        // Hiding a column reports a width of 0; a header being emptied or refilled is not the
        // user's doing.
        if (FApplying || size <= 0 || column < 0 || column >= static_cast<int>(FWidths.size()) ||
            FHeader.count() != static_cast<int>(FWidths.size()) ||
            FHeader.isSectionHidden(column) || Stretched(column)) {
            return;
        }
        FWidths[static_cast<std::size_t>(column)] = size;
    }

    QHeaderView& FHeader;
    std::vector<int> FWidths;
    // The column that takes the spare width; -1 for the last visible one.
    const int FStretched;
    bool FApplying = false;
};

// Shows a cell's whole text as its tooltip where the cell is too narrow for it.
class TCutCellTips : public QObject {
public:
    explicit TCutCellTips(QAbstractItemView& view) : QObject(&view), FView(view) {
        view.viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip || watched != FView.viewport()) {
            return false;
        }
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = FView.indexAt(help->pos());
        // A tooltip of the model's own is shown the usual way.
        if (!index.isValid() || index.data(Qt::ToolTipRole).isValid()) {
            return false;
        }
        const QRect cell = FView.visualRect(index);
        const QString text = index.data(Qt::DisplayRole).toString();
        if (text.isEmpty() || !Cut(index, cell, text)) {
            QToolTip::hideText();
            return true;
        }
        QToolTip::showText(help->globalPos(), QVUIUtils::WholeTextToolTip(text), FView.viewport(),
                           cell);
        return true;
    }

private:
    // What the cell's delegate needs to show it whole (its picture, check box, text and
    // margins) does not fit the cell.
    bool Cut(const QModelIndex& index, const QRect& cell, const QString& text) const {
        QStyleOptionViewItem option;
        option.initFrom(FView.viewport());
        option.widget = &FView;
        option.rect = cell;
        option.font = FView.font();
        option.fontMetrics = FView.fontMetrics();
        const int icon = FView.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &FView);
        option.decorationSize = FView.iconSize().isValid() ? FView.iconSize() : QSize(icon, icon);
        option.textElideMode = FView.textElideMode();
        const QSize needed = FView.itemDelegateForIndex(index)->sizeHint(option, index);
        // Rows are one line high: a text of several lines shows only its first.
        return needed.width() > cell.width() ||
               (text.contains(QLatin1Char('\n')) && needed.height() > cell.height());
    }

    QAbstractItemView& FView;
};

} // namespace

namespace QVGrids {

bool IsDeleteKey(const QKeyEvent& event) {
    return event.key() == Qt::Key_Delete && !HasModifiers(event);
}

bool MoveFocusedColumn(QTreeView& tree, const QKeyEvent& event) {
    if ((event.key() != Qt::Key_Left && event.key() != Qt::Key_Right) || HasModifiers(event) ||
        QApplication::focusWidget() != &tree || tree.selectionModel() == nullptr) {
        return false;
    }
    const QModelIndex current = tree.currentIndex();
    if (!current.isValid()) {
        // The grid's own handling makes the first cell current.
        return false;
    }
    const QHeaderView& header = *tree.header();
    // Left goes towards the first column, unless the grid runs from right to left.
    const int step = (event.key() == Qt::Key_Right) != tree.isRightToLeft() ? 1 : -1;
    for (int visual = header.visualIndex(current.column()) + step;
         visual >= 0 && visual < header.count(); visual += step) {
        const int column = header.logicalIndex(visual);
        if (!header.isSectionHidden(column)) {
            const QModelIndex next = current.siblingAtColumn(column);
            tree.selectionModel()->setCurrentIndex(next, QItemSelectionModel::NoUpdate);
            tree.scrollTo(next);
            break;
        }
    }
    return true;
}

void ShowFocusedCell(QTreeView& tree) {
    // The grid holds its style weakly and falls back to the desktop's once the style is gone.
    auto* style = new TGridStyle;
    style->setParent(&tree);
    tree.setStyle(style);
    // The frame marks the current cell only, not the whole row.
    tree.setAllColumnsShowFocus(false);
}

void KeepColumnWidths(QTreeView& tree, std::vector<int> widths, int stretched) {
    new TColumnWidths(*tree.header(), std::move(widths), stretched);
}

void ShowCutCellsWhole(QAbstractItemView& view) {
    new TCutCellTips(view);
}

void ClearMenu(QMenu& menu) {
    const QList<QMenu*> submenus = menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
    menu.clear();
    // Later, not at once: the menu is rebuilt as it opens, which may be while a submenu of the
    // last opening still finishes its own events.
    for (QMenu* submenu : submenus) {
        submenu->deleteLater();
    }
}

} // namespace QVGrids
