#pragma once

#include <functional>
#include <vector>

#include <QAbstractTableModel>

class TQVMoneyFlow;

// The debts or the loans of the budget, one row per item in the environment's order. The
// environment owns the items; the model only points at them.
class TQVDebtsView : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ColTitle, ColPeer, ColSum, ColDeadline, ColumnCount };

    explicit TQVDebtsView(std::vector<TQVMoneyFlow*> flows, QObject* parent = nullptr);

    // Null for a row out of range.
    TQVMoneyFlow* Flow(int row) const;
    int RowOf(const TQVMoneyFlow* flow) const;
    // Adds a row at the end and returns its number.
    int AppendFlow(TQVMoneyFlow* flow);
    // Forgets the row only; the caller removes the item from the environment.
    void RemoveRow(int row);
    void RefreshRow(int row);

    // The grid's stock text editor delivered a text for a cell; the owner of the page changes the
    // flow (nothing is changed when unset). The row is repainted afterwards.
    std::function<void(TQVMoneyFlow& flow, int column, const QString& text)> OnNewText;

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<TQVMoneyFlow*> FRows;
};
