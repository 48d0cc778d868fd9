// The in-place cell editor and the grid delegate that drives it, used through a tree view as the
// user does: keys into the focused control, the drop-down list, the calendar, clicks on rows.
#include <functional>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPointer>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

#include "UiTestSupport.h"
#include "ui/QVTVComboEditor.h"

namespace {

// Stand-ins for the objects of the list entries.
int ObjA, ObjB, ObjNew;

// What the editor reported.
struct TReport {
    enum TKind { Accept, AcceptDate, Cancel } Kind;
    QString Text;
    void* Object = nullptr;
    TDateTime Date = 0;
};

} // namespace

class ComboEditorTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        Model.setColumnCount(2);
        for (const char* text : {"row 0", "row 1", "row 2"}) {
            Model.appendRow({new QStandardItem(QString::fromLatin1(text)), new QStandardItem});
        }
        View.setModel(&Model);
        View.setItemDelegate(&Delegate);
        Delegate.OnCreateEditor = [this](QWidget* parent, const QModelIndex& index) {
            TQVTVComboEditor* editor = Make ? Make(parent, index) : nullptr;
            if (editor != nullptr) {
                Listen(*editor);
            }
            Editor = editor;
            return editor;
        };
        auto* layout = new QVBoxLayout(&Window);
        layout->addWidget(&View);
        layout->addWidget(&Other);
        Window.resize(500, 300);
        Window.show();
    }

    // Combo editors over "Food" (A), "Rent" (B), "Salary" (A again).
    void MakeCombo(void* selected, bool allowEdit) {
        Make = [=](QWidget* parent, const QModelIndex&) {
            TWideStringList items;
            items.Add(u"Food", &ObjA);
            items.Add(u"Rent", &ObjB);
            items.Add(u"Salary", &ObjA);
            return new TQVTVComboEditor(parent, items, &ObjNew, selected, allowEdit);
        };
    }

    void Listen(TQVTVComboEditor& editor) {
        editor.OnAccept = [this](TQVTVComboEditor&, const QString& text, void* object) {
            Reports.push_back({TReport::Accept, text, object});
        };
        editor.OnAcceptDate = [this](TQVTVComboEditor&, TDateTime date) {
            Reports.push_back({TReport::AcceptDate, {}, nullptr, date});
        };
        editor.OnCancel = [this](TQVTVComboEditor&) { Reports.push_back({TReport::Cancel, {}}); };
    }

    void Edit(int row, int column = 0) {
        // A closed pop-up may have left no window active.
        Window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window));
        const QModelIndex index = Model.index(row, column);
        View.setCurrentIndex(index);
        View.edit(index);
        QApplication::processEvents();
    }

    static QWidget& Focused() {
        QWidget* widget = QApplication::focusWidget();
        EXPECT_NE(widget, nullptr);
        return *widget;
    }

    // The one report made, and the editor gone from the grid.
    TReport Only() {
        QApplication::processEvents();
        EXPECT_EQ(View.indexWidget(View.currentIndex()), nullptr) << "editor still open";
        EXPECT_EQ(Reports.size(), 1u);
        return Reports.empty() ? TReport{TReport::Cancel, QStringLiteral("none")} : Reports.front();
    }

    QStandardItemModel Model;
    TQVCellDelegate Delegate;
    QWidget Window;
    QTreeView View{&Window};
    QLineEdit Other{&Window};
    std::function<TQVTVComboEditor*(QWidget*, const QModelIndex&)> Make;
    QPointer<TQVTVComboEditor> Editor;
    std::vector<TReport> Reports;
};

TEST_F(ComboEditorTest, ComboReportsTheEntryTheTextNamesTypedTextOrCancel) {
    const struct {
        const char* Name;
        void* Selected;
        const char* Typed; // replaces the text; null keeps it
        Qt::Key End;
        const char* Text; // reported with Object; null for a cancel
        void* Object;
    } cases[] = {
        {"last entry of the selected object", &ObjA, nullptr, Qt::Key_Return, "Salary", &ObjA},
        {"nothing preselected", nullptr, nullptr, Qt::Key_Enter, nullptr, nullptr},
        {"name of another entry", &ObjA, "Rent", Qt::Key_Return, "Rent", &ObjB},
        {"name in other case", nullptr, "rENT", Qt::Key_Return, "Rent", &ObjB},
        {"new name", &ObjB, "Rentals", Qt::Key_Return, "Rentals", &ObjNew},
        {"blanks only", nullptr, "  ", Qt::Key_Return, "  ", &ObjNew},
        {"emptied text", &ObjB, "", Qt::Key_Return, nullptr, nullptr},
        {"escape after typing", &ObjB, "Food", Qt::Key_Escape, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Reports.clear();
        MakeCombo(c.Selected, true);
        Edit(0);
        if (c.Typed != nullptr) {
            QTest::keyClick(&Focused(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(&Focused(), Qt::Key_Backspace);
            QTest::keyClicks(&Focused(), QString::fromLatin1(c.Typed));
        }
        QTest::keyClick(&Focused(), c.End);
        const TReport report = Only();
        EXPECT_EQ(report.Kind, c.Text != nullptr ? TReport::Accept : TReport::Cancel);
        EXPECT_EQ(report.Text, QString::fromLatin1(c.Text));
        EXPECT_EQ(report.Object, c.Object);
    }
}

TEST_F(ComboEditorTest, DropDownListTakesNoTextButAChoiceFromItsList) {
    MakeCombo(nullptr, false);
    Edit(1);
    ASSERT_TRUE(Editor);
    EXPECT_EQ(Editor->Combo()->lineEdit(), nullptr);
    QTest::keyClicks(&Focused(), QStringLiteral("zz"));
    QTest::keyClick(&Focused(), Qt::Key_Return);
    EXPECT_EQ(Only().Kind, TReport::Cancel);

    // The list opening does not count as leaving the editor.
    Reports.clear();
    Edit(1);
    Editor->Combo()->showPopup();
    QAbstractItemView& list = *Editor->Combo()->view();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualRect(list.model()->index(1, 0)).center());
    ASSERT_TRUE(Editor);
    EXPECT_FALSE(Editor->Stopped());
    QTest::keyClick(&Focused(), Qt::Key_Return);
    EXPECT_EQ(Only().Object, &ObjB);
}

TEST_F(ComboEditorTest, LeavingTheEditorAcceptsAResetOfTheGridCancels) {
    MakeCombo(&ObjA, true);
    const std::function<void()> leaves[] = {
        [this] {
            QTest::mouseClick(View.viewport(), Qt::LeftButton, {},
                              View.visualRect(Model.index(2, 0)).center());
        },
        [this] { QTest::mouseClick(&Other, Qt::LeftButton); },
    };
    for (const auto& leave : leaves) {
        Reports.clear();
        Edit(0);
        QTest::keyClick(&Focused(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(&Focused(), QStringLiteral("Rent"));
        leave();
        const TReport report = Only();
        EXPECT_EQ(report.Kind, TReport::Accept);
        EXPECT_EQ(report.Object, &ObjB);
    }

    Reports.clear();
    Edit(1);
    ASSERT_TRUE(Editor);
    Model.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Editor);
    ASSERT_EQ(Reports.size(), 1u);
    EXPECT_EQ(Reports.front().Kind, TReport::Cancel);
}

TEST_F(ComboEditorTest, DatePickedInTheCalendarKeepsTheTimeOfDayEscapeCancels) {
    const TDateTime start = QVUtils::EncodeDate(2024, 3, 10) + 0.75;
    Make = [=](QWidget* parent, const QModelIndex&) {
        return TQVTVComboEditor::CreateDateEditor(parent, start);
    };
    Edit(0);
    ASSERT_TRUE(Editor);
    QDateEdit& picker = *Editor->DatePicker();
    EXPECT_EQ(picker.date(), QDate(2024, 3, 10));
    // The arrow at the right end opens the calendar.
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(picker.width() - 4, picker.height() / 2));
    QCalendarWidget& calendar = *picker.calendarWidget();
    ASSERT_TRUE(calendar.isVisible());
    EXPECT_FALSE(Editor->Stopped()) << "the calendar opening ended the edit";
    QTest::keyClick(&Focused(), Qt::Key_Right);
    QTest::keyClick(&Focused(), Qt::Key_Right);
    QTest::keyClick(&Focused(), Qt::Key_Return);
    TReport report = Only();
    EXPECT_EQ(report.Kind, TReport::AcceptDate);
    EXPECT_EQ(report.Date, QVUtils::EncodeDate(2024, 3, 12) + 0.75);

    Reports.clear();
    Edit(0);
    QTest::keyClick(&Focused(), Qt::Key_Up);
    QTest::keyClick(&Focused(), Qt::Key_Escape);
    EXPECT_EQ(Only().Kind, TReport::Cancel);
}

TEST_F(ComboEditorTest, CellsWithoutOurEditorGetTheLineEditorWritingTheModel) {
    Edit(0, 1);
    ASSERT_NE(qobject_cast<QLineEdit*>(&Focused()), nullptr);
    QTest::keyClicks(&Focused(), QStringLiteral("Hello"));
    QTest::keyClick(&Focused(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(Model.index(0, 1).data().toString(), QStringLiteral("Hello"));
    EXPECT_TRUE(Reports.empty());
}
