#include "ui/QVMonthView.h"

#include <QBrush>
#include <QColor>

#include "model/QVA2A.h"
#include "model/QVEnvironment.h"
#include "model/QVExpenseItem.h"
#include "model/QVMonth.h"
#include "model/QVReceiptItem.h"
#include "model/QVSource.h"
#include "ui/QVImages.h"
#include "ui/QVUIUtils.h"

using namespace QVUIUtils;

namespace {

QString NameOf(const TQVSource* source) {
    return source != nullptr ? ToQ(source->Name) : QString();
}

QString NameOf(const TQVLocation* location) {
    return location != nullptr ? ToQ(location->Name) : QString();
}

// Row pictures of QVImages::TreeView().
int ImageOf(const TQVMoneyFlow& flow) {
    switch (flow.Kind()) {
    case TQVFlowKind::Income:
        return 0;
    case TQVFlowKind::Expense:
        return 1;
    case TQVFlowKind::A2A:
        return 2;
    }
    return -1;
}

} // namespace

TQVMonthView::TQVMonthView(TQVMonth& month, QObject* parent)
    : QAbstractTableModel(parent), FMonth(&month) {
    Fill();
}

void TQVMonthView::Fill() {
    const TQVSettings& settings = Environment->Settings();
    beginResetModel();
    FRows.clear();
    for (TQVMoneyFlow* flow : FMonth->Flows()) {
        if (flow->IsAdjustment && !settings.ShowBalanceAdjustments)
            continue;
        if (flow->Kind() == TQVFlowKind::A2A && !settings.ShowA2A)
            continue;
        FRows.push_back(flow);
    }
    endResetModel();
}

TQVMoneyFlow* TQVMonthView::Flow(int row) const {
    return row >= 0 && row < rowCount() ? FRows[static_cast<std::size_t>(row)] : nullptr;
}

int TQVMonthView::RowOf(const TQVMoneyFlow* flow) const {
    for (std::size_t i = 0; i < FRows.size(); ++i) {
        if (FRows[i] == flow)
            return static_cast<int>(i);
    }
    return -1;
}

void TQVMonthView::InsertFlowOnTop(TQVMoneyFlow* flow) {
    beginInsertRows({}, 0, 0);
    FRows.insert(FRows.begin(), flow);
    endInsertRows();
}

void TQVMonthView::RemoveRow(int row) {
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    FRows.erase(FRows.begin() + row);
    endRemoveRows();
}

void TQVMonthView::RemoveRows(const std::vector<int>& rows) {
    // Rows in runs of neighbours: a few runs are removed one notification each; scattered rows
    // (a selection over the list of all months) in one pass and one reset, since the grid lays
    // itself out anew for every removal it is told of.
    int runs = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        runs += i == 0 || rows[i] != rows[i - 1] + 1;
    }
    constexpr int kMostRunsToNotify = 8;
    if (runs > kMostRunsToNotify) {
        beginResetModel();
        std::vector<bool> doomed(FRows.size(), false);
        for (int row : rows) {
            if (row >= 0 && row < rowCount()) {
                doomed[row] = true;
            }
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < FRows.size(); ++i) {
            if (!doomed[i]) {
                FRows[kept++] = FRows[i];
            }
        }
        FRows.resize(kept);
        endResetModel();
        return;
    }
    for (auto it = rows.rbegin(); it != rows.rend();) {
        const int last = *it;
        int first = last;
        while (++it != rows.rend() && *it == first - 1) {
            --first;
        }
        if (first < 0 || last >= rowCount()) {
            continue;
        }
        beginRemoveRows({}, first, last);
        FRows.erase(FRows.begin() + first, FRows.begin() + last + 1);
        endRemoveRows();
    }
}

void TQVMonthView::RefreshRow(int row) {
    if (row >= 0 && row < rowCount())
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

QString TQVMonthView::CellText(const TQVMoneyFlow& flow, int column) {
    switch (column) {
    case ColDate:
        return FormatDate(flow.Date);
    case ColSum:
        return FormatMoney(flow.Sum, 12);
    default:
        break;
    }
    switch (flow.Kind()) {
    case TQVFlowKind::Income: {
        const auto& income = static_cast<const TQVIncomeItem&>(flow);
        return column == ColTitle      ? ToQ(income.Name)
               : column == ColCategory ? NameOf(income.Location)
               : column == ColAccount  ? NameOf(income.Source)
                                       : QString();
    }
    case TQVFlowKind::Expense: {
        const auto& expense = static_cast<const TQVExpenseItem&>(flow);
        return column == ColTitle      ? ToQ(expense.Name)
               : column == ColCategory ? NameOf(expense.Location)
               : column == ColAccount  ? NameOf(expense.Source)
                                       : QString();
    }
    case TQVFlowKind::A2A: {
        const auto& transfer = static_cast<const TQVA2AItem&>(flow);
        if (column == ColTitle) {
            return transfer.Destination != nullptr
                       ? QStringLiteral("Transfer to ") + ToQ(transfer.Destination->Name)
                       : QStringLiteral("A2A money transfer");
        }
        return column == ColAccount ? NameOf(transfer.Source) : QString();
    }
    }
    return {};
}

int TQVMonthView::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TQVMonthView::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TQVMonthView::data(const QModelIndex& index, int role) const {
    const TQVMoneyFlow* flow = index.isValid() ? Flow(index.row()) : nullptr;
    if (flow == nullptr)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return CellText(*flow, index.column());
    case Qt::DecorationRole:
        if (index.column() == ColDate)
            return QVImages::TreeView().Icon(ImageOf(*flow));
        return {};
    case Qt::BackgroundRole:
        return QBrush(flow->Kind() == TQVFlowKind::Income ? QColor(236, 255, 236)
                                                          : QColor(255, 236, 236));
    case Qt::ForegroundRole:
        // The pale row colours stay whatever the theme, so the text must stay dark on them.
        return QBrush(Qt::black);
    default:
        return {};
    }
}

QVariant TQVMonthView::headerData(int section, Qt::Orientation orientation, int role) const {
    static constexpr std::u16string_view Keys[ColumnCount] = {
        u"TV_MONEYFLOW_DATE", u"TV_MONEYFLOW_TITLE", u"TV_MONEYFLOW_CATEGORY", u"TV_MONEYFLOW_SUM",
        u"TV_MONEYFLOW_ACCOUNT"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount)
        return Lang(Keys[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TQVMonthView::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

bool TQVMonthView::setData(const QModelIndex& index, const QVariant& value, int role) {
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
