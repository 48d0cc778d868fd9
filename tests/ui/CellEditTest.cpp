// Cell editing across the grids of the main window as a person meets it: a refused amount while
// a menu takes the focus, typing over a row, and the grid never asked for an editor it cannot
// open.
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include "MainFormTestSupport.h"
#include "ui/QVFlowRows.h"
#include "ui/QVTVComboEditor.h"

namespace {

class CellEditTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        const std::string path = MakeBudget(true);
        TQVIncomeItem& debt = *Env().GetDebt(Env().AddDebt());
        debt.Name = u"Car";
        debt.Sum = 100;
        TQVExpenseItem& loan = *Env().GetCredit(Env().AddCredit());
        loan.Name = u"Bike";
        loan.Sum = 30;
        SaveAndForget(path);
        OpenWindow();
    }

    // Messages are answered as a person does: a real box runs its own event loop and OK is
    // clicked inside it. Each message notes whether it came while a key or click was still being
    // handled.
    void AnswerMessagesWithRealBoxes() {
        Prompter::Hooks hooks;
        hooks.message = [this](const Prompter::Message& message) {
            Messages.push_back(message);
            ShownInside += Inside ? 1 : 0;
            QMessageBox box(QMessageBox::Critical, message.title, message.text, message.buttons,
                            Window.get());
            QTimer::singleShot(0, &box, [&box] {
                QTest::mouseClick(box.button(QMessageBox::Ok), Qt::LeftButton);
            });
            return static_cast<QMessageBox::StandardButton>(box.exec());
        };
        Prompter::SetHooks(hooks);
    }
    // Runs one user action (a key, a click), marking the time inside its handling.
    template <class F> void Act(F action) {
        Inside = true;
        action();
        Inside = false;
    }

    TQVMoneyFlow& FlowAt(QTreeView& grid, int row) {
        return *static_cast<TQVFlowRows*>(grid.model())->Flow(row);
    }
    // Cancels the editor open in `grid`, if any, and gives the grid the keys again.
    void CloseEditor(QTreeView& grid) {
        if (QWidget* editor = QApplication::focusWidget(); editor != nullptr && editor != &grid) {
            QTest::keyClick(editor, Qt::Key_Escape);
        }
        Settle();
        grid.setFocus();
    }

    bool Inside = false;
    int ShownInside = 0;
};

TEST_F(CellEditTest, RefusedAmountIsReportedAfterAMenuHasTakenTheFocus) {
    AnswerMessagesWithRealBoxes();
    // What takes the focus from an amount editor holding text that is no number.
    enum class Taker { MenuBarShortcut, ContextMenuNewRow };
    const struct {
        const char* name;
        int page; // 0 cash flow, 2 debts
        int column;
        Taker taker;
    } cases[] = {
        {"cash flow, Alt+V", 0, 3, Taker::MenuBarShortcut},
        {"debts, Alt+V", 2, 2, Taker::MenuBarShortcut},
        {"cash flow, context menu's new expense", 0, 3, Taker::ContextMenuNewRow},
        {"debts, context menu's new debt", 2, 2, Taker::ContextMenuNewRow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShowBarPage(c.page, 0);
        QTreeView& grid = Grid(c.page == 0 ? "tvInfo" : "tvDebts");
        TQVMoneyFlow& flow = FlowAt(grid, 0);
        const long double sum = flow.Sum;
        const int rows = grid.model()->rowCount();
        Edit(grid, 0, c.column);
        QTest::keyClicks(QApplication::focusWidget(), "6z2a19p");
        if (c.taker == Taker::MenuBarShortcut) {
            Act([] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::AltModifier); });
            QApplication::processEvents();
            if (QWidget* menu = QApplication::activePopupWidget()) {
                QTest::keyClick(menu, Qt::Key_Escape);
            }
        } else {
            QMenu& menu = OpenMenu(grid, "mnuTreeView");
            QMenu* target = &menu;
            QString caption = "Ne&w Debt";
            if (c.page == 0) {
                QAction* add = Item(menu, "&New");
                ASSERT_NE(add, nullptr);
                menu.setActiveAction(add);
                target = add->menu();
                target->popup(menu.mapToGlobal(menu.actionGeometry(add).topRight()));
                caption = "&Expense";
            }
            QAction* item = Item(*target, caption);
            ASSERT_NE(item, nullptr);
            Act([&] {
                QTest::mouseClick(target, Qt::LeftButton, {},
                                  target->actionGeometry(item).center());
            });
            EXPECT_EQ(grid.model()->rowCount(), rows + 1);
        }
        Settle();
        EXPECT_EQ(flow.Sum, sum);
        EXPECT_EQ(TakeMessages().join('|').toStdString(),
                  "'6z2a19p' is not a valid floating point value");
        EXPECT_EQ(ShownInside, 0) << "the message came inside the menu's handling";
        ShownInside = 0;
        CloseEditor(grid); // the new row's, before the next case
    }
}

TEST_F(CellEditTest, TypedCharactersGoIntoTheEditorTheFirstOneOpens) {
    // Pages: 0 cash flow (its rows: income, expense, transfer), 2 debts, 3 categories.
    const struct {
        const char* name;
        int page;
        TQVFlowKind kind; // cash flow: the row of this kind
        int column;
        const char* typed;
        const char* shown; // the cell afterwards; null: as it was
    } cases[] = {
        {"amount", 0, TQVFlowKind::Expense, 3, "77", nullptr},
        {"title", 0, TQVFlowKind::Expense, 1, "Tea", "Tea"},
        {"category, a new one", 0, TQVFlowKind::Expense, 2, "Zq", "Zq"},
        {"category, completed", 0, TQVFlowKind::Expense, 2, "f", "Food"},
        {"transfer's destination list", 0, TQVFlowKind::A2A, 1, "7", nullptr},
        {"date", 0, TQVFlowKind::Income, 0, "7", nullptr},
        {"debt's amount", 2, TQVFlowKind::Income, 2, "77", nullptr},
        {"debt's peer", 2, TQVFlowKind::Income, 1, "Ann", "Ann"},
        {"category's description", 3, TQVFlowKind::Income, 1, "Zq", "Zq"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShowBarPage(c.page, 0);
        QTreeView& grid = Grid(c.page == 0 ? "tvInfo" : c.page == 2 ? "tvDebts" : "tvDict");
        int row = 0;
        TQVMoneyFlow* flow = nullptr;
        if (c.page == 0) {
            while (FlowAt(grid, row).Kind() != c.kind) {
                ++row;
            }
            flow = &FlowAt(grid, row);
        }
        const QString before = Cell(grid, row, c.column);
        Select(grid, {row});
        grid.selectionModel()->setCurrentIndex(grid.model()->index(row, c.column),
                                               QItemSelectionModel::NoUpdate);
        grid.setFocus();
        const QString typed = QString::fromUtf8(c.typed);
        QTest::keyClick(&grid, typed.at(0).toLatin1());
        ASSERT_NE(QApplication::focusWidget(), &grid) << "no editor opened";
        QTest::keyClicks(QApplication::focusWidget(), typed.mid(1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        Settle();
        // A date edit shows the month again, which may order rows of one moment differently.
        if (flow != nullptr) {
            row = static_cast<TQVFlowRows*>(grid.model())->RowOf(flow);
        }
        const QString expected = c.column == (c.page == 0 ? 3 : 2) ? Money(77)
                                 : c.shown != nullptr              ? QString(c.shown)
                                                                   : before;
        EXPECT_EQ(Cell(grid, row, c.column).toStdString(), expected.toStdString());
        EXPECT_TRUE(TakeMessages().isEmpty());
    }
}

TEST_F(CellEditTest, EditorsAreAskedForOnlyWhereTheyCanOpen) {
    static QStringList warnings;
    warnings.clear();
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (text.contains(QStringLiteral("editing failed"))) {
                warnings << text;
            }
            previous(type, context, text);
        });
    const struct {
        int page;
        int button;
        const char* grid;
        const char* menu;
    } pages[] = {
        {0, 0, "tvInfo", "mnuTreeView"},
        {2, 0, "tvDebts", "mnuTreeView"},
        {2, 1, "tvDebts", "mnuTreeView"},
        {3, 0, "tvDict", "mnuDict"},
    };
    for (const auto& p : pages) {
        SCOPED_TRACE(p.grid);
        ShowBarPage(p.page, p.button);
        QTreeView& grid = Grid(p.grid);
        ASSERT_GT(grid.model()->rowCount(), 0);
        // Every column, the hidden and the check-box ones too, by every way a user asks.
        for (int column = 0; column < grid.model()->columnCount(); ++column) {
            SCOPED_TRACE(column);
            const QModelIndex cell = grid.model()->index(0, column);
            const QPoint where = grid.visualRect(cell).center();
            Select(grid, {0});
            grid.selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
            grid.setFocus();
            QTest::keyClick(&grid, Qt::Key_7);
            CloseEditor(grid);
            QTest::keyClick(&grid, Qt::Key_F2);
            CloseEditor(grid);
            QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, where);
            CloseEditor(grid);
            Choose(OpenMenu(grid, p.menu), "&Edit");
            // The context menu's Edit while that editor is still open.
            Choose(OpenMenu(grid, p.menu), "&Edit");
            CloseEditor(grid);
        }
        // A click on the selected row starts a delayed edit; a key typed before it runs opens
        // the editor at once, and the delayed edit finds it open.
        const QModelIndex first = grid.model()->index(0, 0);
        Select(grid, {0});
        grid.setCurrentIndex(first);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(first).center());
        QTest::keyClick(&grid, Qt::Key_7);
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        CloseEditor(grid);
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings.join('\n').toStdString(), "");
}

} // namespace
