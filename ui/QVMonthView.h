#pragma once

#include <functional>
#include <vector>

#include <QAbstractTableModel>

class TQVMonth;
class TQVMoneyFlow;

// The cash-flow grid: one row per flow of a month, in the month's order. Rows point at flows the
// month owns (or, for the all-months view, that their own months own); the model owns nothing
// and is replaced whenever another month is shown.
class TQVMonthView : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ColDate, ColTitle, ColCategory, ColSum, ColAccount, ColumnCount };

    explicit TQVMonthView(TQVMonth& month, QObject* parent = nullptr);

    TQVMonth& Month() const { return *FMonth; }

    // Rebuilds the rows from the month, leaving out balance adjustments and transfers while the
    // settings hide them.
    void Fill();

    // Null for a row out of range.
    TQVMoneyFlow* Flow(int row) const;
    // -1 when the flow has no row.
    int RowOf(const TQVMoneyFlow* flow) const;
    // A flow just added to the month goes on top until the next Fill, so the user finds it where
    // the editor opens.
    void InsertFlowOnTop(TQVMoneyFlow* flow);
    // Forgets the row only; the caller removes the flow from its month.
    void RemoveRow(int row);
    // Forgets the rows given in ascending order.
    void RemoveRows(const std::vector<int>& rows);
    // Repaints a row whose flow was changed elsewhere.
    void RefreshRow(int row);

    // The text of a cell whatever the role.
    static QString CellText(const TQVMoneyFlow& flow, int column);

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
    TQVMonth* FMonth;
    std::vector<TQVMoneyFlow*> FRows;
};
