// The quick-entry dialog of the tray, driven as a user would through the Prompter hooks.
#include <tuple>
#include <vector>

#include <QLineEdit>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/TrayPopupForm.h"

namespace {

class TrayPopupFormTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        for (const auto& [name, enabled, income] : {std::tuple{u"Food", true, false},
                                                    {u"Old", false, false},
                                                    {u"Rent", true, false},
                                                    {u"Salary", true, true},
                                                    {u"Gift", false, true}}) {
            TQVLocation* location = income ? Env().GetIncomeLocation(Env().AddIncomeLocation())
                                           : Env().GetExpenseLocation(Env().AddExpenseLocation());
            location->Name = name;
            location->Enabled = enabled;
        }
        // Wallet is the first default account but takes no expenses, so an expense entry
        // starts on Bank.
        for (const auto& [name, income, expense, isDefault] :
             {std::tuple{u"Cash", true, true, false},
              {u"Wallet", true, false, true},
              {u"Bank", true, true, true},
              {u"Card", false, true, false}}) {
            TQVSource* source = NewAccount(name);
            source->AllowIncome = income;
            source->AllowExpense = expense;
            source->IsDefault = isDefault;
        }
    }

    int Run(TfrmTrayPopup& dialog, TTrayEntryMode mode, DialogAction action) {
        dialog.SetMode(mode);
        DialogActions.push_back(std::move(action));
        return Prompter::Exec(dialog);
    }

    TfrmTrayPopup Dialog;
};

TEST_F(TrayPopupFormTest, EachModeShowsItsContainerFilledFromTheModel) {
    const struct {
        TTrayEntryMode mode;
        const char* container;
        const char* focus;
        QStringList locations;
        QStringList sources; // cbSources, or both transfer boxes
        QString picked;
    } cases[] = {
        {TTrayEntryMode::Income,
         "pAddIncomeBG",
         "editMoneyFlow",
         {"Salary"},
         {"Cash", "Wallet", "Bank"},
         "Wallet"},
        {TTrayEntryMode::Expense,
         "pAddIncomeBG",
         "editMoneyFlow",
         {"Food", "Rent"},
         {"Cash", "Bank", "Card"},
         "Bank"},
        {TTrayEntryMode::Transfer,
         "pAddA2ABG",
         "editA2ASum",
         {},
         {"Cash", "Wallet", "Bank", "Card"},
         "Wallet"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.container);
        // Every run starts afresh, whatever the previous one left behind.
        Run(Dialog, c.mode, [](QDialog& d) {
            for (const char* edit : {"editMoneyFlow", "editSum", "editDebtTitle", "editDebtSum",
                                     "cbLocations", "cbSources"}) {
                TypeText(d, edit, "x");
            }
        });
        Run(Dialog, c.mode, [&](QDialog& d) {
            for (const char* container : {"pAddIncomeBG", "pAddA2ABG", "pAddDebtBG"}) {
                EXPECT_EQ(Child<QWidget>(d, container)->isVisible(),
                          QString(container) == c.container)
                    << container;
            }
            EXPECT_EQ(d.focusWidget(), Child<QWidget>(d, c.focus));
            const bool transfer = c.mode == TTrayEntryMode::Transfer;
            for (const char* box : transfer ? std::vector{"cbA2ASources", "cbA2ADestSources"}
                                            : std::vector{"cbSources"}) {
                EXPECT_EQ(Entries(d, box), c.sources) << box;
                EXPECT_EQ(Child<QComboBox>(d, box)->currentText(), c.picked) << box;
            }
            if (!transfer) {
                EXPECT_EQ(Entries(d, "cbLocations"), c.locations);
                EXPECT_EQ(Child<QComboBox>(d, "cbLocations")->currentText(), "");
                EXPECT_EQ(Child<QLineEdit>(d, "editMoneyFlow")->text(), "");
                EXPECT_EQ(Child<QLineEdit>(d, "editSum")->text(), Local("0.00"));
            }
        });
    }
}

TEST_F(TrayPopupFormTest, SumsAreReadInTheDialogsLocale) {
    const QLocale point(QLocale::English, QLocale::UnitedStates);
    const QLocale comma(QLocale::German, QLocale::Germany);
    const struct {
        TTrayEntryMode mode;
        const char* edit;
        const QLocale& locale;
        QString text;
        long double sum; // when accepted
        bool accepted;
    } cases[] = {
        {TTrayEntryMode::Expense, "editSum", point, "12.5", 12.5L, true},
        {TTrayEntryMode::Expense, "editSum", point, "12,5", 0, false},
        {TTrayEntryMode::Income, "editSum", comma, "12,5", 12.5L, true},
        {TTrayEntryMode::Income, "editSum", comma, "12.5", 0, false},
        {TTrayEntryMode::Expense, "editSum", point, "", 0, false},
        {TTrayEntryMode::Transfer, "editA2ASum", point, "abc", 0, false},
        {TTrayEntryMode::Transfer, "editA2ASum", comma, "0,25", 0.25L, true},
        {TTrayEntryMode::Debt, "editDebtSum", point, "-1e3", -1000.0L, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        TfrmTrayPopup dialog;
        dialog.setLocale(c.locale);
        bool stayedOpen = false;
        QString zero;
        const int result = Run(dialog, c.mode, [&](QDialog& d) {
            zero = Child<QLineEdit>(d, c.edit)->text();
            TypeText(d, c.edit, c.text);
            ClickOn(d, "btnOK");
            stayedOpen = d.isVisible();
        });
        EXPECT_EQ(zero, c.locale.decimalPoint() == "," ? "0,00" : "0.00");
        EXPECT_EQ(result == QDialog::Accepted, c.accepted);
        EXPECT_EQ(stayedOpen, !c.accepted);
        EXPECT_EQ(TakeMessages(),
                  c.accepted ? QStringList()
                             : QStringList{"\"" + c.text + "\" is not a valid currency value."});
        if (c.accepted) {
            EXPECT_EQ(dialog.Sum(), c.sum);
        }
    }
}

TEST_F(TrayPopupFormTest, TypedNamesPickTheEntryTheyNameWhateverItsCase) {
    NewAccount(u"bank")->AllowExpense = true;
    NewAccount(u"Касса")->AllowExpense = true;
    const struct {
        const char* typed;
        const char16_t* account; // null: no account picked, the text names a new one
    } cases[] = {
        {"Bank", u"Bank"},   {"CASH", u"Cash"},     {"bank", u"bank"}, {"BANK", u"Bank"},
        {"кАССА", u"Касса"}, {"Cash box", nullptr}, {"", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Run(Dialog, TTrayEntryMode::Expense, [&](QDialog& d) {
            // Typed key by key, as the test library maps only Latin-1 characters to keys.
            QLineEdit* edit = Child<QComboBox>(d, "cbSources")->lineEdit();
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Backspace);
            for (const QChar ch : QString::fromUtf8(c.typed)) {
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch),
                                    Qt::NoModifier);
            }
            TypeText(d, "cbLocations", "fOOD");
            ClickOn(d, "btnOK");
        });
        ASSERT_NE(Dialog.Location(), nullptr);
        EXPECT_EQ(Dialog.Location()->Name, u"Food");
        if (c.account == nullptr) {
            EXPECT_EQ(Dialog.Source(), nullptr);
            EXPECT_EQ(Dialog.SourceText(), QVUIUtils::FromQ(QString::fromUtf8(c.typed)));
        } else {
            ASSERT_NE(Dialog.Source(), nullptr);
            EXPECT_EQ(Dialog.Source()->Name, c.account);
        }
    }
}

TEST_F(TrayPopupFormTest, TransferNeedsBothAccountsAndKeepsItsSum) {
    const int result = Run(Dialog, TTrayEntryMode::Transfer, [](QDialog& d) {
        Child<QComboBox>(d, "cbA2ADestSources")->setCurrentIndex(3);
        TypeText(d, "editA2ASum", Local("75.00"));
        ClickOn(d, "btnOK");
    });
    ASSERT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(Dialog.ToSource(), Env().GetSource(3));
    QString carried;
    Run(Dialog, TTrayEntryMode::Expense, [](QDialog&) {});
    Run(Dialog, TTrayEntryMode::Transfer,
        [&](QDialog& d) { carried = Child<QLineEdit>(d, "editA2ASum")->text(); });
    EXPECT_EQ(carried, Local("75.00"));

    while (Env().SourceCount() > 0) {
        Env().DeleteSource(0);
    }
    bool stayedOpen = false;
    Run(Dialog, TTrayEntryMode::Transfer, [&](QDialog& d) {
        ClickOn(d, "btnOK");
        stayedOpen = d.isVisible();
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(TakeMessages(), QStringList{"Please select both input and output accounts"});
}

} // namespace
