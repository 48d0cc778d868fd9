// Long names and texts: the main window and its dialogs stay within the screen, whatever the
// user names an account or a budget; a text cut short ends in "…" and shows whole as a tooltip.
#include <QClipboard>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolTip>

#include "MainFormTestSupport.h"
#include "model/QVStringKeeper.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/container/QVCompoundFile.h"
#include "ui/widgets/ElidedLabel.h"

namespace {

// One word of 200 Cyrillic letters: no blank to wrap at.
const QString LongName = QString::fromUtf16(u"Сберегательный").repeated(15).left(200);

QRect Screen() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

class LongTextsTest : public MainFormTest {
protected:
    // The budget of MakeBudget with its title and the account Bank named LongName; the window
    // opens it as wide as the screen, as a maximised window is.
    void SetUp() override {
        MainFormTest::SetUp();
        const std::string path = MakeBudget(true);
        Env().Title = FromQ(LongName);
        Env().GetSource(1)->Name = FromQ(LongName);
        SaveAndForget(path);
        OpenWindow();
        Window->resize(Screen().size() - (Window->frameGeometry().size() - Window->size()));
        Settle();
    }
    static std::u16string FromQ(const QString& text) { return QVUIUtils::FromQ(text); }
};

TEST_F(LongTextsTest, EveryPageKeepsTheWindowWithinTheScreen) {
    const struct {
        const char* action;
        int button; // the bar button shown; -1: the page's own choice
    } pages[] = {
        {"actCashflow", -1},        {"actAccounts", 1}, {"actDebts", -1},
        {"actPersonalisation", -1}, {"actReports", -1}, {"actCashflow", 2},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(testing::Message() << page.action << " " << page.button);
        Action(page.action).trigger();
        if (page.button >= 0) {
            ClickBarButton(page.button);
        }
        Settle();
        EXPECT_LE(Window->minimumSizeHint().width(), Screen().width());
        EXPECT_LE(Window->frameGeometry().width(), Screen().width());
        auto* scroll = Child<QScrollArea>(Bar(), "LeftBarButtons");
        if (scroll != nullptr) {
            EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
        }
    }
}

TEST_F(LongTextsTest, CardTitleAndBarButtonCutTheNameAndShowItWhole) {
    Action("actAccounts").trigger();
    ClickBarButton(1);
    auto* title = Child<TElidedLabel>(*Window, "lblAccName");
    ASSERT_NE(title, nullptr);
    title->grab(); // paints it, as the screen does
    EXPECT_TRUE(title->ShownText().endsWith(u'…'));
    EXPECT_TRUE(LongName.startsWith(title->ShownText().chopped(1)));
    EXPECT_EQ(ToolTipText(title->toolTip()), LongName);
    // The balance beside it stays whole and on screen.
    QLabel* balance = Child<QLabel>(*Window, "lblAccBalanceBig");
    EXPECT_EQ(balance->text(), Money(100 - 40));
    EXPECT_LE(balance->mapTo(Window.get(), QPoint(balance->width(), 0)).x(), Screen().width());
    EXPECT_GE(balance->width(), balance->sizeHint().width());

    QToolButton* button = Bar().ButtonWidget(1);
    EXPECT_TRUE(button->text().endsWith(u'…'));
    EXPECT_EQ(ToolTipText(button->toolTip()), LongName);
    EXPECT_LE(button->width(), Bar().width());
    // Both tooltips wrap the name within the screen.
    for (QWidget* cut : {static_cast<QWidget*>(title), static_cast<QWidget*>(button)}) {
        SCOPED_TRACE(cut->objectName().toStdString());
        const QWidget* tip = ToolTipWindowAt(*cut, QPoint(5, 5));
        ASSERT_NE(tip, nullptr);
        EXPECT_LE(tip->width(), Screen().width());
        EXPECT_EQ(ToolTipText(QToolTip::text()), LongName);
    }
    // A short name is shown whole, without a tooltip of the label's own.
    ClickBarButton(0);
    title->grab();
    EXPECT_EQ(title->ShownText(), "Cash");
    EXPECT_EQ(title->toolTip(), "");
}

TEST_F(LongTextsTest, NamesOfManyLinesShowOnOneAndKeepTheWindowAsItWas) {
    QString sixtyLines;
    for (int line = 1; line <= 60; ++line) {
        sixtyLines += QStringLiteral("Line %1\n").arg(line);
    }
    const auto oneLine = [](const QString& text) {
        return !text.contains(u'\n') && !text.contains(QChar::LineSeparator);
    };
    for (const QString& text : {sixtyLines, QStringLiteral("Line 1\nLine 2\t").repeated(7500)}) {
        SCOPED_TRACE(text.size());
        Action("actCashflow").trigger();
        Settle();
        const QRect frame = Window->frameGeometry();
        // Pasted as the name of a new account, and stored with its breaks by another program
        // as the name of Bank.
        QGuiApplication::clipboard()->setText(text);
        DialogActions = {[](QDialog& d) {
            QTest::keyClick(Child<QLineEdit>(d, "editString"), Qt::Key_V, Qt::ControlModifier);
            ClickOn(d, "btnOK");
        }};
        Action("actNewAccount").trigger();
        const QString pasted = QVUIUtils::ToQ(Env().GetSource(Env().SourceCount() - 1)->Name);
        EXPECT_TRUE(oneLine(pasted) && pasted.startsWith("Line 1 Line 2 "));
        Env().GetSource(1)->Name = FromQ(text);
        for (const int button : {1, Env().SourceCount() - 1}) {
            ClickBarButton(button);
            auto* title = Child<TElidedLabel>(*Window, "lblAccName");
            title->grab();
            EXPECT_TRUE(oneLine(title->ShownText()) && oneLine(ToolTipText(title->toolTip())));
            EXPECT_TRUE(oneLine(Bar().ButtonWidget(button)->text()));
            EXPECT_EQ(Window->frameGeometry(), frame);
        }
        // Bank as the destination of today's transfer: its row and its tooltip.
        Action("actCashflow").trigger();
        Settle();
        QTreeView& grid = Grid("tvInfo");
        int row = 0;
        while (!Cell(grid, row, 1).startsWith("Transfer to")) {
            ++row;
        }
        EXPECT_TRUE(oneLine(Cell(grid, row, 1)));
        const QWidget* tip = ToolTipWindowAt(*grid.viewport(),
                                             grid.visualRect(grid.model()->index(row, 1)).center());
        ASSERT_NE(tip, nullptr);
        EXPECT_TRUE(Screen().contains(tip->frameGeometry()));
        EXPECT_TRUE(oneLine(ToolTipText(QToolTip::text())));
        EXPECT_EQ(Window->frameGeometry(), frame);
    }
}

TEST_F(LongTextsTest, DialogsOpenWhollyOnTheScreen) {
    const auto onScreen = [](QDialog& d) {
        SCOPED_TRACE(d.windowTitle().toStdString());
        EXPECT_TRUE(Screen().contains(d.frameGeometry()))
            << d.frameGeometry().x() << "," << d.frameGeometry().y() << " "
            << d.frameGeometry().width() << "x" << d.frameGeometry().height();
        ClickOn(d, "btnCancel");
    };
    // Budget properties with the long title; the rename prompt quoting the long name.
    DialogActions = {onScreen};
    Action("actProperties").trigger();
    Action("actAccounts").trigger();
    ClickBarButton(1);
    DialogActions = {onScreen};
    ClickOn(*Window, "btnRename");
    EXPECT_EQ(DialogsRun.size(), 2u);
}

TEST_F(LongTextsTest, SettingsStayOnTheScreenWithALongLanguageTitle) {
    // A language table of the user's own, titled at length.
    const std::string folder = Home.Path() + "/lang2";
    FileSystem::ForceFolders(folder);
    TQVStringKeeper table;
    table.Id = "xx";
    table.Title = FromQ(LongName);
    TQVCompoundFile container;
    table.SaveToFolder(container.Root());
    TFileStream file(folder + "/long.lng", TFileMode::Create);
    container.SaveToStream(file);
    Env().LoadLanguagesFrom({QV_LANG_DIR "/", folder + "/"});
    ASSERT_EQ(Env().LanguageCount(), 2);
    bool listed = false;
    DialogActions = {[&](QDialog& d) {
        listed = Entries(d, "cbLanguage").contains(LongName);
        EXPECT_LE(d.frameGeometry().width(), Screen().width());
    }};
    Action("actSettings").trigger();
    EXPECT_TRUE(listed);
}

TEST_F(LongTextsTest, BarButtonsDrawTheirPagesFontColour) {
    // The pages of months, accounts, debts and categories write their captions in the window
    // colour on the bar's dark ground.
    const QColor windowColour = Window->palette().color(QPalette::Base);
    for (const char* action : {"actCashflow", "actAccounts", "actDebts", "actPersonalisation"}) {
        SCOPED_TRACE(action);
        Action(action).trigger();
        Settle();
        QToolButton* button =
            Bar().ButtonWidget(Bar().Page(Bar().ActivePageIndex()).ButtonCount() - 1);
        ASSERT_NE(button, nullptr);
        const QImage picture = button->grab().toImage();
        // The caption's line, under the icon.
        int captionPixels = 0;
        for (int y = picture.height() - button->fontMetrics().height() - 4; y < picture.height();
             ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                captionPixels += picture.pixelColor(x, y) == windowColour;
            }
        }
        EXPECT_GT(captionPixels, 5);
    }
}

} // namespace
