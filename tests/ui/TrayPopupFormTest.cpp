// The quick-entry dialog of the tray, driven as a user would through the Prompter hooks.
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/TrayPopupForm.h"

namespace {

using Action = std::function<void(QDialog&)>;

QStringList Items(QDialog& d, const char* combo) {
    QStringList items;
    auto* box = Child<QComboBox>(d, combo);
    for (int i = 0; i < box->count(); ++i) {
        items << box->itemText(i);
    }
    return items;
}

void Type(QDialog& d, const char* edit, const QString& text) {
    auto* line = Child<QLineEdit>(d, edit);
    line->clear();
    QTest::keyClicks(line, text);
}

void TypeInto(QDialog& d, const char* combo, const QString& text) {
    QLineEdit* line = Child<QComboBox>(d, combo)->lineEdit();
    line->clear();
    QTest::keyClicks(line, text);
}

void ClickOK(QDialog& d) {
    QTest::mouseClick(Child<QPushButton>(d, "btnOK"), Qt::LeftButton);
}

// An amount written with a point, as the user of the system locale types and reads it.
QString Local(const char* amount) {
    return QString::fromLatin1(amount).replace(u'.', QLocale::system().decimalPoint());
}

const QString Invalid = QStringLiteral("\"%1\" is not a valid currency value.");

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
    static TQVSource* AddSource(const char16_t* name, bool income, bool expense, bool isDefault) {
        TQVSource* source = Env().GetSource(Env().AddSource());
        source->Name = name;
        source->AllowIncome = income;
        source->AllowExpense = expense;
        source->IsDefault = isDefault;
        return source;
    }
    static TQVSource* SourceNamed(std::u16string_view name) {
        for (int i = 0; i < Env().SourceCount(); ++i) {
            if (Env().GetSource(i)->Name == name) {
                return Env().GetSource(i);
            }
        }
        return nullptr;
    }

    int Run(TfrmTrayPopup& dialog, TTrayEntryMode mode, Action action) {
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
        QString caption; // of lblMoneyFlow; empty: not looked at
        QStringList locations;
        QStringList sources; // cbSources, or both transfer boxes
        QString picked;
    };
    const Case cases[] = {
        {TTrayEntryMode::Income,
         "pAddIncomeBG",
         "editMoneyFlow",
         "Income:",
         {"Salary"},
         {"Cash", "Wallet", "Bank"},
         "Wallet"},
        {TTrayEntryMode::Expense,
         "pAddIncomeBG",
         "editMoneyFlow",
         "Expense:",
         {"Food", "Rent"},
         {"Cash", "Bank", "Card"},
         "Bank"},
        {TTrayEntryMode::Transfer,
         "pAddA2ABG",
         "editA2ASum",
         {},
         {},
         {"Cash", "Wallet", "Bank", "Card"},
         "Wallet"},
        {TTrayEntryMode::Debt, "pAddDebtBG", "editDebtTitle", {}, {}, {}, {}},
        {TTrayEntryMode::Loan, "pAddDebtBG", "editDebtTitle", {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.container);
        // Every run starts afresh, whatever the previous one left behind.
        const Action scribble = [](QDialog& d) {
            for (const char* edit :
                 {"editMoneyFlow", "editSum", "editDebtTitle", "editDebtSum", "editDebtPerson"}) {
                Type(d, edit, "x");
            }
            TypeInto(d, "cbLocations", "typed");
            TypeInto(d, "cbSources", "typed");
        };
        Run(Dialog, c.mode, scribble);
        Run(Dialog, c.mode, [&](QDialog& d) {
            for (const char* container : {"pAddIncomeBG", "pAddA2ABG", "pAddDebtBG"}) {
                EXPECT_EQ(Child<QWidget>(d, container)->isVisible(),
                          QString(container) == c.container)
                    << container;
            }
            EXPECT_EQ(d.focusWidget(), Child<QWidget>(d, c.focus));
            if (c.mode == TTrayEntryMode::Income || c.mode == TTrayEntryMode::Expense) {
                EXPECT_EQ(Child<QLabel>(d, "lblMoneyFlow")->text(), c.caption);
                EXPECT_EQ(Items(d, "cbLocations"), c.locations);
                EXPECT_EQ(Child<QComboBox>(d, "cbLocations")->currentText(), "");
                EXPECT_EQ(Items(d, "cbSources"), c.sources);
                EXPECT_EQ(Child<QComboBox>(d, "cbSources")->currentText(), c.picked);
                EXPECT_EQ(Child<QLineEdit>(d, "editMoneyFlow")->text(), "");
                EXPECT_EQ(Child<QLineEdit>(d, "editSum")->text(), Local("0.00"));
                EXPECT_FALSE(Child<QLabel>(d, "imgIcon")->pixmap().isNull());
            } else if (c.mode == TTrayEntryMode::Transfer) {
                for (const char* box : {"cbA2ASources", "cbA2ADestSources"}) {
                    EXPECT_EQ(Items(d, box), c.sources);
                    EXPECT_EQ(Child<QComboBox>(d, box)->currentText(), c.picked);
                    EXPECT_FALSE(Child<QComboBox>(d, box)->isEditable());
                }
            } else {
                for (const char* edit : {"editDebtTitle", "editDebtPerson"}) {
                    EXPECT_EQ(Child<QLineEdit>(d, edit)->text(), "");
                }
                EXPECT_EQ(Child<QLineEdit>(d, "editDebtSum")->text(), Local("0.00"));
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
        {TTrayEntryMode::Expense, "editSum", point, "-3", -3.0L, true},
        {TTrayEntryMode::Transfer, "editA2ASum", point, "abc", 0, false},
        {TTrayEntryMode::Transfer, "editA2ASum", comma, "0,25", 0.25L, true},
        {TTrayEntryMode::Debt, "editDebtSum", point, "1e3", 1000.0L, true},
        {TTrayEntryMode::Loan, "editDebtSum", point, " 7", 0, false},
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
            Type(d, c.edit, c.text);
            ClickOK(d);
            stayedOpen = d.isVisible();
            EXPECT_EQ(Child<QLineEdit>(d, c.edit)->text(), c.text);
        });
        EXPECT_EQ(zero, c.locale.decimalPoint() == "," ? "0,00" : "0.00");
        EXPECT_EQ(result == QDialog::Accepted, c.accepted);
        EXPECT_EQ(stayedOpen, !c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(Messages.empty());
            EXPECT_EQ(dialog.Sum(), c.sum);
        } else {
            ASSERT_EQ(Messages.size(), 1u);
            EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
            EXPECT_EQ(Messages[0].text, Invalid.arg(c.text));
        }
    }
}

TEST_F(TrayPopupFormTest, TransferNeedsBothAccounts) {
    while (Env().SourceCount() > 0) {
        Env().DeleteSource(0);
    }
    const int result = Run(Dialog, TTrayEntryMode::Transfer, [](QDialog& d) {
        ClickOK(d);
        EXPECT_TRUE(d.isVisible());
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text, "Please select both input and output accounts");
    EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
}

TEST_F(TrayPopupFormTest, AccessorsReportWhatWasPickedOrTyped) {
    struct Case {
        const char* name;
        Action fill;
        TQVLocation* location;
        QString locationText;
        TQVSource* source;
        QString sourceText;
    };
    TQVLocation* rent = Env().GetExpenseLocation(2);
    const Case cases[] = {
        {"picked from the lists",
         [](QDialog& d) { Child<QComboBox>(d, "cbLocations")->setCurrentIndex(1); }, rent, "Rent",
         SourceNamed(u"Bank"), "Bank"},
        {"typed new names",
         [](QDialog& d) {
             TypeInto(d, "cbLocations", "Travel");
             TypeInto(d, "cbSources", "Savings");
             // Enter in a box confirms the dialog rather than adding the name to the list.
             QTest::keyClick(Child<QComboBox>(d, "cbSources")->lineEdit(), Qt::Key_Return);
             EXPECT_FALSE(d.isVisible());
             EXPECT_EQ(Items(d, "cbSources"), QStringList({"Cash", "Bank", "Card"}));
         },
         nullptr, "Travel", nullptr, "Savings"},
        {"typed an existing name", [](QDialog& d) { TypeInto(d, "cbSources", "Card"); }, nullptr,
         "", SourceNamed(u"Card"), "Card"},
        {"emptied", [](QDialog& d) { TypeInto(d, "cbSources", ""); }, nullptr, "", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int result = Run(Dialog, TTrayEntryMode::Expense, [&](QDialog& d) {
            Type(d, "editMoneyFlow", "Lunch");
            Type(d, "editSum", Local("4.20"));
            c.fill(d);
            if (d.isVisible()) {
                ClickOK(d);
            }
        });
        ASSERT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(Dialog.Title(), u"Lunch");
        EXPECT_EQ(Dialog.Sum(), 4.2L);
        EXPECT_EQ(Dialog.Location(), c.location);
        EXPECT_EQ(QVUIUtils::ToQ(Dialog.LocationText()), c.locationText);
        EXPECT_EQ(Dialog.Source(), c.source);
        EXPECT_EQ(QVUIUtils::ToQ(Dialog.SourceText()), c.sourceText);
    }

    Run(Dialog, TTrayEntryMode::Debt, [](QDialog& d) {
        Type(d, "editDebtTitle", "Car");
        Type(d, "editDebtSum", "500");
        Type(d, "editDebtPerson", "Anna");
        ClickOK(d);
    });
    EXPECT_EQ(Dialog.Title(), u"Car");
    EXPECT_EQ(Dialog.PeerName(), u"Anna");
    EXPECT_EQ(Dialog.Sum(), 500.0L);
}

TEST_F(TrayPopupFormTest, TransferKeepsItsSumForTheNextEntry) {
    const int result = Run(Dialog, TTrayEntryMode::Transfer, [](QDialog& d) {
        Child<QComboBox>(d, "cbA2ASources")->setCurrentIndex(0);
        Child<QComboBox>(d, "cbA2ADestSources")->setCurrentIndex(3);
        Type(d, "editA2ASum", Local("75.00"));
        ClickOK(d);
    });
    ASSERT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(Dialog.FromSource(), SourceNamed(u"Cash"));
    EXPECT_EQ(Dialog.ToSource(), SourceNamed(u"Card"));
    EXPECT_EQ(Dialog.Title(), u"");

    QString carried;
    Run(Dialog, TTrayEntryMode::Expense, [](QDialog&) {});
    Run(Dialog, TTrayEntryMode::Transfer,
        [&](QDialog& d) { carried = Child<QLineEdit>(d, "editA2ASum")->text(); });
    EXPECT_EQ(carried, Local("75.00"));
}

TEST_F(TrayPopupFormTest, StandsAtTheBottomRightOfTheScreen) {
    Dialog.SetMode(TTrayEntryMode::Expense);
    Dialog.show();
    Dialog.SetMode(TTrayEntryMode::Expense);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect frame = Dialog.frameGeometry();
    EXPECT_EQ(frame.right(), area.right() - 1);
    EXPECT_EQ(frame.bottom(), area.bottom() - 30);
    Dialog.hide();
}

} // namespace
