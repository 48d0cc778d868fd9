// The accounts page: the card of one account with its totals and balance.
#include <QSignalBlocker>

#include "model/QVA2A.h"
#include "model/QVEnvironment.h"
#include "ui/MainForm.h"
#include "ui/QVUIUtils.h"
#include "ui_MainForm.h"

namespace {

constexpr int kCardPrecision = 10;

} // namespace

void TfrmMain::SetEnvironmentImageLists() {
    // The pictures stay with the windows; the model knows accounts and months only by index.
    FSourceIcons = &QVImages::SourceIcons();
    FMonthIcons = &QVImages::MonthIcons();
}

void TfrmMain::ShowAccount(TQVSource* account) {
    m_ui->pBottomCashflow->hide();
    m_ui->lblAccName->setText(QVUIUtils::ToQ(account->Name));

    // Over every flow of every month; debts and loans stand outside the months and do not count,
    // adjustments count whatever the settings hide.
    long double incomes = 0, expenses = 0;
    for (int m = 0; m < Environment->MonthCount(); ++m) {
        for (const TQVMoneyFlow* flow : Environment->GetMonth(m)->Flows()) {
            switch (flow->Kind()) {
            case TQVFlowKind::Expense:
                if (static_cast<const TQVExpenseItem*>(flow)->Source == account) {
                    expenses += flow->Sum;
                }
                break;
            case TQVFlowKind::Income:
                if (static_cast<const TQVIncomeItem*>(flow)->Source == account) {
                    incomes += flow->Sum;
                }
                break;
            case TQVFlowKind::A2A: {
                const auto* transfer = static_cast<const TQVA2AItem*>(flow);
                if (transfer->Source == account) {
                    expenses += flow->Sum;
                }
                if (transfer->Destination == account) {
                    incomes += flow->Sum;
                }
                break;
            }
            }
        }
    }
    const QString balance = QVUIUtils::FormatMoney(incomes - expenses, kCardPrecision);
    m_ui->lblAccTotalIncomes->setText(QVUIUtils::FormatMoney(incomes, kCardPrecision));
    m_ui->lblAccTotalExpenses->setText(QVUIUtils::FormatMoney(expenses, kCardPrecision));
    m_ui->lblAccBalance->setText(balance);
    {
        // Filling the memo must not write the text back as an edit.
        const QSignalBlocker blocker(m_ui->memoAccDesc);
        m_ui->memoAccDesc->setPlainText(QVUIUtils::ToQ(account->Description));
    }
    m_ui->imgAccountIcon->setPixmap(FSourceIcons->Pixmap(account->Icon, devicePixelRatioF()));
    m_ui->lblAccBalanceBig->setText(balance);
    for (auto [box, value] : {std::pair{m_ui->cbAllowExpensesForAcc, account->AllowExpense},
                              std::pair{m_ui->cbAllowIncomesForAcc, account->AllowIncome},
                              std::pair{m_ui->cbDefaultAccount, account->IsDefault}}) {
        const QSignalBlocker blocker(box);
        box->setChecked(value);
    }
    FCurrentAccount = account;
}
