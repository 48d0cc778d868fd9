// Paste in every text field of the windows. With nothing copied the field keeps its text, the
// selected part too, and the program runs on: on X a display where nothing has been copied yet
// hands out clipboard data of no format at all, and these tests put such data on the clipboard
// themselves. Lines pasted into a one-line field become one line; a password is taken exactly.
#include <algorithm>

#include <QAbstractSpinBox>
#include <QClipboard>
#include <QComboBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "DialogForms.h"
#include "MainFormTestSupport.h"

namespace {

class EmptyPasteTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        QGuiApplication::clipboard()->setMimeData(new QMimeData);
    }
    void TearDown() override {
        QGuiApplication::clipboard()->clear();
        MainFormTest::TearDown();
    }

    static bool IsMemo(const QWidget& field) {
        return qobject_cast<const QPlainTextEdit*>(&field) != nullptr ||
               qobject_cast<const QTextEdit*>(&field) != nullptr;
    }
    static QString TextOf(const QWidget& field) {
        return field.property(qobject_cast<const QLineEdit*>(&field) ? "text" : "plainText")
            .toString();
    }
    static QMenu* ContextMenu(QWidget& field) {
        if (auto* line = qobject_cast<QLineEdit*>(&field)) {
            return line->createStandardContextMenu();
        }
        if (auto* plain = qobject_cast<QPlainTextEdit*>(&field)) {
            return plain->createStandardContextMenu();
        }
        return qobject_cast<QTextEdit*>(&field)->createStandardContextMenu();
    }

    // Every text field of `window`, those of its drop-down lists included.
    static QList<QWidget*> TextFields(QWidget& window) {
        QList<QWidget*> fields;
        for (QWidget* child : window.findChildren<QWidget*>()) {
            if (qobject_cast<QLineEdit*>(child) != nullptr || IsMemo(*child)) {
                fields << child;
            }
        }
        return fields;
    }

    // Ctrl+V, Shift+Insert and the context menu's Paste over the whole text selected, each with
    // the clipboard empty. Then, in a one-line field that takes typing, lines with tabs pasted
    // with Ctrl+V.
    static void PasteInto(QWidget& field) {
        SCOPED_TRACE(field.objectName().toStdString());
        const QString before = TextOf(field);
        // The keys go where the toolkit sends them: to the widget that takes the field's focus,
        // which is the drop-down box itself for the line edit of an editable one.
        QWidget* focused = &field;
        while (focused->focusProxy() != nullptr) {
            focused = focused->focusProxy();
        }
        focused->setFocus();
        QTest::keyClick(focused, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(focused, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(focused, Qt::Key_Insert, Qt::ShiftModifier);
        std::unique_ptr<QMenu> menu(ContextMenu(field));
        const QList<QAction*> items = menu->actions();
        const auto paste = std::find_if(items.begin(), items.end(), [](const QAction* item) {
            return item->text().remove(u'&').startsWith(QStringLiteral("Paste"));
        });
        // Nothing to paste: the menu's Paste is off (a read-only field has none), as the guard
        // takes for granted.
        if (paste != items.end()) {
            EXPECT_FALSE((*paste)->isEnabled());
            (*paste)->trigger();
        }
        EXPECT_EQ(TextOf(field).toStdString(), before.toStdString());

        auto* line = qobject_cast<QLineEdit*>(&field);
        if (line == nullptr || line->isReadOnly() || !line->isEnabled() ||
            qobject_cast<QAbstractSpinBox*>(line->parentWidget()) != nullptr) {
            return;
        }
        const QString lines = QStringLiteral("Rent\r\nMay\tJune\n\nPaid\n");
        QGuiApplication::clipboard()->setText(lines);
        QTest::keyClick(focused, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(focused, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(line->text(), line->echoMode() == QLineEdit::Normal
                                    ? QStringLiteral("Rent May June  Paid ")
                                    : lines);
        QGuiApplication::clipboard()->setMimeData(new QMimeData);
    }
};

TEST_F(EmptyPasteTest, EveryFieldOfEveryDialog) {
    Env().NewBudget(Home.File("home.qn"), u"Home", true);
    for (const TDialogForm& form : DialogForms()) {
        SCOPED_TRACE(form.name);
        const std::unique_ptr<QDialog> dialog = form.make();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        for (QWidget* field : TextFields(*dialog)) {
            PasteInto(*field);
        }
    }
}

TEST_F(EmptyPasteTest, EveryFieldOfTheMainWindowAndItsGrids) {
    const std::string path = MakeBudget(true);
    Env().GetDebt(Env().AddDebt())->Name = u"Car";
    SaveAndForget(path);
    OpenWindow();
    Action("actAccounts").trigger();
    Settle();
    const QList<QWidget*> fields = TextFields(*Window);
    EXPECT_TRUE(fields.contains(Child<QWidget>(*Window, "memoAccDesc")));
    for (QWidget* field : fields) {
        PasteInto(*field);
    }
    // The grids' in-place editors, column by column.
    const struct {
        const char* page;
        const char* grid;
    } grids[] = {
        {"actCashflow", "tvInfo"}, {"actDebts", "tvDebts"}, {"actPersonalisation", "tvDict"}};
    int editors = 0;
    for (const auto& g : grids) {
        Action(g.page).trigger();
        Settle();
        QTreeView& grid = Grid(g.grid);
        for (int column = 0; column < grid.model()->columnCount(); ++column) {
            SCOPED_TRACE(testing::Message() << g.grid << " column " << column);
            QWidget* editor = Edit(grid, 0, column);
            if (editor == nullptr || editor == &grid) {
                continue;
            }
            // A drop-down box or a date picker keeps its text in a line edit inside it.
            QWidget* field = editor;
            if (qobject_cast<QLineEdit*>(editor) == nullptr && !IsMemo(*editor)) {
                field = editor->findChild<QLineEdit*>();
            }
            if (field == nullptr) {
                continue;
            }
            ++editors;
            PasteInto(*field);
            QTest::keyClick(editor, Qt::Key_Escape);
            Settle();
        }
    }
    EXPECT_GE(editors, 8) << "the text editors of the grids' cells";
}

} // namespace
