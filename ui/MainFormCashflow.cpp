// The cash-flow page: one month (or all months) in the grid, its header and its totals line.
#include <algorithm>

#include <QItemSelectionModel>

#include "model/QVEnvironment.h"
#include "ui/MainForm.h"
#include "ui/QVMonthView.h"
#include "ui/QVUIUtils.h"
#include "ui_MainForm.h"

using QVUIUtils::FormatMoney;
using QVUIUtils::Lang;

namespace {

// Totals and the summary show amounts with ten significant digits.
constexpr int kTotalsPrecision = 10;

} // namespace

void TfrmMain::SetHeader(const QString& text, const QPixmap& picture) {
    m_ui->lblHeader->setText(text);
    m_ui->imgMonthIcon->setPixmap(picture);
}

void TfrmMain::SetHeaderPicture(const TImageList& list, int index) {
    m_ui->imgMonthIcon->setPixmap(list.Pixmap(index, devicePixelRatioF()));
}

void TfrmMain::ShowMonth(TQVMonth* month) {
    m_ui->pBottomCashflow->show();
    // The grid lets go of the old view before it goes.
    auto view = std::make_unique<TQVMonthView>(*month);
    view->OnNewText = [this](TQVMoneyFlow& flow, int column, const QString& text) {
        tvInfoNewText(flow, column, text);
    };
    BindModel(*m_ui->tvInfo, view.get());
    FMonthView = std::move(view);
    FCurrentMonth = month;
    connect(m_ui->tvInfo->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmMain::UpdateCashflowTotals);
    connect(FMonthView.get(), &QAbstractItemModel::rowsInserted, this,
            &TfrmMain::UpdateCashflowTotals);
    connect(FMonthView.get(), &QAbstractItemModel::rowsRemoved, this,
            &TfrmMain::UpdateCashflowTotals);

    const bool allMonths = month->Date == 0;
    m_ui->lblHeader->setText(allMonths ? Lang(u"HEADER_ALL_MONTHS")
                                       : QVUIUtils::GetMonthCaption(true, month->Date));
    SetHeaderPicture(*FMonthIcons, allMonths ? 12 : QVUtils::DecodeDate(month->Date).Month - 1);
    UpdateCashflowTotals();
}

void TfrmMain::SetTotals(long double income, long double expense, int count,
                         const QString& period) {
    const QString blank = QStringLiteral(" ");
    m_ui->lblTotalIncome->setText(Lang(u"LBL_TOTAL_INCOME") + blank +
                                  FormatMoney(income, kTotalsPrecision));
    m_ui->lblTotalExpense->setText(Lang(u"LBL_TOTAL_EXPENSE") + blank +
                                   FormatMoney(expense, kTotalsPrecision));
    m_ui->lblTotalBalance->setText(Lang(u"LBL_TOTAL_BALANCE") + blank +
                                   FormatMoney(income - expense, kTotalsPrecision));
    m_ui->lblItems->setText(Lang(u"LBL_TOTAL_ITEMS") + blank + QString::number(count));
    m_ui->lblPeriod->setText(period);
}

void TfrmMain::UpdateCashflowTotals() {
    if (!FMonthView) {
        return;
    }
    // The selected rows when there are any, else every row, in grid order.
    std::vector<int> rows;
    if (QItemSelectionModel* selection = m_ui->tvInfo->selectionModel()) {
        for (const QModelIndex& index : selection->selectedRows()) {
            rows.push_back(index.row());
        }
    }
    std::sort(rows.begin(), rows.end());
    const bool all = rows.empty();
    const int count = all ? FMonthView->rowCount() : static_cast<int>(rows.size());
    long double income = 0, expense = 0;
    TDateTime earliest = QVUtils::Now() + 365, latest = 0;
    for (int i = 0; i < count; ++i) {
        const TQVMoneyFlow* flow = FMonthView->Flow(all ? i : rows[static_cast<std::size_t>(i)]);
        if (flow->Kind() == TQVFlowKind::Expense) {
            expense += flow->Sum;
        } else if (flow->Kind() == TQVFlowKind::Income) {
            income += flow->Sum;
        }
        earliest = std::min(earliest, flow->Date);
        latest = std::max(latest, flow->Date);
    }
    SetTotals(income, expense, count,
              count > 0
                  ? Lang(u"LBL_PERIOD") + QStringLiteral(" ") + QVUIUtils::FormatDate(earliest) +
                        QStringLiteral("..") + QVUIUtils::FormatDate(latest)
                  : QString());
}
