// The debts and loans page: either list in one grid, with its totals line.
#include <algorithm>

#include <QItemSelectionModel>

#include "model/QVEnvironment.h"
#include "ui/MainForm.h"
#include "ui/QVDebtsView.h"
#include "ui/QVUIUtils.h"
#include "ui_MainForm.h"

using QVUIUtils::Lang;

void TfrmMain::ShowDebts() {
    m_ui->lblHeader->setText(Lang(u"HEADER_DEBTS"));
    SetHeaderPicture(QVImages::DebtsLoans(), 1);
    std::vector<TQVMoneyFlow*> debts;
    for (int i = 0; i < Environment->DebtCount(); ++i) {
        debts.push_back(Environment->GetDebt(i));
    }
    auto view = std::make_unique<TQVDebtsView>(std::move(debts));
    BindModel(*m_ui->tvDebts, view.get());
    FDebtsView = std::move(view);
    m_ui->tvDebts->setColumnWidth(0, 240);
    m_ui->tvDebts->setColumnWidth(1, 120);
    m_ui->tvDebts->setColumnWidth(2, 80);
    // The deadline is kept in the files but nothing sets it: its column stays hidden.
    m_ui->tvDebts->setColumnHidden(3, true);
    connect(m_ui->tvDebts->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmMain::UpdateDebtTotals);
    UpdateDebtTotals();
    m_ui->pBottomCashflow->show();
}

void TfrmMain::ShowCredits() {
    m_ui->lblHeader->setText(Lang(u"HEADER_CREDITS"));
    SetHeaderPicture(QVImages::DebtsLoans(), 0);
    std::vector<TQVMoneyFlow*> credits;
    for (int i = 0; i < Environment->CreditCount(); ++i) {
        credits.push_back(Environment->GetCredit(i));
    }
    auto view = std::make_unique<TQVDebtsView>(std::move(credits));
    BindModel(*m_ui->tvDebts, view.get());
    FDebtsView = std::move(view);
    m_ui->tvDebts->setColumnHidden(3, true);
    connect(m_ui->tvDebts->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmMain::UpdateDebtTotals);
    UpdateDebtTotals();
    m_ui->pBottomCashflow->show();
}

void TfrmMain::UpdateDebtTotals() {
    if (!FDebtsView) {
        return;
    }
    std::vector<int> rows;
    for (const QModelIndex& index : m_ui->tvDebts->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    if (rows.empty()) {
        for (int row = 0; row < FDebtsView->rowCount(); ++row) {
            rows.push_back(row);
        }
    }
    // A debt is kept as an income and a loan as an expense: the debts list totals as income,
    // the loans list as expense.
    long double income = 0, expense = 0;
    for (int row : rows) {
        const TQVMoneyFlow* flow = FDebtsView->Flow(row);
        (flow->Kind() == TQVFlowKind::Expense ? expense : income) += flow->Sum;
    }
    SetTotals(income, expense, static_cast<int>(rows.size()), QString());
}
