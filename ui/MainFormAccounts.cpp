// The accounts page: the card of one account with its totals and balance, and its commands.
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include <QSignalBlocker>

#include "model/QVA2A.h"
#include "model/QVEnvironment.h"
#include "ui/MainForm.h"
#include "ui/Prompter.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/IconSelectForm.h"
#include "ui/dialogs/InputBoxForm.h"
#include "ui/dialogs/QVConfirmationForm.h"
#include "ui/dialogs/QVStringRequestForm.h"
#include "ui/dialogs/WarningForm.h"
#include "ui_MainForm.h"

using QVUIUtils::FromQ;
using QVUIUtils::Lang;
using QVUIUtils::ToQ;

namespace {

constexpr int kCardPrecision = 10;
constexpr int kAccountsPage = 1;

std::intptr_t TagOf(const TQVSource* account) {
    return reinterpret_cast<std::intptr_t>(account);
}

// Everything on the card that changes the shown account.
void SetCardCommandsEnabled(Ui::TfrmMain& ui, bool enabled) {
    for (QWidget* widget : std::initializer_list<QWidget*>{
             ui.memoAccDesc, ui.cbAllowExpensesForAcc, ui.cbAllowIncomesForAcc, ui.cbDefaultAccount,
             ui.btnRename, ui.btnChangeIcon, ui.btnAdjustAccBalance, ui.btnAccRemove}) {
        widget->setEnabled(enabled);
    }
}

} // namespace

void TfrmMain::SetEnvironmentImageLists() {
    // The pictures stay with the windows; the model knows accounts and months only by index.
    FSourceIcons = &QVImages::SourceIcons();
    FMonthIcons = &QVImages::MonthIcons();
}

void TfrmMain::ShowAccount(TQVSource* account) {
    m_ui->pBottomCashflow->hide();
    m_ui->lblAccName->setText(QVUIUtils::ShownName(account->Name));

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
    SetCardCommandsEnabled(*m_ui, true);
}

void TfrmMain::ConnectAccountCard() {
    connect(m_ui->memoAccDesc, &QPlainTextEdit::textChanged, this, [this] {
        if (FCurrentAccount) {
            FCurrentAccount->Description = FromQ(m_ui->memoAccDesc->toPlainText());
        }
    });
    const struct {
        QCheckBox* box;
        bool TQVSource::*flag;
    } flags[] = {
        {m_ui->cbAllowExpensesForAcc, &TQVSource::AllowExpense},
        {m_ui->cbAllowIncomesForAcc, &TQVSource::AllowIncome},
        {m_ui->cbDefaultAccount, &TQVSource::IsDefault},
    };
    // Only the flag itself changes: several accounts may be default, and a default account may
    // be closed to both expenses and incomes.
    for (const auto& item : flags) {
        connect(item.box, &QCheckBox::clicked, this, [this, flag = item.flag](bool checked) {
            if (FCurrentAccount) {
                FCurrentAccount->*flag = checked;
            }
        });
    }
    connect(m_ui->btnRename, &QPushButton::clicked, this,
            [this] { RenameAccount(FCurrentAccount); });
    connect(m_ui->btnChangeIcon, &QPushButton::clicked, this,
            [this] { ChangeAccountIcon(FCurrentAccount); });
    connect(m_ui->btnAccRemove, &QPushButton::clicked, this, &TfrmMain::RemoveShownAccount);
    connect(m_ui->btnAdjustAccBalance, &QPushButton::clicked, this,
            &TfrmMain::AdjustShownAccountBalance);
    ClearAccountCard();
}

void TfrmMain::ClearAccountCard() {
    FCurrentAccount = nullptr;
    for (QLabel* label : std::initializer_list<QLabel*>{
             m_ui->lblAccName, m_ui->lblAccBalanceBig, m_ui->lblAccTotalIncomes,
             m_ui->lblAccTotalExpenses, m_ui->lblAccBalance, m_ui->imgAccountIcon}) {
        label->clear();
    }
    {
        const QSignalBlocker blocker(m_ui->memoAccDesc);
        m_ui->memoAccDesc->clear();
    }
    for (QCheckBox* box :
         {m_ui->cbAllowExpensesForAcc, m_ui->cbAllowIncomesForAcc, m_ui->cbDefaultAccount}) {
        const QSignalBlocker blocker(box);
        box->setChecked(false);
    }
    // A removed account leaves nothing to work on until the user picks another one.
    SetCardCommandsEnabled(*m_ui, false);
}

void TfrmMain::RenameAccount(TQVSource* account) {
    if (account == nullptr) {
        return;
    }
    QString name;
    TfrmStringRequest::RequestString(Lang(u"PROMPT_NEW_ACCOUNT_NAME") +
                                         QVUIUtils::Quote(ToQ(account->Name)) +
                                         QStringLiteral("\":"),
                                     name);
    if (name.isEmpty()) {
        return;
    }
    account->Name = FromQ(name);
    // The account's own button follows, whichever button is pressed.
    TOutlookBarPage& page = m_ui->LeftBar->Page(kAccountsPage);
    for (int i = 0; i < page.ButtonCount(); ++i) {
        if (page.Button(i).Tag == TagOf(account)) {
            page.Button(i).Caption = name;
        }
    }
    page.Changed();
    ShowAccount(account);
}

void TfrmMain::ChangeAccountIcon(TQVSource* account) {
    if (account == nullptr) {
        return;
    }
    // The chooser always proposes the second icon, whatever the account has now.
    TfrmIconSelect& chooser = TfrmIconSelect::Instance();
    chooser.Setup(*FSourceIcons, 1);
    if (Prompter::Exec(chooser) != QDialog::Accepted) {
        return;
    }
    // The chooser's OK needs a selection; the range check keeps the bar's image index sound
    // should the list ever change underneath.
    const int icon = chooser.SelectedIndex();
    if (icon < 0 || icon >= FSourceIcons->Count()) {
        return;
    }
    account->Icon = icon;
    TOutlookBarPage& page = m_ui->LeftBar->Page(kAccountsPage);
    for (int i = 0; i < page.ButtonCount(); ++i) {
        if (page.Button(i).Tag == TagOf(account)) {
            page.Button(i).ImageIndex = FAccountIconBase + icon;
        }
    }
    page.Changed();
    ShowAccount(account);
}

void TfrmMain::RemoveShownAccount() {
    TQVSource* account = FCurrentAccount;
    if (account == nullptr || !TfrmConfirmation::Confirm(Lang(u"CONF_ACCOUNT_REMOVAL"))) {
        return;
    }
    if (Environment->IsSourceUsed(account)) {
        // Flows keep their account; the user may only stop offering it for new ones.
        if (TfrmWarning::ShowWarning(Lang(u"WRN_ACCOUNT_IS_REFERENCED"), Lang(u"BTN_DISABLE"),
                                     Lang(u"BTN_CANCEL")) == 0) {
            account->AllowIncome = false;
            account->AllowExpense = false;
            account->IsDefault = false;
            ShowAccount(account);
        }
        return;
    }
    TOutlookBarPage& page = m_ui->LeftBar->Page(kAccountsPage);
    for (int i = 0; i < page.ButtonCount();) {
        if (page.Button(i).Tag == TagOf(account)) {
            page.DeleteButton(i);
        } else {
            ++i;
        }
    }
    ClearAccountCard();
    // Debts and loans that named the account lose it here too.
    Environment->RemoveSource(account);
}

void TfrmMain::AdjustShownAccountBalance() {
    TQVSource* account = FCurrentAccount;
    if (account == nullptr) {
        return;
    }
    const long double balance = Environment->GetSourceBalance(account);
    const QString proposed = QVUIUtils::FormatMoney(balance, kCardPrecision);
    QString answer;
    TfrmInputBox::InputBox(QStringLiteral("Balance Adjustment"),
                           QStringLiteral("Please enter the actual balance for this account:"),
                           proposed, answer);
    if (answer.isEmpty()) {
        return;
    }
    try {
        const long double target = QVUIUtils::ParseMoney(answer);
        // The proposal shows ten digits only, and the sums carry binary noise: taking it as it
        // stands, or landing within half a cent of the balance, is no change.
        long double difference =
            answer.trimmed() == proposed ? 0.0L : std::round((target - balance) * 100.0L) / 100.0L;
        if (difference != 0.0L) {
            const TDateTime now = QVUtils::Now();
            TQVMonth* month = Environment->GetMonth(Environment->FindMonth(now, true));
            TQVMoneyFlow* flow =
                month->GetFlow(difference > 0 ? month->AddIncome() : month->AddExpense());
            if (difference > 0) {
                auto* income = static_cast<TQVIncomeItem*>(flow);
                income->Source = account;
                income->Location = nullptr;
            } else {
                auto* expense = static_cast<TQVExpenseItem*>(flow);
                expense->Source = account;
                expense->Location = nullptr;
            }
            flow->Date = now;
            flow->Sum = std::fabs(difference);
            flow->Name = u"Balance adjustment";
            flow->IsAdjustment = true;
            month->Sort();
        }
        ShowAccount(account);
    } catch (const Exception& error) {
        Prompter::Error(this, QString::fromStdString(error.Message()));
    }
}

void TfrmMain::NewAccountFromMenu() {
    if (m_ui->LeftBar->PageCount() <= kAccountsPage) {
        return; // no budget open
    }
    ShowAccountsPage();
    // The page's last button adds an account.
    LeftBarButtonClick(m_ui->LeftBar->Page(kAccountsPage).ButtonCount() - 1);
}
