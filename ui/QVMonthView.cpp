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
    return source != nullptr ? ShownName(source->Name) : QString();
}

QString NameOf(const TQVLocation* location) {
    return location != nullptr ? ShownName(location->Name) : QString();
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
    : TQVFlowRows(ColumnCount, {}, parent), FMonth(&month) {
    Fill();
}

void TQVMonthView::Fill() {
    const TQVSettings& settings = Environment->Settings();
    if (settings.ShowBalanceAdjustments && settings.ShowA2A) {
        // Nothing is left out: no flow needs to be looked at.
        SetRows(FMonth->Flows());
        return;
    }
    std::vector<TQVMoneyFlow*> rows;
    rows.reserve(FMonth->Flows().size());
    for (TQVMoneyFlow* flow : FMonth->Flows()) {
        if (flow->IsAdjustment && !settings.ShowBalanceAdjustments)
            continue;
        if (flow->Kind() == TQVFlowKind::A2A && !settings.ShowA2A)
            continue;
        rows.push_back(flow);
    }
    SetRows(std::move(rows));
}

void TQVMonthView::InsertFlowOnTop(TQVMoneyFlow* flow) {
    InsertFlow(flow, 0);
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
        return column == ColTitle      ? ShownName(income.Name)
               : column == ColCategory ? NameOf(income.Location)
               : column == ColAccount  ? NameOf(income.Source)
                                       : QString();
    }
    case TQVFlowKind::Expense: {
        const auto& expense = static_cast<const TQVExpenseItem&>(flow);
        return column == ColTitle      ? ShownName(expense.Name)
               : column == ColCategory ? NameOf(expense.Location)
               : column == ColAccount  ? NameOf(expense.Source)
                                       : QString();
    }
    case TQVFlowKind::A2A: {
        const auto& transfer = static_cast<const TQVA2AItem&>(flow);
        if (column == ColTitle) {
            return transfer.Destination != nullptr
                       ? QStringLiteral("Transfer to ") + ShownName(transfer.Destination->Name)
                       : QStringLiteral("A2A money transfer");
        }
        return column == ColAccount ? NameOf(transfer.Source) : QString();
    }
    }
    return {};
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
