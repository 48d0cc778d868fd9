// The account card as a user meets it: its fields, its commands and the questions they ask.
#include <set>

#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>

#include "MainFormTestSupport.h"
#include "ui/QVImages.h"

namespace {

class AccountsPageTest : public MainFormTest {
protected:
    // The budget of MakeBudget and two more accounts: "Savings" (default), which only receives a
    // transfer, and "Spare", which no flow names but a debt does; Cash also sends 70 to itself.
    // The window opens it and shows the accounts page with Cash.
    void SetUp() override {
        MainFormTest::SetUp();
        const std::string path = MakeBudget(true);
        TQVSource* savings = NewAccount(u"Savings");
        savings->IsDefault = true;
        Env().GetSource(1)->Description = u"Salary account";
        Env().GetDebt(Env().AddDebt())->Source = NewAccount(u"Spare");
        AddFlow<TQVA2AItem>(Today(), 30, Env().GetSource(1)).Destination = savings;
        AddFlow<TQVA2AItem>(Today(), 70, Env().GetSource(0)).Destination = Env().GetSource(0);
        SaveAndForget(path);
        OpenWindow();
        Action("actAccounts").trigger();
    }

    static TQVSource& Account(int index) { return *Env().GetSource(index); }
    // Runs the balance adjustment, answering its dialog with `answer`; returns the proposal.
    QString Adjust(const DialogAction& answer) {
        QString proposed;
        DialogActions.push_back([&](QDialog& dialog) {
            proposed = Child<QLineEdit>(dialog, "editInput")->text();
            answer(dialog);
        });
        ClickOn(*Window, "btnAdjustAccBalance");
        return proposed;
    }
};

TEST_F(AccountsPageTest, DescriptionAndFlagsAreStoredAsTheUserEdits) {
    auto* memo = Child<QPlainTextEdit>(*Window, "memoAccDesc");
    QTest::keyClicks(memo, "Wa");
    QTest::keyClick(memo, Qt::Key_Backspace);
    EXPECT_EQ(Account(0).Description, u"W");
    // Showing another account fills the memo without writing anything back.
    ClickBarButton(1);
    EXPECT_EQ(memo->toPlainText(), "Salary account");
    EXPECT_EQ(Account(0).Description, u"W");
    const std::pair<const char*, bool TQVSource::*> flags[] = {
        {"cbAllowExpensesForAcc", &TQVSource::AllowExpense},
        {"cbAllowIncomesForAcc", &TQVSource::AllowIncome},
        {"cbDefaultAccount", &TQVSource::IsDefault},
    };
    for (const auto& [box, flag] : flags) {
        const bool was = Account(1).*flag;
        ClickOn(*Window, box);
        EXPECT_EQ(Account(1).*flag, !was) << box;
    }
    EXPECT_TRUE(Account(0).IsDefault) << "a second default leaves the first one alone";
}

TEST_F(AccountsPageTest, RenameTakesOnlyAConfirmedName) {
    for (const auto& answer :
         {TypeAndPress("editString", "Purse", "btnCancel"), TypeAndPress("editString", "")}) {
        QString prompt = "not asked";
        DialogActions.push_back([&](QDialog& dialog) {
            prompt = Child<QLabel>(dialog, "lblPrompt")->text();
            EXPECT_EQ(Child<QLineEdit>(dialog, "editString")->text(), "") << "asked afresh";
            answer(dialog);
        });
        ClickOn(*Window, "btnRename");
        EXPECT_EQ(prompt, "Please provide a new name for the account \"Cash\":");
        EXPECT_EQ(Account(0).Name, u"Cash");
        EXPECT_EQ(BarPage(1).Button(0).Caption, "Cash");
    }
}

TEST_F(AccountsPageTest, ChangeIconProposesTheSecondIconAndNeedsAChoice) {
    const int base = BarPage(1).Button(0).ImageIndex - Account(0).Icon;
    const auto choose = [](int click, Qt::KeyboardModifiers modifiers, bool okEnabled,
                           const char* button) {
        return [=](QDialog& dialog) {
            auto* view = Child<QListView>(dialog, "lvIcons");
            EXPECT_EQ(view->selectionModel()->selectedIndexes(),
                      QModelIndexList{view->model()->index(1, 0)});
            const QRect cell = view->visualRect(view->model()->index(click, 0));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, cell.center());
            EXPECT_EQ(Child<QPushButton>(dialog, "btnOK")->isEnabled(), okEnabled);
            ClickOn(dialog, button);
        };
    };
    // Then, with the selection taken away, OK does nothing; Cancel changes nothing either.
    DialogActions = {choose(4, {}, true, "btnOK"), choose(1, Qt::ControlModifier, false, "btnOK"),
                     choose(7, {}, true, "btnCancel")};
    for (int run = 0; run < 3; ++run) {
        ClickOn(*Window, "btnChangeIcon");
        EXPECT_EQ(Account(0).Icon, 4);
    }
    EXPECT_EQ(DialogsRun.size(), 3u);
    EXPECT_EQ(BarPage(1).Button(0).ImageIndex, base + 4);
    EXPECT_EQ(Child<QLabel>(*Window, "imgAccountIcon")->pixmap().toImage(),
              QVImages::SourceIcons().Pixmap(4, Window->devicePixelRatioF()).toImage());
}

TEST_F(AccountsPageTest, RemovingAnUnusedAccountClearsTheCardUntilAnotherIsChosen) {
    ClickBarButton(3);
    ASSERT_EQ(Label("lblAccName"), "Spare");
    const TQVIncomeItem* debt = Env().GetDebt(0);
    DialogActions = {Press("btnNo")};
    ClickOn(*Window, "btnAccRemove");
    EXPECT_EQ(Env().SourceCount(), 4);
    DialogActions = {Press("btnYes")};
    ClickOn(*Window, "btnAccRemove");
    ASSERT_EQ(Env().SourceCount(), 3);
    EXPECT_EQ(debt->Source, nullptr);
    ASSERT_EQ(BarPage(1).ButtonCount(), 4);
    EXPECT_EQ(BarPage(1).Button(3).Caption, "New Account");
    EXPECT_EQ(Label("lblAccName"), "");
    EXPECT_FALSE(Child<QWidget>(*Window, "btnAccRemove")->isEnabled());
    ClickBarButton(1);
    EXPECT_EQ(Label("lblAccName"), "Bank");
    EXPECT_TRUE(Child<QWidget>(*Window, "btnAccRemove")->isEnabled());
}

TEST_F(AccountsPageTest, AUsedAccountCanOnlyBeDisabled) {
    const struct {
        int account; // used as a transfer's destination only, as a source, as a source
        DialogAction warning;
        bool disabled;
    } cases[] = {
        {2, Press("btnButton2"), true},  // Disable
        {0, Press("btnButton3"), false}, // Cancel
        {1, [](QDialog& dialog) { dialog.reject(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.account);
        ClickBarButton(c.account);
        TQVSource& account = Account(c.account);
        const std::vector<bool> before{account.AllowExpense, account.AllowIncome,
                                       account.IsDefault};
        DialogActions = {Press("btnYes"), c.warning};
        ClickOn(*Window, "btnAccRemove");
        EXPECT_EQ(DialogsRun.back(), "Warning");
        EXPECT_EQ(Env().SourceCount(), 4);
        EXPECT_EQ(std::vector<bool>({account.AllowExpense, account.AllowIncome, account.IsDefault}),
                  c.disabled ? std::vector<bool>(3, false) : before);
        EXPECT_EQ(Child<QCheckBox>(*Window, "cbDefaultAccount")->isChecked(), account.IsDefault);
    }
}

TEST_F(AccountsPageTest, BalanceAdjustmentBooksTheDifferenceToday) {
    // The transfer from Cash to itself counts on both sides and leaves the balance.
    EXPECT_EQ(Label("lblAccTotalIncomes"), Money(1070));
    EXPECT_EQ(Label("lblAccTotalExpenses"), Money(420.5L));
    EXPECT_EQ(Label("lblAccBalance"), Money(649.5L));
    const struct {
        DialogAction answer;
        TQVFlowKind booking; // A2A: nothing booked
        long double sum, balance;
        QStringList messages;
    } cases[] = {
        {Press("btnOK"), TQVFlowKind::A2A, 0, 649.5L, {}}, // the proposal kept
        {TypeAndPress("editInput", Money(10), "btnCancel"), TQVFlowKind::A2A, 0, 649.5L, {}},
        {TypeAndPress("editInput", "12x"),
         TQVFlowKind::A2A,
         0,
         649.5L,
         {"'12x' is not a valid floating point value"}},
        {TypeAndPress("editInput", Money(700)), TQVFlowKind::Income, 50.5L, 700, {}},
        {TypeAndPress("editInput", Money(690.25L)), TQVFlowKind::Expense, 9.75L, 690.25L, {}},
        {TypeAndPress("editInput", Money(690.25L)), TQVFlowKind::A2A, 0, 690.25L, {}},
    };
    long double balance = 649.5L;
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.balance));
        const std::set<TQVMoneyFlow*> old(Today().Flows().begin(), Today().Flows().end());
        EXPECT_EQ(Adjust(c.answer), Money(balance));
        EXPECT_EQ(TakeMessages(), c.messages);
        balance = c.balance;
        EXPECT_EQ(Env().GetSourceBalance(&Account(0)), balance);
        EXPECT_EQ(Label("lblAccBalanceBig"), Money(balance));
        const int booked = c.booking == TQVFlowKind::A2A ? 0 : 1;
        ASSERT_EQ(Today().Count(), static_cast<int>(old.size()) + booked);
        for (TQVMoneyFlow* flow : Today().Flows()) {
            if (!old.contains(flow)) {
                EXPECT_EQ(flow->Kind(), c.booking);
                EXPECT_EQ(flow->Sum, c.sum);
                EXPECT_EQ(flow->Name, u"Balance adjustment");
                EXPECT_TRUE(flow->IsAdjustment);
            }
        }
    }
}

TEST_F(AccountsPageTest, BalanceAdjustmentKeepsARoundedProposalAndOpensTodaysMonth) {
    // Eleven digits: the proposal shows ten of them, and OK on it must not book the cents.
    AddFlow<TQVIncomeItem>(Today(), 123456789.12L, &Account(3));
    ClickBarButton(3);
    const int count = Today().Count();
    EXPECT_EQ(Adjust(Press("btnOK")), Money(123456789.1L));
    EXPECT_EQ(Today().Count(), count);
    // As after midnight at the end of a month: the newest month is no longer today's.
    Today().Date = QVUtils::EncodeDate(2019, 3, 1);
    const int months = Env().MonthCount();
    ClickBarButton(1);
    Adjust(TypeAndPress("editInput", Money(0)));
    ASSERT_EQ(Env().MonthCount(), months + 1);
    ASSERT_EQ(Today().Count(), 1);
    EXPECT_EQ(Today().GetFlow(0)->Kind(), TQVFlowKind::Expense);
    EXPECT_EQ(Today().GetFlow(0)->Sum, 30);
    EXPECT_EQ(Label("lblAccBalance"), Money(0));
}

} // namespace
