#include "ui/QVFlowRows.h"

TQVFlowRows::TQVFlowRows(int columnCount, std::vector<TQVMoneyFlow*> rows, QObject* parent)
    : QAbstractTableModel(parent), FColumnCount(columnCount), FRows(std::move(rows)) {}

TQVMoneyFlow* TQVFlowRows::Flow(int row) const {
    return row >= 0 && row < static_cast<int>(FRows.size()) ? FRows[static_cast<std::size_t>(row)]
                                                            : nullptr;
}

int TQVFlowRows::RowOf(const TQVMoneyFlow* flow) const {
    for (std::size_t i = 0; i < FRows.size(); ++i) {
        if (FRows[i] == flow)
            return static_cast<int>(i);
    }
    return -1;
}

int TQVFlowRows::InsertFlow(TQVMoneyFlow* flow, int row) {
    if (row < 0 || row > rowCount())
        row = rowCount();
    beginInsertRows({}, row, row);
    FRows.insert(FRows.begin() + row, flow);
    endInsertRows();
    return row;
}

void TQVFlowRows::RemoveRow(int row) {
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    FRows.erase(FRows.begin() + row);
    endRemoveRows();
}

void TQVFlowRows::RemoveRows(const std::vector<int>& rows) {
    // Rows in runs of neighbours: a few runs are removed one notification each; scattered rows
    // (a selection over the list of all months) in one pass and one reset, since the grid lays
    // itself out anew for every removal it is told of.
    int runs = 0;
    for (std::size_t i = 0; i < rows.size(); ++i)
        runs += i == 0 || rows[i] != rows[i - 1] + 1;
    constexpr int kMostRunsToNotify = 8;
    if (runs > kMostRunsToNotify) {
        beginResetModel();
        std::vector<bool> doomed(FRows.size(), false);
        for (int row : rows) {
            if (row >= 0 && row < rowCount())
                doomed[static_cast<std::size_t>(row)] = true;
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < FRows.size(); ++i) {
            if (!doomed[i])
                FRows[kept++] = FRows[i];
        }
        FRows.resize(kept);
        endResetModel();
        return;
    }
    for (auto it = rows.rbegin(); it != rows.rend();) {
        const int last = *it;
        int first = last;
        while (++it != rows.rend() && *it == first - 1)
            --first;
        if (first < 0 || last >= rowCount())
            continue;
        beginRemoveRows({}, first, last);
        FRows.erase(FRows.begin() + first, FRows.begin() + last + 1);
        endRemoveRows();
    }
}

void TQVFlowRows::RefreshRow(int row) {
    if (row >= 0 && row < rowCount())
        emit dataChanged(index(row, 0), index(row, FColumnCount - 1));
}

void TQVFlowRows::SetRows(std::vector<TQVMoneyFlow*> rows) {
    beginResetModel();
    FRows = std::move(rows);
    endResetModel();
}

QModelIndex TQVFlowRows::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || column < 0 || row >= static_cast<int>(FRows.size()) ||
        column >= FColumnCount)
        return {};
    return createIndex(row, column);
}

Qt::ItemFlags TQVFlowRows::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this ||
        index.row() >= static_cast<int>(FRows.size()) || index.column() >= FColumnCount)
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren | Qt::ItemIsEditable;
}

bool TQVFlowRows::setData(const QModelIndex& index, const QVariant& value, int role) {
    TQVMoneyFlow* flow = index.isValid() ? Flow(index.row()) : nullptr;
    if (role != Qt::EditRole || flow == nullptr)
        return false;
    if (OnNewText)
        OnNewText(*flow, index.column(), value.toString());
    RefreshRow(index.row());
    return true;
}

int TQVFlowRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TQVFlowRows::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FColumnCount;
}
