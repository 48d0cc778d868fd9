// The account card as a user meets it: its fields, its commands and the questions they ask.
#include <memory>
#include <set>

#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "MainFormTestSupport.h"
#include "ui/QVImages.h"

namespace {

using DialogAction = std::function<void(QDialog&)>;
using QVUIUtils::ToQ;

// A check box is clicked on its box: the widget may be wider than its caption.
void Click(QObject& parent, const char* button) {
    auto* widget = Child<QAbstractButton>(parent, button);
    const QPoint where = qobject_cast<QCheckBox*>(widget) ? QPoint(6, widget->height() / 2)
                                                          : widget->rect().center();
    QTest::mouseClick(widget, Qt::LeftButton, {}, where);
}

DialogAction Press(const char* button) {
    return [=](QDialog& dialog) { Click(dialog, button); };
}

// Replaces the edit's text, as typing over a selection would, and presses `button`.
DialogAction Type(const char* edit, const QString& text, const char* button = "btnOK") {
    return [=](QDialog& dialog) {
        auto* line = Child<QLineEdit>(dialog, edit);
        line->clear();
        QTest::keyClicks(line, text);
        Click(dialog, button);
    };
}

template <class T> std::pair<TQVSource*, TQVLocation*> Ends(const T* flow) {
    return {flow->Source, flow->Location};
}

QString Money(long double value) {
    return QVUIUtils::FormatMoney(value, 10);
}

const char* const CardCommands[] = {
    "memoAccDesc", "cbAllowExpensesForAcc", "cbAllowIncomesForAcc", "cbDefaultAccount",
    "btnRename",   "btnChangeIcon",         "btnAdjustAccBalance",  "btnAccRemove"};

class AccountsPageTest : public MainFormTest {
protected:
    void TearDown() override {
        Window.reset();
        MainFormTest::TearDown();
    }

    // The budget of MakeBudget and two more accounts: "Savings" (default), which only receives a
    // transfer, and "Spare", which no flow names but a debt does; Cash also sends 70 to itself.
    // The window opens it and shows the accounts page with Cash.
    void OpenHome() {
        const std::string path = MakeBudget();
        Env().LoadFromFile(path);
        TQVSource* cash = Env().GetSource(0);
        TQVSource* bank = Env().GetSource(1);
        bank->Description = u"Salary account";
        TQVSource* savings = NewAccount(u"Savings");
        savings->IsDefault = true;
        Env().GetDebt(Env().AddDebt())->Source = NewAccount(u"Spare");
        TQVMonth& now = *Env().GetMonth(Env().IndexOfCurrentMonth());
        AddFlow<TQVA2AItem>(now, 30, bank)->Destination = savings;
        AddFlow<TQVA2AItem>(now, 70, cash)->Destination = cash;
        Env().SaveToFile(path);
        Env().Reset();
        Env().FileName.clear();
        OpenWindow(path);
    }

    void OpenWindow(const std::string& path) {
        RememberLast(path);
        Window = std::make_unique<TfrmMain>();
        Window->show();
        Action(*Window, "actAccounts").trigger();
    }

    static TQVSource* NewAccount(const char16_t* name) {
        TQVSource* account = Env().GetSource(Env().AddSource());
        account->Name = name;
        account->Id = QVBase::CreateGUIDString();
        return account;
    }

    static TQVSource& Account(int index) { return *Env().GetSource(index); }
    TOutlookBarPage& Page() { return Bar(*Window).Page(1); }
    void ClickBarButton(int index) {
        QTest::mouseClick(Bar(*Window).ButtonWidget(index), Qt::LeftButton);
    }
    QString Card(const char* label) { return Text(*Window, label); }

    std::unique_ptr<TfrmMain> Window;
};

TEST_F(AccountsPageTest, DescriptionAndFlagsAreStoredAsTheUserEdits) {
    OpenHome();
    auto* memo = Child<QPlainTextEdit>(*Window, "memoAccDesc");
    QTest::keyClicks(memo, "Wa");
    EXPECT_EQ(Account(0).Description, u"Wa");
    QTest::keyClick(memo, Qt::Key_Backspace);
    EXPECT_EQ(Account(0).Description, u"W");
    // Showing another account fills the memo without writing anything back.
    ClickBarButton(1);
    EXPECT_EQ(memo->toPlainText(), "Salary account");
    EXPECT_EQ(Account(1).Description, u"Salary account");
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
        Click(*Window, item.box);
        EXPECT_EQ(Account(1).*item.flag, !was);
    }
    // A default closed to both kinds of flow is allowed, and the other defaults stay.
    EXPECT_FALSE(Account(1).AllowExpense);
    EXPECT_FALSE(Account(1).AllowIncome);
    EXPECT_TRUE(Account(1).IsDefault);
    EXPECT_TRUE(Account(0).IsDefault);
    EXPECT_TRUE(Account(0).AllowExpense);
}

TEST_F(AccountsPageTest, RenameTakesOnlyAConfirmedName) {
    OpenHome();
    const struct {
        const char* name;
        DialogAction answer;
        std::u16string expected;
    } cases[] = {
        {"cancelled", Type("editString", "Purse", "btnCancel"), u"Cash"},
        {"empty", Type("editString", ""), u"Cash"},
        {"typed", Type("editString", "Wallet"), u"Wallet"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString prompt;
        DialogActions.push_back([&](QDialog& dialog) {
            prompt = Child<QLabel>(dialog, "lblPrompt")->text();
            c.answer(dialog);
        });
        Click(*Window, "btnRename");
        EXPECT_EQ(prompt, "Please provide a new name for the account \"Cash\":");
        EXPECT_EQ(Account(0).Name, c.expected);
        EXPECT_EQ(Page().Button(0).Caption, ToQ(c.expected));
        EXPECT_EQ(Card("lblAccName"), ToQ(c.expected));
    }
}

TEST_F(AccountsPageTest, ChangeIconProposesTheSecondIconAndNeedsAChoice) {
    OpenHome();
    const int base = Page().Button(0).ImageIndex - Account(0).Icon;
    const auto choose = [](int click, bool okEnabled, const char* button) {
        return [=](QDialog& dialog) {
            auto* view = Child<QListView>(dialog, "lvIcons");
            EXPECT_EQ(view->selectionModel()->selectedIndexes(),
                      QModelIndexList{view->model()->index(1, 0)});
            if (click >= 0) {
                const QRect cell = view->visualRect(view->model()->index(click, 0));
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
            } else {
                QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                                  view->visualRect(view->model()->index(1, 0)).center());
            }
            EXPECT_EQ(Child<QPushButton>(dialog, "btnOK")->isEnabled(), okEnabled);
            Click(dialog, button);
        };
    };
    DialogActions.push_back(choose(4, true, "btnOK"));
    Click(*Window, "btnChangeIcon");
    EXPECT_EQ(Account(0).Icon, 4);
    EXPECT_EQ(Page().Button(0).ImageIndex, base + 4);
    EXPECT_EQ(Child<QLabel>(*Window, "imgAccountIcon")->pixmap().toImage(),
              QVImages::SourceIcons().Pixmap(4, Window->devicePixelRatioF()).toImage());
    // With the selection taken away OK does nothing; Cancel changes nothing either.
    DialogActions.push_back(choose(-1, false, "btnOK"));
    Click(*Window, "btnChangeIcon");
    DialogActions.push_back(choose(7, true, "btnCancel"));
    Click(*Window, "btnChangeIcon");
    EXPECT_EQ(DialogsRun.size(), 3u);
    EXPECT_EQ(Account(0).Icon, 4);
    EXPECT_EQ(Page().Button(0).ImageIndex, base + 4);
}

TEST_F(AccountsPageTest, RemovingAnUnusedAccountClearsTheCardUntilAnotherIsChosen) {
    OpenHome();
    ClickBarButton(3);
    ASSERT_EQ(Card("lblAccName"), "Spare");
    const TQVIncomeItem* debt = Env().GetDebt(0);
    DialogActions.push_back(Press("btnNo"));
    Click(*Window, "btnAccRemove");
    EXPECT_EQ(Env().SourceCount(), 4);

    DialogActions.push_back(Press("btnYes"));
    Click(*Window, "btnAccRemove");
    ASSERT_EQ(Env().SourceCount(), 3);
    EXPECT_EQ(Account(2).Name, u"Savings");
    EXPECT_EQ(debt->Source, nullptr);
    ASSERT_EQ(Page().ButtonCount(), 4);
    EXPECT_EQ(Page().Button(3).Caption, "New Account");
    EXPECT_EQ(Window->CurrentAccount(), nullptr);
    EXPECT_EQ(Card("lblAccName"), "");
    for (const char* command : CardCommands) {
        EXPECT_FALSE(Child<QWidget>(*Window, command)->isEnabled()) << command;
    }
    ClickBarButton(1);
    EXPECT_EQ(Card("lblAccName"), "Bank");
    for (const char* command : CardCommands) {
        EXPECT_TRUE(Child<QWidget>(*Window, command)->isEnabled()) << command;
    }
}

TEST_F(AccountsPageTest, AUsedAccountCanOnlyBeDisabled) {
    OpenHome();
    const struct {
        const char* name;
        int account;
        const char* warningButton; // null: the window is closed
        bool disabled;
    } cases[] = {
        {"only a transfer's destination, Disable", 2, "btnButton2", true},
        {"source of flows, Cancel", 0, "btnButton3", false},
        {"warning closed", 1, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClickBarButton(c.account);
        TQVSource& account = Account(c.account);
        const bool before[] = {account.AllowExpense, account.AllowIncome, account.IsDefault};
        DialogActions.push_back(Press("btnYes"));
        DialogActions.push_back(c.warningButton ? Press(c.warningButton)
                                                : [](QDialog& dialog) { dialog.reject(); });
        Click(*Window, "btnAccRemove");
        EXPECT_EQ(DialogsRun.back(), "Warning");
        EXPECT_EQ(Env().SourceCount(), 4);
        EXPECT_EQ(Page().ButtonCount(), 5);
        const bool after[] = {account.AllowExpense, account.AllowIncome, account.IsDefault};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(after[i], c.disabled ? false : before[i]) << i;
        }
        EXPECT_EQ(Child<QCheckBox>(*Window, "cbDefaultAccount")->isChecked(), account.IsDefault);
        EXPECT_EQ(Window->CurrentAccount(), &account);
    }
}

TEST_F(AccountsPageTest, BalanceAdjustmentBooksTheDifferenceToday) {
    OpenHome();
    // The transfer from Cash to itself counts on both sides and leaves the balance.
    EXPECT_EQ(Card("lblAccTotalIncomes"), Money(1070));
    EXPECT_EQ(Card("lblAccTotalExpenses"), Money(420.5L));
    EXPECT_EQ(Card("lblAccBalance"), Money(649.5L));
    TQVSource* cash = &Account(0);
    enum Booking { None, Income, Expense };
    const struct {
        const char* name;
        QString typed; // null: the proposal as it stands
        const char* button;
        Booking booking;
        long double sum, balance;
        QString error;
    } cases[] = {
        {"proposal kept", {}, "btnOK", None, 0, 649.5L, {}},
        {"cancelled", Money(10), "btnCancel", None, 0, 649.5L, {}},
        {"not a number", "12x", "btnOK", None, 0, 649.5L,
         "'12x' is not a valid floating point value"},
        {"up", Money(700), "btnOK", Income, 50.5L, 700, {}},
        {"down", Money(690.25L), "btnOK", Expense, 9.75L, 690.25L, {}},
        {"same as now", Money(690.25L), "btnOK", None, 0, 690.25L, {}},
    };
    long double balance = 649.5L;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TQVMonth& month = *Env().GetMonth(Env().IndexOfCurrentMonth());
        const std::set<TQVMoneyFlow*> old(month.Flows().begin(), month.Flows().end());
        Messages.clear();
        QString proposed;
        DialogActions.push_back([&](QDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Balance Adjustment");
            proposed = Child<QLineEdit>(dialog, "editInput")->text();
            if (c.typed.isNull()) {
                Click(dialog, c.button);
            } else {
                Type("editInput", c.typed, c.button)(dialog);
            }
        });
        Click(*Window, "btnAdjustAccBalance");
        EXPECT_EQ(proposed, Money(balance));
        ASSERT_EQ(Messages.size(), c.error.isNull() ? 0u : 1u);
        if (!c.error.isNull()) {
            EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
            EXPECT_EQ(Messages[0].text, c.error);
        }
        balance = c.balance;
        EXPECT_EQ(Env().GetSourceBalance(cash), balance);
        EXPECT_EQ(Card("lblAccBalanceBig"), Money(balance));
        ASSERT_EQ(month.Count(), static_cast<int>(old.size()) + (c.booking == None ? 0 : 1));
        for (TQVMoneyFlow* flow : month.Flows()) {
            if (old.contains(flow)) {
                continue;
            }
            EXPECT_EQ(flow->Kind(),
                      c.booking == Income ? TQVFlowKind::Income : TQVFlowKind::Expense);
            EXPECT_EQ(flow->Sum, c.sum);
            EXPECT_EQ(flow->Name, u"Balance adjustment");
            EXPECT_TRUE(flow->IsAdjustment);
            EXPECT_NEAR(flow->Date, QVUtils::Now(), 10.0 / 86400);
            const auto [source, location] = c.booking == Income
                                                ? Ends(static_cast<TQVIncomeItem*>(flow))
                                                : Ends(static_cast<TQVExpenseItem*>(flow));
            EXPECT_EQ(source, cash);
            EXPECT_EQ(location, nullptr);
        }
    }
}

TEST_F(AccountsPageTest, KeepingARoundedProposalBooksNothing) {
    OpenHome();
    // Eleven digits: the proposal shows ten of them, and OK on it must not book the cents.
    TQVMonth& now = *Env().GetMonth(Env().IndexOfCurrentMonth());
    AddFlow<TQVIncomeItem>(now, 123456789.12L, &Account(3));
    ClickBarButton(3);
    const int count = now.Count();
    QString proposed;
    DialogActions.push_back([&](QDialog& dialog) {
        proposed = Child<QLineEdit>(dialog, "editInput")->text();
        Click(dialog, "btnOK");
    });
    Click(*Window, "btnAdjustAccBalance");
    EXPECT_EQ(proposed, Money(123456789.1L));
    EXPECT_EQ(now.Count(), count);
}

TEST_F(AccountsPageTest, BalanceAdjustmentOpensTheMonthOfTodayWhenMissing) {
    OpenHome();
    // As after midnight at the end of a month: the newest month is no longer today's.
    Env().GetMonth(Env().IndexOfCurrentMonth())->Date = QVUtils::EncodeDate(2019, 3, 1);
    const int months = Env().MonthCount();
    ClickBarButton(1);
    DialogActions.push_back(Type("editInput", Money(0)));
    Click(*Window, "btnAdjustAccBalance");
    ASSERT_EQ(Env().MonthCount(), months + 1);
    const TQVMonth& today = *Env().GetMonth(Env().IndexOfCurrentMonth());
    ASSERT_EQ(today.Count(), 1);
    EXPECT_EQ(today.GetFlow(0)->Kind(), TQVFlowKind::Expense);
    EXPECT_EQ(today.GetFlow(0)->Sum, 30);
    EXPECT_EQ(Card("lblAccBalance"), Money(0));
}

TEST_F(AccountsPageTest, NewAccountFromTheEditMenu) {
    OpenHome();
    Action(*Window, "actCashflow").trigger();
    QString prompt;
    DialogActions.push_back([&](QDialog& dialog) {
        prompt = Child<QLabel>(dialog, "lblPrompt")->text();
        Type("editString", "Purse")(dialog);
    });
    Action(*Window, "actNewAccount").trigger();
    EXPECT_EQ(prompt, "Please provide a name for the new account:");
    EXPECT_TRUE(Child<QWidget>(*Window, "pAccountInfo")->isVisible());
    ASSERT_EQ(Env().SourceCount(), 5);
    EXPECT_EQ(Account(4).Name, u"Purse");
    ASSERT_EQ(Page().ButtonCount(), 6);
    EXPECT_EQ(Page().Button(4).Caption, "Purse");
    // The card keeps the account it showed.
    EXPECT_EQ(Card("lblAccName"), "Cash");
}

} // namespace
