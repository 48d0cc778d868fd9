#pragma once

#include "ui/QVFlowRows.h"

class TQVMoneyFlow;

// The debts or the loans of the budget, one row per item in the environment's order. The
// environment owns the items; the model only points at them.
class TQVDebtsView : public TQVFlowRows {
    Q_OBJECT

public:
    enum Column { ColTitle, ColPeer, ColSum, ColDeadline, ColumnCount };

    explicit TQVDebtsView(std::vector<TQVMoneyFlow*> flows, QObject* parent = nullptr);

    // Adds a row at the end and returns its number.
    int AppendFlow(TQVMoneyFlow* flow);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
};
