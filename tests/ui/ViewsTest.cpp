// The grid models and the text helpers of the main window.
#include <string>

#include "UiTestSupport.h"
#include "model/QVA2A.h"
#include "model/QVMoneyText.h"
#include "ui/QVImages.h"
#include "ui/QVMonthView.h"
#include "ui/QVSummaryView.h"
#include "ui/QVUIUtils.h"

using namespace QVUIUtils;

namespace {

QString Cell(const QAbstractItemModel& model, int row, int column, const QModelIndex& parent = {}) {
    return model.data(model.index(row, column, parent)).toString();
}

} // namespace

class ViewsTest : public UiTest {
protected:
    static TQVLocation* NewCategory(std::u16string name) {
        TQVLocation* location = Env().GetExpenseLocation(Env().AddExpenseLocation());
        location->Name = std::move(name);
        return location;
    }
    static TQVMonth& NewMonth(int year, int month) {
        return *Env().GetMonth(Env().FindMonth(QVUtils::EncodeDate(year, month, 1), true));
    }
    // A flow of kind T on day `day` of `month`.
    template <class T>
    static T& Add(TQVMonth& month, long double sum, int day, TQVSource* source = nullptr) {
        return AddFlow<T>(
            month, sum, source,
            QVUtils::EncodeDate(month.GetYear(), QVUtils::DecodeDate(month.Date).Month, day));
    }
};

TEST_F(ViewsTest, MoneyIsShownAndReadInTheLocalesForm) {
    const QLocale c = QLocale::c();
    const QLocale german(QLocale::German);
    const struct {
        long double value;
        int precision;
        const QLocale& locale;
        const char* expected;
    } shown[] = {
        {-0.004L, 12, c, "0.00"},
        {1234.5L, 12, german, "1234,50"},
        {123456789.126L, 10, c, "123456789.10"},
        {12345678901.0L, 10, c, "1.23456789E10"},
        {-150000000000.0L, 10, german, "-1,5E11"},
    };
    for (const auto& t : shown) {
        EXPECT_EQ(FormatMoney(t.value, t.precision, t.locale), QString::fromLatin1(t.expected))
            << static_cast<double>(t.value) << " precision " << t.precision;
    }
    // At twelve digits the grid shows what the budget file stores.
    for (const long double value : {1.005L, -2.675L, 123456789012.5L})
        EXPECT_EQ(FormatMoney(value, 12, c).toStdString(), QVMoneyText::MoneyToText(value));

    EXPECT_EQ(ParseMoney("12,5", german), 12.5L);
    EXPECT_EQ(ParseMoney("+0.25", c), 0.25L);
    EXPECT_EQ(ParseMoney("-1,5E11", german), -1.5e11L);
    const struct {
        const char* text;
        const QLocale& locale;
    } refused[] = {{"", c},    {"1 2", c}, {"1,5", c},    {"1.5", german}, {"1.234,5", german},
                   {"12a", c}, {"-", c},   {",", german}, {"1e+", c},      {"1e999999", c}};
    for (const auto& t : refused) {
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
    for (const TDateTime value : {april, -1.25, 45000.5})
        EXPECT_NEAR(FromQDateTime(ToQDateTime(value)), value, 1e-8);
    EXPECT_EQ(GetMonthCaption(true, april), "April 2007");
    EXPECT_EQ(GetMonthCaption(false, april), "April");
    EXPECT_EQ(GetMonthName(13), "");
}

TEST_F(ViewsTest, MonthViewShowsEveryKindAndFiltersBySettings) {
    TQVSource* cash = NewAccount(u"Cash");
    TQVSource* bank = NewAccount(u"Bank");
    TQVMonth& month = NewMonth(2024, 5);
    auto& food = Add<TQVExpenseItem>(month, 12.5L, 20, cash);
    food.Name = u"Bread";
    food.Location = NewCategory(u"Food");
    Add<TQVA2AItem>(month, 100, 10, cash).Destination = bank;
    Add<TQVA2AItem>(month, 5, 5);
    Add<TQVExpenseItem>(month, 3, 1).IsAdjustment = true;
    month.Sort();

    TQVMonthView view(month);
    TModelChecker checker(view);
    const auto row = [&](int r) {
        QStringList cells;
        for (int column = 1; column < view.columnCount(); ++column)
            cells << Cell(view, r, column);
        return cells.join('|');
    };
    ASSERT_EQ(view.rowCount(), 4);
    EXPECT_EQ(row(0), "Bread|Food|" + Local("12.50") + "|Cash");
    // A transfer shows where it goes, or that it goes nowhere yet.
    EXPECT_EQ(row(1), "Transfer to Bank||" + Local("100.00") + "|Cash");
    EXPECT_EQ(row(2), "A2A money transfer||" + Local("5.00") + "|");

    const struct {
        bool transfers, adjustments;
        int rows;
    } filters[] = {{false, true, 2}, {false, false, 1}, {true, false, 3}};
    for (const auto& f : filters) {
        Env().Settings().ShowA2A = f.transfers;
        Env().Settings().ShowBalanceAdjustments = f.adjustments;
        view.Fill();
        EXPECT_EQ(view.rowCount(), f.rows) << f.transfers << f.adjustments;
        EXPECT_EQ(view.RowOf(&food), 0);
    }
}

TEST_F(ViewsTest, SummaryShowsThirteenFiguresInSixGroups) {
    TQVSource* cash = NewAccount(u"Cash");
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
    // The groups: current month, previous month, current year, funds, debts, totals.
    const char* const expected[] = {"1200.00 250.00", "100.00 50.00",
                                    "1300.00 300.00", "1000.00",
                                    "300.00 100.00",  "1300.00 300.00 1000.00 800.00"};
    ASSERT_EQ(view.rowCount(), 6);
    for (int g = 0; g < 6; ++g) {
        const QModelIndex group = view.index(g, 0);
        QStringList values;
        for (int r = 0; r < view.rowCount(group); ++r)
            values << Cell(view, r, 1, group);
        EXPECT_EQ(values.join(' '), Local(expected[g])) << g;
    }

    // In January the previous month is December of the year before.
    Add<TQVIncomeItem>(NewMonth(2023, 12), 70, 31, cash);
    TQVSummaryView january(Env(), QVUtils::EncodeDate(2024, 1, 15));
    EXPECT_EQ(january.Rows()[2].Value, Local("70.00"));
}

// Pictures are read when first asked for: every one of every list is there at the list's size,
// and a list that took another's pictures shows the same ones.
TEST_F(ViewsTest, EveryPictureOfEveryListIsThere) {
    const TImageList* lists[] = {&QVImages::TreeView(),
                                 &QVImages::Cashflow(),
                                 &QVImages::Debts(),
                                 &QVImages::Dict(),
                                 &QVImages::SummaryIcons(),
                                 &QVImages::Menu(),
                                 &QVImages::Toolbar(),
                                 &QVImages::Tray(),
                                 &QVImages::TrayMenu(),
                                 &QVImages::SourceIcons(),
                                 &QVImages::MonthIcons(),
                                 &QVImages::LeftBarButtons(),
                                 &QVImages::PredefinedLeftBarIcons(),
                                 &QVImages::DebtsLoans(),
                                 &QVImages::PersonalisationImg(),
                                 &QVImages::OtherHeaderIcons()};
    for (const TImageList* list : lists) {
        TImageList copy(list->Size());
        copy.Add(QIcon());
        copy.AddAll(*list);
        ASSERT_EQ(copy.Count(), list->Count() + 1);
        for (int i = 0; i < list->Count(); ++i) {
            const QPixmap picture = list->Pixmap(i);
            ASSERT_FALSE(picture.isNull()) << list->Size() << " " << i;
            EXPECT_EQ(picture.size(), QSize(list->Size(), list->Size()));
            EXPECT_EQ(copy.Pixmap(i + 1).toImage(), picture.toImage());
        }
        EXPECT_TRUE(list->Pixmap(list->Count()).isNull());
    }
    EXPECT_FALSE(QVImages::AppIcon().isNull());
}
