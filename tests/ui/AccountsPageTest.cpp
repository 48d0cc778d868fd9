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

using QVUIUtils::ToQ;

class AccountsPageTest : public MainFormTest {
protected:
    // The budget of MakeBudget and two more accounts: "Savings" (default), which only receives a
    // transfer, and "Spare", which no flow names but a debt does; Cash also sends 70 to itself.
    // The window opens it and shows the accounts page with Cash.
    void SetUp() override {
        MainFormTest::SetUp();
        const std::string path = MakeBudget();
        Env().LoadFromFile(path);
        TQVSource* cash = Env().GetSource(0);
        TQVSource* bank = Env().GetSource(1);
        bank->Description = u"Salary account";
        TQVSource* savings = NewAccount(u"Savings");
        savings->IsDefault = true;
        Env().GetDebt(Env().AddDebt())->Source = NewAccount(u"Spare");
        AddFlow<TQVA2AItem>(Today(), 30, bank)->Destination = savings;
        AddFlow<TQVA2AItem>(Today(), 70, cash)->Destination = cash;
        SaveAndForget(path);
        RememberLast(path);
        OpenWindow();
        Action(*Window, "actAccounts").trigger();
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

    const struct {
        const char* box;
        bool TQVSource::*flag;
    } flags[] = {
        {"cbAllowExpensesForAcc", &TQVSource::AllowExpense},
        {"cbAllowIncomesForAcc", &TQVSource::AllowIncome},
        {"cbDefaultAccount", &TQVSource::IsDefault},
    };
    for (const auto& item : flags) {
        SCOPED_TRACE(item.box);
        const bool was = Account(1).*item.flag;
        ClickOn(*Window, item.box);
        EXPECT_EQ(Account(1).*item.flag, !was);
    }
    // A second default leaves the first one alone.
    EXPECT_TRUE(Account(1).IsDefault);
    EXPECT_TRUE(Account(0).IsDefault);
}

TEST_F(AccountsPageTest, RenameTakesOnlyAConfirmedName) {
    const struct {
        const char* name;
        DialogAction answer;
        std::u16string expected;
    } cases[] = {
        {"cancelled", TypeAndPress("editString", "Purse", "btnCancel"), u"Cash"},
        {"empty", TypeAndPress("editString", ""), u"Cash"},
        {"typed", TypeAndPress("editString", "Wallet"), u"Wallet"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString prompt = "not asked", shown;
        DialogActions.push_back([&](QDialog& dialog) {
            prompt = Child<QLabel>(dialog, "lblPrompt")->text();
            shown = Child<QLineEdit>(dialog, "editString")->text();
            c.answer(dialog);
        });
        ClickOn(*Window, "btnRename");
        EXPECT_EQ(prompt, "Please provide a new name for the account \"Cash\":");
        EXPECT_EQ(shown, "") << "each question starts empty";
        EXPECT_EQ(Account(0).Name, c.expected);
        EXPECT_EQ(BarPage(1).Button(0).Caption, ToQ(c.expected));
        EXPECT_EQ(Label("lblAccName"), ToQ(c.expected));
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
    DialogActions.push_back(choose(4, {}, true, "btnOK"));
    ClickOn(*Window, "btnChangeIcon");
    EXPECT_EQ(Account(0).Icon, 4);
    EXPECT_EQ(BarPage(1).Button(0).ImageIndex, base + 4);
    EXPECT_EQ(Child<QLabel>(*Window, "imgAccountIcon")->pixmap().toImage(),
              QVImages::SourceIcons().Pixmap(4, Window->devicePixelRatioF()).toImage());
    // With the selection taken away OK does nothing; Cancel changes nothing either.
    DialogActions.push_back(choose(1, Qt::ControlModifier, false, "btnOK"));
    ClickOn(*Window, "btnChangeIcon");
    DialogActions.push_back(choose(7, {}, true, "btnCancel"));
    ClickOn(*Window, "btnChangeIcon");
    EXPECT_EQ(DialogsRun.size(), 3u);
    EXPECT_EQ(Account(0).Icon, 4);
}

TEST_F(AccountsPageTest, RemovingAnUnusedAccountClearsTheCardUntilAnotherIsChosen) {
    ClickBarButton(3);
    ASSERT_EQ(Label("lblAccName"), "Spare");
    const TQVIncomeItem* debt = Env().GetDebt(0);
    DialogActions.push_back(Press("btnNo"));
    ClickOn(*Window, "btnAccRemove");
    EXPECT_EQ(Env().SourceCount(), 4);

    DialogActions.push_back(Press("btnYes"));
    ClickOn(*Window, "btnAccRemove");
    ASSERT_EQ(Env().SourceCount(), 3);
    EXPECT_EQ(debt->Source, nullptr);
    ASSERT_EQ(BarPage(1).ButtonCount(), 4);
    EXPECT_EQ(BarPage(1).Button(3).Caption, "New Account");
    EXPECT_EQ(Window->CurrentAccount(), nullptr);
    EXPECT_EQ(Label("lblAccName"), "");
    EXPECT_FALSE(Child<QWidget>(*Window, "btnAccRemove")->isEnabled());
    ClickBarButton(1);
    EXPECT_EQ(Label("lblAccName"), "Bank");
    EXPECT_TRUE(Child<QWidget>(*Window, "btnAccRemove")->isEnabled());
}

TEST_F(AccountsPageTest, AUsedAccountCanOnlyBeDisabled) {
    const struct {
        const char* name;
        int account;
        DialogAction warning;
        bool disabled;
    } cases[] = {
        {"only a transfer's destination, Disable", 2, Press("btnButton2"), true},
        {"source of flows, Cancel", 0, Press("btnButton3"), false},
        {"warning closed", 1, [](QDialog& dialog) { dialog.reject(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClickBarButton(c.account);
        TQVSource& account = Account(c.account);
        const bool before[] = {account.AllowExpense, account.AllowIncome, account.IsDefault};
        DialogActions.push_back(Press("btnYes"));
        DialogActions.push_back(c.warning);
        ClickOn(*Window, "btnAccRemove");
        EXPECT_EQ(DialogsRun.back(), "Warning");
        EXPECT_EQ(Env().SourceCount(), 4);
        const bool after[] = {account.AllowExpense, account.AllowIncome, account.IsDefault};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(after[i], c.disabled ? false : before[i]) << i;
        }
        EXPECT_EQ(Child<QCheckBox>(*Window, "cbDefaultAccount")->isChecked(), account.IsDefault);
    }
}

TEST_F(AccountsPageTest, BalanceAdjustmentBooksTheDifferenceToday) {
    // The transfer from Cash to itself counts on both sides and leaves the balance.
    EXPECT_EQ(Label("lblAccTotalIncomes"), Money(1070));
    EXPECT_EQ(Label("lblAccTotalExpenses"), Money(420.5L));
    EXPECT_EQ(Label("lblAccBalance"), Money(649.5L));
    TQVSource* cash = &Account(0);
    enum Booking { None, Income, Expense };
    const struct {
        const char* name;
        DialogAction answer;
        Booking booking;
        long double sum, balance;
        const char* error;
    } cases[] = {
        {"proposal kept", Press("btnOK"), None, 0, 649.5L, nullptr},
        {"cancelled", TypeAndPress("editInput", Money(10), "btnCancel"), None, 0, 649.5L, nullptr},
        {"not a number", TypeAndPress("editInput", "12x"), None, 0, 649.5L,
         "'12x' is not a valid floating point value"},
        {"up", TypeAndPress("editInput", Money(700)), Income, 50.5L, 700, nullptr},
        {"down", TypeAndPress("editInput", Money(690.25L)), Expense, 9.75L, 690.25L, nullptr},
        {"same as now", TypeAndPress("editInput", Money(690.25L)), None, 0, 690.25L, nullptr},
    };
    long double balance = 649.5L;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TQVMonth& month = Today();
        const std::set<TQVMoneyFlow*> old(month.Flows().begin(), month.Flows().end());
        Messages.clear();
        EXPECT_EQ(Adjust(c.answer), Money(balance));
        ASSERT_EQ(Messages.size(), c.error ? 1u : 0u);
        if (c.error) {
            EXPECT_EQ(Messages[0].text, c.error);
        }
        balance = c.balance;
        EXPECT_EQ(Env().GetSourceBalance(cash), balance);
        EXPECT_EQ(Label("lblAccBalanceBig"), Money(balance));
        ASSERT_EQ(month.Count(), static_cast<int>(old.size()) + (c.booking == None ? 0 : 1));
        for (TQVMoneyFlow* flow : month.Flows()) {
            if (!old.contains(flow)) {
                EXPECT_EQ(flow->Kind(),
                          c.booking == Income ? TQVFlowKind::Income : TQVFlowKind::Expense);
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
