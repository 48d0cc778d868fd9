#include <QImage>

#include <gtest/gtest.h>

#include "ui/QVImages.h"

namespace {

struct TListCase {
    const char* Name;
    const TImageList& (*List)();
    int Count;
    int Size;
};

const TListCase Lists[] = {
    {"TreeView", QVImages::TreeView, 3, 16},
    {"Cashflow", QVImages::Cashflow, 5, 16},
    {"Debts", QVImages::Debts, 3, 16},
    {"Dict", QVImages::Dict, 4, 16},
    {"SummaryIcons", QVImages::SummaryIcons, 1, 16},
    {"Menu", QVImages::Menu, 20, 16},
    {"Toolbar", QVImages::Toolbar, 7, 24},
    {"Tray", QVImages::Tray, 1, 16},
    {"TrayMenu", QVImages::TrayMenu, 5, 16},
    {"SourceIcons", QVImages::SourceIcons, 11, 44},
    {"MonthIcons", QVImages::MonthIcons, 13, 44},
    {"LeftBarButtons", QVImages::LeftBarButtons, 7, 44},
    {"PredefinedLeftBarIcons", QVImages::PredefinedLeftBarIcons, 2, 44},
    {"DebtsLoans", QVImages::DebtsLoans, 2, 44},
    {"PersonalisationImg", QVImages::PersonalisationImg, 2, 44},
    {"OtherHeaderIcons", QVImages::OtherHeaderIcons, 1, 44},
};

} // namespace

// Every list holds its documented number of real pictures, sharp at both pixel ratios, and no
// two pictures of one list look the same.
TEST(ImagesTest, EveryListHoldsDistinctPicturesOfItsSize) {
    for (const TListCase& c : Lists) {
        SCOPED_TRACE(c.Name);
        const TImageList& list = c.List();
        ASSERT_EQ(list.Count(), c.Count);
        EXPECT_EQ(list.Size(), c.Size);
        std::vector<QImage> seen;
        for (int i = 0; i < list.Count(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_FALSE(list.Icon(i).isNull());
            for (qreal dpr : {1.0, 2.0}) {
                const QPixmap pixmap = list.Pixmap(i, dpr);
                ASSERT_FALSE(pixmap.isNull());
                EXPECT_EQ(pixmap.size(), QSize(c.Size, c.Size) * dpr);
            }
            const QImage image = list.Pixmap(i).toImage().convertToFormat(QImage::Format_ARGB32);
            for (size_t j = 0; j < seen.size(); ++j)
                EXPECT_NE(image, seen[j]) << "same picture as " << j;
            seen.push_back(image);
        }
        EXPECT_TRUE(list.Icon(c.Count).isNull());
        EXPECT_TRUE(list.Pixmap(-1).isNull());
    }
    EXPECT_FALSE(QVImages::AppIcon().pixmap(QSize(48, 48)).isNull());
}

TEST(ImagesTest, AddAllAppendsInOrder) {
    TImageList list(44);
    list.Add(QVImages::PredefinedLeftBarIcons().Icon(0));
    list.AddAll(QVImages::SourceIcons());
    list.AddAll(list);
    ASSERT_EQ(list.Count(), 24);
    EXPECT_EQ(list.Pixmap(1).toImage(), QVImages::SourceIcons().Pixmap(0).toImage());
    EXPECT_EQ(list.Pixmap(12).toImage(), list.Pixmap(0).toImage());
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}
