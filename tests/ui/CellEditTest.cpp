// Cell editing across the grids of the main window as a person meets it: a refused amount while
// a menu takes the focus, typing over a row, and the grid never asked for an editor it cannot
// open.
#include <QAbstractButton>
#include <QMenuBar>
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
        // The new row's editor, if any, goes before the next case.
        if (QWidget* editor = QApplication::focusWidget(); editor != &grid) {
            QTest::keyClick(editor, Qt::Key_Escape);
        }
        Settle();
    }
}

} // namespace
