#include "ui/QVDebtsView.h"

#include "model/QVMoneyFlow.h"
#include "ui/QVImages.h"
#include "ui/QVUIUtils.h"

using namespace QVUIUtils;

TQVDebtsView::TQVDebtsView(std::vector<TQVMoneyFlow*> flows, QObject* parent)
    : QAbstractTableModel(parent), FRows(std::move(flows)) {}

TQVMoneyFlow* TQVDebtsView::Flow(int row) const {
    return row >= 0 && row < rowCount() ? FRows[static_cast<std::size_t>(row)] : nullptr;
}

int TQVDebtsView::RowOf(const TQVMoneyFlow* flow) const {
    for (std::size_t i = 0; i < FRows.size(); ++i) {
        if (FRows[i] == flow)
            return static_cast<int>(i);
    }
    return -1;
}

int TQVDebtsView::AppendFlow(TQVMoneyFlow* flow) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    FRows.push_back(flow);
    endInsertRows();
    return row;
}

void TQVDebtsView::RemoveRow(int row) {
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    FRows.erase(FRows.begin() + row);
    endRemoveRows();
}

void TQVDebtsView::RefreshRow(int row) {
    if (row >= 0 && row < rowCount())
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

int TQVDebtsView::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TQVDebtsView::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TQVDebtsView::data(const QModelIndex& index, int role) const {
    const TQVMoneyFlow* flow = index.isValid() ? Flow(index.row()) : nullptr;
    if (flow == nullptr)
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        switch (index.column()) {
        case ColTitle:
            return ToQ(flow->Name);
        case ColPeer:
            return ToQ(flow->PeerName);
        case ColSum:
            return FormatMoney(flow->Sum, 10);
        default:
            return QString(); // no deadline is kept; the grid hides the column
        }
    }
    if (role == Qt::DecorationRole && index.column() == ColTitle)
        return QVImages::Debts().Icon(0);
    return {};
}

QVariant TQVDebtsView::headerData(int section, Qt::Orientation orientation, int role) const {
    static constexpr std::u16string_view Keys[ColumnCount] = {
        u"TV_DEBTS_TITLE", u"TV_DEBTS_PEER", u"TV_DEBTS_SUM", u"TV_DEBTS_DEADLINE"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount)
        return Lang(Keys[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TQVDebtsView::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

bool TQVDebtsView::setData(const QModelIndex& index, const QVariant& value, int role) {
    TQVMoneyFlow* flow = index.isValid() ? Flow(index.row()) : nullptr;
    if (role != Qt::EditRole || flow == nullptr) {
        return false;
    }
    if (OnNewText) {
        OnNewText(*flow, index.column(), value.toString());
    }
    RefreshRow(index.row());
    return true;
}
