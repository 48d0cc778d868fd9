#include "ui/QVDebtsView.h"

#include "model/QVMoneyFlow.h"
#include "ui/QVImages.h"
#include "ui/QVUIUtils.h"

using namespace QVUIUtils;

TQVDebtsView::TQVDebtsView(std::vector<TQVMoneyFlow*> flows, QObject* parent)
    : TQVFlowRows(ColumnCount, std::move(flows), parent) {}

int TQVDebtsView::AppendFlow(TQVMoneyFlow* flow) {
    return InsertFlow(flow);
}

QVariant TQVDebtsView::data(const QModelIndex& index, int role) const {
    const TQVMoneyFlow* flow = index.isValid() ? Flow(index.row()) : nullptr;
    if (flow == nullptr)
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        switch (index.column()) {
        case ColTitle:
            return ShownName(flow->Name);
        case ColPeer:
            return ShownName(flow->PeerName);
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
