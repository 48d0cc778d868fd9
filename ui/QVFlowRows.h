#pragma once

#include <functional>
#include <vector>

#include <QAbstractTableModel>

class TQVMoneyFlow;

// A grid model of one row per flow (the cash-flow list, the debts or the loans). The rows point at
// flows that others own; cells are edited through the page's OnNewText.
class TQVFlowRows : public QAbstractTableModel {
    Q_OBJECT

public:
    TQVFlowRows(int columnCount, std::vector<TQVMoneyFlow*> rows, QObject* parent);

    // Null for a row out of range.
    TQVMoneyFlow* Flow(int row) const;
    // -1 when the flow has no row.
    int RowOf(const TQVMoneyFlow* flow) const;
    // Adds a row at `row` (the end with -1) and returns its number.
    int InsertFlow(TQVMoneyFlow* flow, int row = -1);
    // Forgets the row only; the caller removes the flow from its owner.
    void RemoveRow(int row);
    // Forgets the rows given in ascending order.
    void RemoveRows(const std::vector<int>& rows);
    // Repaints a row whose flow was changed elsewhere.
    void RefreshRow(int row);

    // The grid's stock text editor delivered a text for a cell; the owner of the page changes the
    // flow (nothing is changed when unset). The row is repainted afterwards.
    std::function<void(TQVMoneyFlow& flow, int column, const QString& text)> OnNewText;

    // The grid asks for the index and the flags of every row each time it lays itself out, so
    // both answer without the base classes' round of virtual calls.
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;

protected:
    // Replaces every row (the model resets).
    void SetRows(std::vector<TQVMoneyFlow*> rows);

private:
    const int FColumnCount;
    std::vector<TQVMoneyFlow*> FRows;
};
