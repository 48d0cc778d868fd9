#pragma once

#include "ui/QVFlowRows.h"

class TQVMonth;
class TQVMoneyFlow;

// The cash-flow grid: one row per flow of a month, in the month's order. Rows point at flows the
// month owns (or, for the all-months view, that their own months own); the model owns nothing
// and is replaced whenever another month is shown.
class TQVMonthView : public TQVFlowRows {
    Q_OBJECT

public:
    enum Column { ColDate, ColTitle, ColCategory, ColSum, ColAccount, ColumnCount };

    explicit TQVMonthView(TQVMonth& month, QObject* parent = nullptr);

    TQVMonth& Month() const { return *FMonth; }

    // Rebuilds the rows from the month, leaving out balance adjustments and transfers while the
    // settings hide them.
    void Fill();

    // A flow just added to the month goes on top until the next Fill, so the user finds it where
    // the editor opens.
    void InsertFlowOnTop(TQVMoneyFlow* flow);

    // The text of a cell whatever the role.
    static QString CellText(const TQVMoneyFlow& flow, int column);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    TQVMonth* FMonth;
};
