#include "ui/QVSummaryView.h"

#include "model/QVEnvironment.h"
#include "model/QVSummary.h"
#include "ui/QVImages.h"
#include "ui/QVUIUtils.h"

using namespace QVUIUtils;

namespace {

// A child index carries its group number + 1; a group header carries 0.
constexpr quintptr HeaderId = 0;

} // namespace

TQVSummaryView::TQVSummaryView(TQVEnvironment& environment, TDateTime today, QObject* parent)
    : QAbstractItemModel(parent) {
    static const char* const GroupNames[GroupCount] = {
        "Current Month", "Previous Month", "Current Year", "Funds", "Debts", "Totals"};
    for (int g = 0; g < GroupCount; ++g)
        FGroups[static_cast<std::size_t>(g)] = {-1, QString::fromLatin1(GroupNames[g]), {}};

    const TQVSummary summary(environment);
    const TDateTime previous = QVUtils::PrevMonthSameDay(today);
    const int year = QVUtils::DecodeDate(today).Year;
    AddRow(0, "Income (current month)", summary.GetMonthIncomes(today));
    AddRow(0, "Expenses (current month)", summary.GetMonthExpenses(today));
    AddRow(1, "Income (previous month)", summary.GetMonthIncomes(previous));
    AddRow(1, "Expenses (previous month)", summary.GetMonthExpenses(previous));
    AddRow(2, "Income (year)", summary.GetYearIncomes(year));
    AddRow(2, "Expenses (year)", summary.GetYearExpenses(year));
    // The totals and the balance of every account come from one pass over the flows.
    const TQVSummary::TTotals totals = summary.GetTotals();
    AddRow(5, "Income (total)", totals.Incomes);
    AddRow(5, "Expenses (total)", totals.Expenses);
    const long double balance = totals.Balance;
    AddRow(3, "Total balance", balance);
    AddRow(5, "Total balance", balance);
    const long double debts = summary.GetTotalDebts();
    const long double credits = summary.GetTotalCredits();
    AddRow(4, "Total debts", debts);
    AddRow(4, "Total credits", credits);
    // From the unrounded sums, so the rounding of the lines above does not add up here.
    AddRow(5, "Total balance (with debts)", balance + credits - debts);
}

void TQVSummaryView::AddRow(int group, const char* caption, long double value) {
    FChildren[static_cast<std::size_t>(group)].push_back(static_cast<int>(FRows.size()));
    FRows.push_back({group, QString::fromLatin1(caption), FormatMoney(value, 10)});
}

QModelIndex TQVSummaryView::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= columnCount(parent) || row >= rowCount(parent))
        return {};
    if (!parent.isValid())
        return createIndex(row, column, HeaderId);
    return createIndex(row, column, static_cast<quintptr>(parent.row() + 1));
}

QModelIndex TQVSummaryView::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == HeaderId)
        return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, HeaderId);
}

int TQVSummaryView::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return GroupCount;
    // Only the first column of a header has children, as the views expect of a tree.
    if (parent.internalId() != HeaderId || parent.column() != 0)
        return 0;
    return static_cast<int>(FChildren[static_cast<std::size_t>(parent.row())].size());
}

int TQVSummaryView::columnCount(const QModelIndex&) const {
    return 2;
}

const TQVSummaryItem* TQVSummaryView::ItemAt(const QModelIndex& index) const {
    if (!index.isValid())
        return nullptr;
    if (index.internalId() == HeaderId)
        return &FGroups[static_cast<std::size_t>(index.row())];
    const auto& rows = FChildren[static_cast<std::size_t>(index.internalId() - 1)];
    return &FRows[static_cast<std::size_t>(rows[static_cast<std::size_t>(index.row())])];
}

QVariant TQVSummaryView::data(const QModelIndex& index, int role) const {
    const TQVSummaryItem* item = ItemAt(index);
    if (item == nullptr)
        return {};
    if (role == Qt::DisplayRole)
        return index.column() == 0 ? item->Caption : item->Value;
    if (role == Qt::DecorationRole && index.column() == 0)
        return QVImages::SummaryIcons().Icon(0);
    return {};
}

QVariant TQVSummaryView::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && (section == 0 || section == 1))
        return Lang(section == 0 ? u"TV_SUMMARY_TITLE" : u"TV_SUMMARY_VALUE");
    return QAbstractItemModel::headerData(section, orientation, role);
}
