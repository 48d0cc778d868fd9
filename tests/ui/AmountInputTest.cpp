// Amounts as people type and paste them, in every place that reads one: the reading rules under a
// decimal point and under a decimal comma, then the same texts through a cash-flow cell, quick
// entry and the balance adjustment.
#include <QClipboard>
#include <QLineEdit>

#include "MainFormTestSupport.h"
#include "model/QVMoneyText.h"
#include "ui/QVMonthView.h"
#include "ui/dialogs/TrayPopupForm.h"

namespace {

// `pattern` written for a locale with "." as decimal separator and "," as group separator,
// turned into the same text for `locale`.
QString For(const QLocale& locale, const char* pattern) {
    QString text;
    for (const QChar c : QString::fromUtf8(pattern)) {
        text += c == u'.'   ? locale.decimalPoint()
                : c == u',' ? locale.groupSeparator()
                            : QString(c);
    }
    return text;
}

TEST(AmountInput, BlanksAroundAndASeparatorWithDigitsOnOneSideAreRead) {
    const QLocale point(QLocale::English, QLocale::UnitedStates);
    const QLocale comma(QLocale::German, QLocale::Germany);
    const struct {
        const char* text;
        long double value;
    } accepted[] = {
        {" 5", 5},     {"5 ", 5},      {"\t 5.25\u00a0 ", 5.25L},
        {"5.", 5},     {".5", 0.5L},   {" 5.", 5},
        {".5 ", 0.5L}, {"-.5", -0.5L}, {"+5.", 5},
        {"5.e2", 500}, {".5E1", 5},    {"007.50", 7.5L},
    };
    const char* const refused[] = {".",       " ",   "-.",  ". 5",  "5 .5", "- 5",  "1,000",
                                   "1,000.5", ".e5", "5..", "5.5.", "e5",   "5 e2", "6z2a19p"};
    for (const QLocale* locale : {&point, &comma}) {
        SCOPED_TRACE(locale->name().toStdString());
        for (const auto& c : accepted) {
            const QString text = For(*locale, c.text);
            try {
                EXPECT_EQ(QVUIUtils::ParseMoney(text, *locale), c.value) << c.text;
            } catch (const EConvertError&) {
                ADD_FAILURE() << "refused '" << text.toStdString() << "'";
            }
        }
        for (const char* pattern : refused) {
            const QString text = For(*locale, pattern);
            EXPECT_THROW(QVUIUtils::ParseMoney(text, *locale), EConvertError)
                << "'" << text.toStdString() << "'";
        }
    }
    // The other locale's decimal separator is no separator here.
    EXPECT_THROW(QVUIUtils::ParseMoney(QStringLiteral(" 5,"), point), EConvertError);
    EXPECT_THROW(QVUIUtils::ParseMoney(QStringLiteral(".5"), comma), EConvertError);
}

// Each place takes the same typed texts under the system's locale; a refused one changes nothing
// and says so.
class AmountInputWindowTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        MakeBudget();
        OpenWindow();
    }

    static QString Typed(const char* pattern) { return For(QLocale::system(), pattern); }
    static QString Refusal(const QString& text) {
        return "'" + text + "' is not a valid floating point value";
    }

    // The texts every place is tried with, and the amount each gives (refused when negative).
    struct TCase {
        const char* text;
        long double value;
    };
    static constexpr TCase Cases[] = {{" 5", 5},    {"7 ", 7},         {"8.", 8},
                                      {".5", 0.5L}, {" 1.25 ", 1.25L}, {"1,000", -1}};
};

TEST_F(AmountInputWindowTest, CashflowCell) {
    QTreeView& grid = Grid("tvInfo");
    auto* view = static_cast<TQVMonthView*>(grid.model());
    int row = 0;
    while (view->Flow(row)->Kind() != TQVFlowKind::Expense) {
        ++row;
    }
    TQVMoneyFlow& flow = *view->Flow(row);
    long double sum = flow.Sum;
    for (const auto& c : Cases) {
        SCOPED_TRACE(c.text);
        Edit(grid, row, TQVMonthView::ColSum);
        Type(Typed(c.text));
        const bool accepted = c.value >= 0;
        sum = accepted ? c.value : sum;
        EXPECT_EQ(flow.Sum, sum);
        EXPECT_EQ(TakeMessages(), accepted ? QStringList() : QStringList{Refusal(Typed(c.text))});
    }
}

TEST_F(AmountInputWindowTest, QuickEntry) {
    for (const auto& c : Cases) {
        SCOPED_TRACE(c.text);
        const int debts = Env().DebtCount();
        DialogActions.push_back(TypeAndPress("editDebtSum", Typed(c.text)));
        Window->QuickEntry(TTrayEntryMode::Debt);
        const bool accepted = c.value >= 0;
        ASSERT_EQ(Env().DebtCount(), debts + (accepted ? 1 : 0));
        if (accepted) {
            EXPECT_EQ(Env().GetDebt(debts)->Sum, c.value);
        }
        EXPECT_EQ(TakeMessages(), accepted ? QStringList()
                                           : QStringList{"\"" + Typed(c.text) +
                                                         "\" is not a valid currency value."});
    }
}

TEST_F(AmountInputWindowTest, BalanceAdjustment) {
    Action("actAccounts").trigger();
    Settle();
    TQVSource* cash = Env().GetSource(0);
    long double balance = Env().GetSourceBalance(cash);
    for (const auto& c : Cases) {
        SCOPED_TRACE(c.text);
        DialogActions.push_back(TypeAndPress("editInput", Typed(c.text)));
        ClickOn(*Window, "btnAdjustAccBalance");
        const bool accepted = c.value >= 0;
        balance = accepted ? c.value : balance;
        EXPECT_EQ(Env().GetSourceBalance(cash), balance);
        EXPECT_EQ(TakeMessages(), accepted ? QStringList() : QStringList{Refusal(Typed(c.text))});
    }
    // The proposal shows ten digits of a longer balance; taking it with a blank pasted after it
    // is still no change.
    AddFlow<TQVIncomeItem>(Today(), 123456789.12L, cash);
    Action("actAccounts").trigger();
    Settle();
    const int count = Today().Count();
    DialogActions.push_back([](QDialog& dialog) {
        auto* edit = Child<QLineEdit>(dialog, "editInput");
        edit->setText(edit->text() + ' ');
        ClickOn(dialog, "btnOK");
    });
    ClickOn(*Window, "btnAdjustAccBalance");
    EXPECT_EQ(Today().Count(), count);
    EXPECT_TRUE(TakeMessages().isEmpty());
}

TEST_F(AmountInputWindowTest, ARefusedPasteIsQuotedByItsFirstCharactersOnly) {
    // About 100 KB of lines, no amount under either separator.
    QGuiApplication::clipboard()->setText(QStringLiteral("12,50\n").repeated(17000));
    const auto paste = [](QWidget* field) {
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Return);
    };
    paste(Edit(Grid("tvInfo"), 0, TQVMonthView::ColSum));
    Settle();
    QApplication::processEvents(); // a refusal is shown on the pass after the commit
    for (const char* field : {"editDebtSum", "editInput"}) { // quick entry, balance adjustment
        DialogActions.push_back([&paste, field](QDialog& d) { paste(Child<QLineEdit>(d, field)); });
    }
    Window->QuickEntry(TTrayEntryMode::Debt);
    Action("actAccounts").trigger();
    Settle();
    ClickOn(*Window, "btnAdjustAccBalance");
    const QString quoted = QStringLiteral("12,50 ").repeated(10).left(59) + "…";
    EXPECT_EQ(TakeMessages(),
              (QStringList{Refusal(quoted), "\"" + quoted + "\" is not a valid currency value.",
                           Refusal(quoted)}));
}

} // namespace
