// The grid models and the text helpers of the main window.
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <QAbstractItemModelTester>
#include <QColor>
#include <QItemSelectionModel>

#include "UiTestSupport.h"
#include "model/QVA2A.h"
#include "model/QVMoneyText.h"
#include "ui/QVDebtsView.h"
#include "ui/QVDictView.h"
#include "ui/QVMonthView.h"
#include "ui/QVSummaryView.h"
#include "ui/QVUIUtils.h"

using namespace QVUIUtils;

namespace {

// Runs Qt's model checker over a model for its lifetime, including every change made meanwhile;
// each complaint fails the test.
class TModelChecker {
public:
    explicit TModelChecker(QAbstractItemModel& model) {
        Complaints().clear();
        FPrevious = qInstallMessageHandler(&Record);
        FTester = std::make_unique<QAbstractItemModelTester>(
            &model, QAbstractItemModelTester::FailureReportingMode::Warning);
    }
    ~TModelChecker() {
        FTester.reset();
        qInstallMessageHandler(FPrevious);
        for (const QString& complaint : Complaints())
            ADD_FAILURE() << complaint.toStdString();
    }

private:
    static std::vector<QString>& Complaints() {
        static std::vector<QString> complaints;
        return complaints;
    }
    static void Record(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg &&
            QLatin1String(context.category) == QLatin1String("qt.modeltest"))
            Complaints().push_back(text);
    }

    QtMessageHandler FPrevious = nullptr;
    std::unique_ptr<QAbstractItemModelTester> FTester;
};

// The text as the system locale writes a "." amount.
QString Money(const char* text) {
    return QString::fromLatin1(text).replace(u'.', QLocale::system().decimalPoint());
}

QString Cell(const QAbstractItemModel& model, int row, int column, const QModelIndex& parent = {}) {
    return model.data(model.index(row, column, parent)).toString();
}

QStringList Headers(const QAbstractItemModel& model) {
    QStringList headers;
    for (int c = 0; c < model.columnCount(); ++c)
        headers << model.headerData(c, Qt::Horizontal).toString();
    return headers;
}

} // namespace

class ViewsTest : public UiTest {
protected:
    static TQVSource* NewSource(std::u16string name) {
        TQVSource* source = Env().GetSource(Env().AddSource());
        source->Name = std::move(name);
        return source;
    }
    static TQVLocation* NewCategory(std::u16string name) {
        TQVLocation* location = Env().GetExpenseLocation(Env().AddExpenseLocation());
        location->Name = std::move(name);
        return location;
    }
    static TQVMonth& NewMonth(int year, int month) {
        return *Env().GetMonth(Env().FindMonth(QVUtils::EncodeDate(year, month, 1), true));
    }
    template <class T>
    static T& Add(TQVMonth& month, long double sum, int day, TQVSource* source = nullptr) {
        const int index = std::is_same_v<T, TQVIncomeItem>    ? month.AddIncome()
                          : std::is_same_v<T, TQVExpenseItem> ? month.AddExpense()
                                                              : month.AddA2A();
        auto& flow = static_cast<T&>(*month.GetFlow(index));
        flow.Sum = sum;
        flow.Date =
            QVUtils::EncodeDate(month.GetYear(), QVUtils::DecodeDate(month.Date).Month, day);
        flow.Source = source;
        return flow;
    }
};

TEST_F(ViewsTest, MoneyIsFixedWithTwoDecimalsOrScientificBeyondPrecision) {
    const QLocale c = QLocale::c();
    const QLocale german(QLocale::German);
    struct Case {
        long double value;
        int precision;
        const QLocale& locale;
        const char* expected;
    } cases[] = {
        {0.0L, 12, c, "0.00"},
        {-0.0L, 12, c, "0.00"},
        {-0.004L, 12, c, "0.00"},
        {0.005L, 12, c, "0.01"},
        {1234.5L, 12, c, "1234.50"},
        {1234.5L, 12, german, "1234,50"},
        {-3.0L, 10, german, "-3,00"},
        {123456789.126L, 10, c, "123456789.10"},
        {1234567890.123L, 10, c, "1234567890.00"},
        {9999999999.996L, 10, c, "1E10"},
        {12345678901.0L, 12, c, "12345678901.00"},
        {12345678901.0L, 10, c, "1.23456789E10"},
        {-150000000000.0L, 10, german, "-1,5E11"},
    };
    for (const Case& t : cases) {
        EXPECT_EQ(FormatMoney(t.value, t.precision, t.locale), QString::fromLatin1(t.expected))
            << static_cast<double>(t.value) << " precision " << t.precision;
    }
    // At twelve digits the grid shows what the budget file stores.
    for (const long double value : {1.005L, -2.675L, 1e-7L, 123456789012.5L, 1e15L, 7.125L})
        EXPECT_EQ(FormatMoney(value, 12, c).toStdString(), QVMoneyText::MoneyToText(value));
}

TEST_F(ViewsTest, ParseMoneyTakesOnlyTheLocalesDecimalSeparator) {
    const QLocale c = QLocale::c();
    const QLocale german(QLocale::German);
    EXPECT_EQ(ParseMoney("12,5", german), 12.5L);
    EXPECT_EQ(ParseMoney("-3", c), -3.0L);
    EXPECT_EQ(ParseMoney("+0.25", c), 0.25L);
    EXPECT_EQ(ParseMoney("1,5E11", german), 1.5e11L);
    for (const long double value : {0.0L, -1234.56L, 12345678901.0L, 1e20L})
        EXPECT_EQ(FormatMoney(ParseMoney(FormatMoney(value, 10, german), german), 10, german),
                  FormatMoney(value, 10, german));

    struct Refused {
        const char* text;
        const QLocale& locale;
    } refused[] = {{"", c},        {" 1", c},       {"1 ", c},
                   {"1,5", c},     {"1.5", german}, {"1.234,5", german},
                   {"1,234.5", c}, {"abc", c},      {"12a", c},
                   {"-", c},       {",5", german},  {"1,", german},
                   {"1e", c},      {"1e+", c},      {"1e999999", c}};
    for (const Refused& t : refused) {
        try {
            ParseMoney(QString::fromUtf8(t.text), t.locale);
            ADD_FAILURE() << "accepted '" << t.text << "'";
        } catch (const EConvertError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "'" + std::string(t.text) + "' is not a valid floating point value");
        }
    }
}

TEST_F(ViewsTest, DatesAndMonthCaptions) {
    const TDateTime april = QVUtils::EncodeDate(2007, 4, 15) + 0.25;
    EXPECT_EQ(ToQDateTime(april), QDateTime(QDate(2007, 4, 15), QTime(6, 0)));
    EXPECT_EQ(ToQDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_EQ(ToQDateTime(1.9999999999), QDateTime(QDate(1900, 1, 1), QTime(0, 0)));
    for (const TDateTime value : {april, -1.25, 0.0, 45000.5})
        EXPECT_NEAR(FromQDateTime(ToQDateTime(value)), value, 1e-8);
    EXPECT_EQ(FormatDate(april, QLocale::c()),
              QLocale::c().toString(QDate(2007, 4, 15), QLocale::ShortFormat));

    EXPECT_EQ(GetMonthName(1), "January");
    EXPECT_EQ(GetMonthName(12), "December");
    EXPECT_EQ(GetMonthName(0), "");
    EXPECT_EQ(GetMonthName(13), "");
    EXPECT_EQ(GetMonthCaption(true, april), "April 2007");
    EXPECT_EQ(GetMonthCaption(false, april), "April");
}

TEST_F(ViewsTest, MonthViewShowsEveryKindAndFiltersBySettings) {
    TQVSource* cash = NewSource(u"Cash");
    TQVSource* bank = NewSource(u"Bank");
    TQVMonth& month = NewMonth(2024, 5);
    auto& salary = Add<TQVIncomeItem>(month, 1500, 31, bank);
    salary.Name = u"Salary";
    auto& food = Add<TQVExpenseItem>(month, 12.5L, 20, cash);
    food.Name = u"Bread";
    food.Location = NewCategory(u"Food");
    Add<TQVA2AItem>(month, 100, 10, cash).Destination = bank;
    Add<TQVA2AItem>(month, 5, 5);
    Add<TQVExpenseItem>(month, 3, 1).IsAdjustment = true;
    month.Sort();

    TQVMonthView view(month);
    TModelChecker checker(view);
    EXPECT_EQ(Headers(view), QStringList({"When", "What", "Where", "How much", "Source"}));
    ASSERT_EQ(view.rowCount(), 5);
    const QStringList expected[] = {
        {FormatDate(salary.Date), "Salary", "", Money("1500.00"), "Bank"},
        {FormatDate(food.Date), "Bread", "Food", Money("12.50"), "Cash"},
        {FormatDate(month.GetFlow(2)->Date), "Transfer to Bank", "", Money("100.00"), "Cash"},
        {FormatDate(month.GetFlow(3)->Date), "A2A money transfer", "", Money("5.00"), ""},
        {FormatDate(month.GetFlow(4)->Date), "", "", Money("3.00"), ""},
    };
    for (int row = 0; row < 5; ++row) {
        QStringList cells;
        for (int column = 0; column < view.columnCount(); ++column)
            cells << Cell(view, row, column);
        EXPECT_EQ(cells, expected[row]) << "row " << row;
        EXPECT_EQ(view.Flow(row), month.GetFlow(row));
    }
    const auto background = [&](int row, int column) {
        return view.data(view.index(row, column), Qt::BackgroundRole).value<QBrush>().color();
    };
    EXPECT_EQ(background(0, 3), QColor(236, 255, 236));
    EXPECT_EQ(background(1, 0), QColor(255, 236, 236));
    EXPECT_EQ(background(2, 4), QColor(255, 236, 236));
    EXPECT_TRUE(view.data(view.index(0, 0), Qt::DecorationRole).isValid());
    EXPECT_FALSE(view.data(view.index(0, 1), Qt::DecorationRole).isValid());

    Env().Settings().ShowA2A = false;
    view.Fill();
    EXPECT_EQ(view.rowCount(), 3);
    EXPECT_EQ(view.RowOf(&food), 1);
    Env().Settings().ShowBalanceAdjustments = false;
    view.Fill();
    EXPECT_EQ(view.rowCount(), 2);
    Env().Settings().ShowA2A = true;
    view.Fill();
    EXPECT_EQ(view.rowCount(), 4);
}

TEST_F(ViewsTest, MonthViewRowOperations) {
    TQVMonth& month = NewMonth(2024, 5);
    Add<TQVIncomeItem>(month, 1, 2);
    TQVMonthView view(month);
    TModelChecker checker(view);

    TQVMoneyFlow* added = month.GetFlow(month.AddExpense());
    view.InsertFlowOnTop(added);
    EXPECT_EQ(view.rowCount(), 2);
    EXPECT_EQ(view.RowOf(added), 0);
    added->Sum = 7;
    view.RefreshRow(0);
    EXPECT_EQ(Cell(view, 0, 3), Money("7.00"));
    view.RemoveRow(0);
    EXPECT_EQ(view.RowOf(added), -1);
    EXPECT_EQ(view.Flow(1), nullptr);
    view.RemoveRow(5); // out of range: nothing
    EXPECT_EQ(view.rowCount(), 1);

    // Runs of neighbours and scattered rows (removed in one pass) leave the same survivors.
    for (int i = 0; i < 29; ++i) {
        Add<TQVExpenseItem>(month, i, 1);
    }
    for (const std::vector<int>& rows :
         {std::vector<int>{0, 1, 2, 7}, std::vector<int>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18}}) {
        TQVMonthView fresh(month);
        TModelChecker freshChecker(fresh);
        std::vector<TQVMoneyFlow*> kept;
        for (int row = 0, next = 0; row < fresh.rowCount(); ++row) {
            if (next < static_cast<int>(rows.size()) && rows[next] == row) {
                ++next;
            } else {
                kept.push_back(fresh.Flow(row));
            }
        }
        fresh.RemoveRows(rows);
        ASSERT_EQ(fresh.rowCount(), static_cast<int>(kept.size()));
        for (int row = 0; row < fresh.rowCount(); ++row) {
            EXPECT_EQ(fresh.Flow(row), kept[row]);
        }
    }
}

TEST_F(ViewsTest, DebtsViewListsTitlePeerAndAmount) {
    TQVIncomeItem* debt = Env().GetDebt(Env().AddDebt());
    debt->Name = u"Car";
    debt->PeerName = u"Bank";
    debt->Sum = 12345678901.0L;
    TQVDebtsView view({debt});
    TModelChecker checker(view);
    EXPECT_EQ(Headers(view), QStringList({"What", "Who", "How much", "Deadline"}));
    EXPECT_EQ(QStringList({Cell(view, 0, 0), Cell(view, 0, 1), Cell(view, 0, 2), Cell(view, 0, 3)}),
              QStringList({"Car", "Bank", Money("1.23456789E10"), ""}));

    TQVIncomeItem* fresh = Env().GetDebt(Env().AddDebt());
    EXPECT_EQ(view.AppendFlow(fresh), 1);
    EXPECT_EQ(Cell(view, 1, 2), Money("0.00"));
    view.RemoveRow(0);
    EXPECT_EQ(view.Flow(0), fresh);
}

TEST_F(ViewsTest, DictViewAsksItsOwnerForTextsChecksAndChanges) {
    TQVLocation* food = NewCategory(u"Food");
    TQVLocation* rent = NewCategory(u"Rent");
    TQVLocation* fun = NewCategory(u"Fun");
    fun->Enabled = false;
    TQVDictView view({food, rent, fun});
    EXPECT_EQ(view.ImageIndex(), -1);
    EXPECT_EQ(view.Kind, 0);
    // Without handlers: empty texts, ticked boxes.
    EXPECT_EQ(Cell(view, 2, 0), "");
    EXPECT_EQ(view.data(view.index(2, 2), Qt::CheckStateRole).toInt(), Qt::Checked);

    const auto location = [](TQVBase* item) { return static_cast<TQVLocation*>(item); };
    view.OnGetText = [&](TQVDictView& sender, TQVBase* item, int column, std::u16string& text) {
        EXPECT_EQ(&sender, &view);
        text = column == 0 ? location(item)->Name : column == 1 ? location(item)->Description : u"";
    };
    view.OnNewText = [&](TQVDictView&, TQVBase* item, int column, const std::u16string& text) {
        (column == 0 ? location(item)->Name : location(item)->Description) = text;
    };
    view.OnGetChecked = [&](TQVDictView&, TQVBase* item, bool& checked) {
        checked = location(item)->Enabled;
    };
    view.OnCheckClick = [&](TQVDictView&, TQVBase* item, bool checked) {
        location(item)->Enabled = checked;
    };
    TModelChecker checker(view);
    EXPECT_EQ(Headers(view), QStringList({"Name", "Description", "Enabled"}));
    EXPECT_EQ(Cell(view, 1, 0), "Rent");
    EXPECT_EQ(view.data(view.index(2, 2), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_FALSE(view.flags(view.index(0, 2)).testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(view.flags(view.index(0, 2)).testFlag(Qt::ItemIsUserCheckable));
    EXPECT_TRUE(view.flags(view.index(0, 1)).testFlag(Qt::ItemIsEditable));

    EXPECT_TRUE(view.setData(view.index(2, 2), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(fun->Enabled);
    EXPECT_TRUE(view.setData(view.index(0, 1), QString("Daily"), Qt::EditRole));
    EXPECT_EQ(food->Description, u"Daily");
    EXPECT_FALSE(view.setData(view.index(0, 2), QString("x"), Qt::EditRole));

    EXPECT_FALSE(view.data(view.index(0, 0), Qt::DecorationRole).isValid());
    view.SetImageIndex(1);
    EXPECT_TRUE(view.data(view.index(0, 0), Qt::DecorationRole).isValid());
    EXPECT_FALSE(view.data(view.index(0, 1), Qt::DecorationRole).isValid());

    QItemSelectionModel selection(&view);
    selection.select(view.index(2, 1), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection.select(view.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(view.GetSelectedItems(selection), (std::vector<TQVBase*>{food, fun}));

    // The owner refuses the first and frees the second.
    std::vector<TQVBase*> asked;
    view.OnDeleteItem = [&](TQVDictView&, TQVBase* item, bool& allow) {
        asked.push_back(item);
        allow = item == fun;
        if (allow)
            Env().RemoveExpenseLocation(fun);
    };
    view.DeleteSelected(selection);
    EXPECT_EQ(asked, (std::vector<TQVBase*>{food, fun}));
    EXPECT_EQ(view.Items(), (std::vector<TQVBase*>{food, rent}));

    EXPECT_FALSE(view.AddItem().isValid()); // no handler
    view.OnAddItem = [&](TQVDictView&, TQVBase*& item) { item = NewCategory(u"Untitled"); };
    const QModelIndex added = view.AddItem();
    EXPECT_EQ(added.row(), 2);
    EXPECT_EQ(added.column(), 0);
    EXPECT_EQ(Cell(view, 2, 0), "Untitled");
}

TEST_F(ViewsTest, SummaryShowsThirteenFiguresInSixGroups) {
    TQVSource* cash = NewSource(u"Cash");
    TQVMonth& march = NewMonth(2024, 3);
    Add<TQVIncomeItem>(march, 1200, 30, cash);
    Add<TQVExpenseItem>(march, 250, 31, cash);
    Add<TQVA2AItem>(march, 999, 31, cash).Destination = cash; // no income, no expense
    // Seen from 31 March, the previous month is February, though it has no 31st.
    TQVMonth& february = NewMonth(2024, 2);
    Add<TQVIncomeItem>(february, 100, 29, cash);
    Add<TQVExpenseItem>(february, 50, 1, cash);
    Env().GetDebt(Env().AddDebt())->Sum = 200;
    Env().GetDebt(Env().AddDebt())->Sum = 100;
    Env().GetCredit(Env().AddCredit())->Sum = 100;

    TQVSummaryView view(Env(), QVUtils::EncodeDate(2024, 3, 31) + 0.5);
    TModelChecker checker(view);
    EXPECT_EQ(Headers(view), QStringList({"Name", "Value"}));
    ASSERT_EQ(view.rowCount(), 6);
    ASSERT_EQ(view.Rows().size(), 13u);
    const std::vector<std::pair<const char*, std::vector<std::pair<const char*, const char*>>>>
        expected = {
            {"Current Month",
             {{"Income (current month)", "1200.00"}, {"Expenses (current month)", "250.00"}}},
            {"Previous Month",
             {{"Income (previous month)", "100.00"}, {"Expenses (previous month)", "50.00"}}},
            {"Current Year", {{"Income (year)", "1300.00"}, {"Expenses (year)", "300.00"}}},
            {"Funds", {{"Total balance", "1000.00"}}},
            {"Debts", {{"Total debts", "300.00"}, {"Total credits", "100.00"}}},
            {"Totals",
             {{"Income (total)", "1300.00"},
              {"Expenses (total)", "300.00"},
              {"Total balance", "1000.00"},
              {"Total balance (with debts)", "800.00"}}},
        };
    for (int g = 0; g < 6; ++g) {
        const QModelIndex group = view.index(g, 0);
        EXPECT_EQ(Cell(view, g, 0), expected[g].first);
        EXPECT_EQ(Cell(view, g, 1), "");
        EXPECT_TRUE(view.data(group, Qt::DecorationRole).isValid());
        ASSERT_EQ(view.rowCount(group), static_cast<int>(expected[g].second.size()));
        for (int r = 0; r < view.rowCount(group); ++r) {
            EXPECT_EQ(Cell(view, r, 0, group), expected[g].second[r].first);
            EXPECT_EQ(Cell(view, r, 1, group), Money(expected[g].second[r].second))
                << expected[g].second[r].first;
        }
    }
}

TEST_F(ViewsTest, SummaryInJanuaryEmptyAndHuge) {
    const auto value = [](const TQVSummaryView& view, int row) {
        return view.Rows()[static_cast<std::size_t>(row)].Value;
    };
    const TDateTime january = QVUtils::EncodeDate(2024, 1, 15);
    {
        TQVSummaryView empty(Env(), january);
        for (const TQVSummaryItem& row : empty.Rows())
            EXPECT_EQ(row.Value, Money("0.00")) << row.Caption.toStdString();
    }
    Add<TQVIncomeItem>(NewMonth(2023, 12), 70, 31);
    Add<TQVIncomeItem>(NewMonth(2024, 1), 12345678901.0L, 2);
    TQVSummaryView view(Env(), january);
    EXPECT_EQ(value(view, 0), Money("1.23456789E10"));
    EXPECT_EQ(value(view, 2), Money("70.00")); // December of the year before
    EXPECT_EQ(value(view, 4), Money("1.23456789E10"));
}
