#pragma once

#include <vector>

class QAbstractItemView;
class QKeyEvent;
class QMenu;
class QTreeView;

// What the editable grids (cash flows, debts and loans, categories) share: their keys, the
// drawing of the focused cell, their column widths and their context menus.
//
// The grids select whole rows, yet every cell of a row has its own editor, so each grid keeps a
// focused column: Left and Right move it, a typed key or Edit opens the editor of that column.
namespace QVGrids {

// Delete from the main block or from the numeric keypad (which adds its own modifier), without
// Shift, Control, Alt or Meta.
bool IsDeleteKey(const QKeyEvent& event);

// Left or Right (main block or keypad) pressed in the grid itself, not in an open editor: the
// current cell moves to the neighbouring visible column of its row, the selection stays as it
// is. True when the key was such a move, also at the first or last column, where nothing moves.
bool MoveFocusedColumn(QTreeView& tree, const QKeyEvent& event);

// Makes the grid draw a plain frame around its current cell while it has the focus, on a
// selected row too, and put the check box of a cell that holds nothing else in the cell's
// top-left corner.
void ShowFocusedCell(QTreeView& tree);

// Sizes the grid's columns to `widths` whenever it gets a model after having none (at start, after
// another budget was opened, and on pages that show a new model each time) and from then on to the
// widths the user gave them; between models with the same columns the header keeps them by
// itself. The column `stretched` always takes the spare width (its entry in `widths` is not
// used); with -1 the last visible column does.
void KeepColumnWidths(QTreeView& tree, std::vector<int> widths, int stretched = -1);

// A cell whose text the grid cuts with "…" (a long name, a long description) shows the whole
// text as its tooltip.
void ShowCutCellsWhole(QAbstractItemView& view);

// Empties a context menu before it is built anew, and frees the submenus it made the last time:
// QMenu::clear() only takes their items away, so every opening would leave one more behind.
void ClearMenu(QMenu& menu);

} // namespace QVGrids
