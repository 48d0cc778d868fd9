// The quick-entry dialog of the tray, driven as a user would through the Prompter hooks.
#include <QLineEdit>

#include "UiTestSupport.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/TrayPopupForm.h"

namespace {

// An amount written with a point, as the user of the system locale types and reads it.
QString Local(const char* amount) {
    return QString::fromLatin1(amount).replace(u'.', QLocale::system().decimalPoint());
}

class TrayPopupFormTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        AddLocation(Env().AddExpenseLocation(), u"Food", true, false);
        AddLocation(Env().AddExpenseLocation(), u"Old", false, false);
        AddLocation(Env().AddExpenseLocation(), u"Rent", true, false);
        AddLocation(Env().AddIncomeLocation(), u"Salary", true, true);
        AddLocation(Env().AddIncomeLocation(), u"Gift", false, true);
        // Wallet is the first default account but takes no expenses, so an expense entry
        // starts on Bank.
        AddSource(u"Cash", true, true, false);
        AddSource(u"Wallet", true, false, true);
        AddSource(u"Bank", true, true, true);
        AddSource(u"Card", false, true, false);
    }

    static void AddLocation(int index, const char16_t* name, bool enabled, bool income) {
        TQVLocation* location =
            income ? Env().GetIncomeLocation(index) : Env().GetExpenseLocation(index);
        location->Name = name;
        location->Enabled = enabled;
    }
    static void AddSource(const char16_t* name, bool income, bool expense, bool isDefault) {
        TQVSource* source = Env().GetSource(Env().AddSource());
        source->Name = name;
        source->AllowIncome = income;
        source->AllowExpense = expense;
        source->IsDefault = isDefault;
    }

    int Run(TfrmTrayPopup& dialog, TTrayEntryMode mode, DialogAction action) {
        dialog.SetMode(mode);
        DialogActions.push_back(std::move(action));
        return Prompter::Exec(dialog);
    }

    TfrmTrayPopup Dialog;
};

TEST_F(TrayPopupFormTest, EachModeShowsItsContainerFilledFromTheModel) {
    struct Case {
        TTrayEntryMode mode;
        const char* container;
        const char* focus;
        QStringList locations;
        QStringList sources; // cbSources, or both transfer boxes
        QString picked;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
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
            if (c.mode == TTrayEntryMode::Transfer) {
                for (const char* box : {"cbA2ASources", "cbA2ADestSources"}) {
                    EXPECT_EQ(Entries(d, box), c.sources);
                    EXPECT_EQ(Child<QComboBox>(d, box)->currentText(), c.picked);
                }
            } else {
                EXPECT_EQ(Entries(d, "cbLocations"), c.locations);
                EXPECT_EQ(Child<QComboBox>(d, "cbLocations")->currentText(), "");
                EXPECT_EQ(Entries(d, "cbSources"), c.sources);
                EXPECT_EQ(Child<QComboBox>(d, "cbSources")->currentText(), c.picked);
                EXPECT_EQ(Child<QLineEdit>(d, "editMoneyFlow")->text(), "");
                EXPECT_EQ(Child<QLineEdit>(d, "editSum")->text(), Local("0.00"));
            }
        });
    }
}

TEST_F(TrayPopupFormTest, SumsAreReadInTheDialogsLocale) {
    const QLocale point(QLocale::English, QLocale::UnitedStates);
    const QLocale comma(QLocale::German, QLocale::Germany);
    struct Case {
        TTrayEntryMode mode;
        const char* edit;
        const QLocale& locale;
        QString text;
        long double sum; // when accepted
        bool accepted;
    };
    const Case cases[] = {
        {TTrayEntryMode::Expense, "editSum", point, "12.5", 12.5L, true},
        {TTrayEntryMode::Expense, "editSum", point, "12,5", 0, false},
        {TTrayEntryMode::Income, "editSum", comma, "12,5", 12.5L, true},
        {TTrayEntryMode::Income, "editSum", comma, "12.5", 0, false},
        {TTrayEntryMode::Expense, "editSum", point, "", 0, false},
        {TTrayEntryMode::Transfer, "editA2ASum", point, "abc", 0, false},
        {TTrayEntryMode::Transfer, "editA2ASum", comma, "0,25", 0.25L, true},
        {TTrayEntryMode::Debt, "editDebtSum", point, "-1e3", -1000.0L, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        Messages.clear();
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
        if (c.accepted) {
            EXPECT_TRUE(Messages.empty());
            EXPECT_EQ(dialog.Sum(), c.sum);
        } else {
            ASSERT_EQ(Messages.size(), 1u);
            EXPECT_EQ(Messages[0].text, "\"" + c.text + "\" is not a valid currency value.");
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
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text, "Please select both input and output accounts");
}

} // namespace
