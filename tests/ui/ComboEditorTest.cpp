// The in-place cell editor and the grid delegate that drives it, used through a tree view as the
// user does: keys into the focused control, the calendar, clicks on rows.
#include <functional>

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

class ComboEditorTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        for (const char* text : {"row 0", "row 1", "row 2"}) {
            Model.appendRow(new QStandardItem(QString::fromLatin1(text)));
        }
        View.setModel(&Model);
        View.setItemDelegate(&Delegate);
        Delegate.OnCreateEditor = [this](QWidget* parent, const QModelIndex&) {
            Editor = Make(parent);
            Editor->OnAccept = [this](TQVTVComboEditor&, const QString& text, void* object) {
                Reports << "accept " + text;
                Object = object;
            };
            Editor->OnAcceptDate = [this](TQVTVComboEditor&, TDateTime date) {
                Reports << "date";
                Date = date;
            };
            Editor->OnCancel = [this](TQVTVComboEditor&) { Reports << "cancel"; };
            return Editor.data();
        };
        auto* layout = new QVBoxLayout(&Window);
        layout->addWidget(&View);
        layout->addWidget(&Other);
        Window.resize(500, 300);
        Window.show();
    }

    // Combo editors over "Food" (A), "Rent" (B), "Salary" (A again).
    void MakeCombo(void* selected) {
        Make = [=](QWidget* parent) {
            TWideStringList items;
            items.Add(u"Food", &ObjA);
            items.Add(u"Rent", &ObjB);
            items.Add(u"Salary", &ObjA);
            return new TQVTVComboEditor(parent, items, &ObjNew, selected, true);
        };
    }
    void Edit(int row) {
        Reports.clear();
        Object = nullptr;
        // A closed pop-up may have left no window active.
        Window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window));
        View.setCurrentIndex(Model.index(row, 0));
        View.edit(Model.index(row, 0));
        QApplication::processEvents();
    }
    static void Type(const char* text) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QTest::keyClicks(QApplication::focusWidget(), QString::fromLatin1(text));
    }
    // What the editor reported, once the editor has gone from the grid.
    QStringList Reported() {
        QApplication::processEvents();
        EXPECT_EQ(View.indexWidget(View.currentIndex()), nullptr) << "editor still open";
        return Reports;
    }

    QStandardItemModel Model;
    TQVCellDelegate Delegate;
    QWidget Window;
    QTreeView View{&Window};
    QLineEdit Other{&Window};
    std::function<TQVTVComboEditor*(QWidget*)> Make;
    QPointer<TQVTVComboEditor> Editor;
    QStringList Reports;
    void* Object = nullptr;
    TDateTime Date = 0;
};

TEST_F(ComboEditorTest, ComboReportsTheEntryTheTextNamesTypedTextOrCancel) {
    const struct {
        const char* name;
        void* selected;
        const char* typed; // replaces the text; null keeps it
        Qt::Key end;
        const char* report;
        void* object;
    } cases[] = {
        {"last entry of the selected object", &ObjA, nullptr, Qt::Key_Return, "accept Salary",
         &ObjA},
        {"nothing preselected", nullptr, nullptr, Qt::Key_Enter, "cancel", nullptr},
        {"name of another entry", &ObjA, "Rent", Qt::Key_Return, "accept Rent", &ObjB},
        {"name in other case", nullptr, "rENT", Qt::Key_Return, "accept Rent", &ObjB},
        {"new name", &ObjB, "Rentals", Qt::Key_Return, "accept Rentals", &ObjNew},
        {"blanks only", nullptr, "  ", Qt::Key_Return, "accept   ", &ObjNew},
        {"emptied text", &ObjB, "", Qt::Key_Return, "cancel", nullptr},
        {"escape after typing", &ObjB, "Food", Qt::Key_Escape, "cancel", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MakeCombo(c.selected);
        Edit(0);
        if (c.typed != nullptr) {
            Type(c.typed);
        }
        QTest::keyClick(QApplication::focusWidget(), c.end);
        EXPECT_EQ(Reported(), QStringList{c.report});
        EXPECT_EQ(Object, c.object);
    }
}

TEST_F(ComboEditorTest, LeavingTheEditorAcceptsAResetOfTheGridCancels) {
    MakeCombo(&ObjA);
    const std::function<void()> leaves[] = {
        [this] {
            QTest::mouseClick(View.viewport(), Qt::LeftButton, {},
                              View.visualRect(Model.index(2, 0)).center());
        },
        [this] { QTest::mouseClick(&Other, Qt::LeftButton); },
    };
    for (const auto& leave : leaves) {
        Edit(0);
        Type("Rent");
        leave();
        EXPECT_EQ(Reported(), QStringList{"accept Rent"});
        EXPECT_EQ(Object, &ObjB);
    }
    Edit(1);
    ASSERT_TRUE(Editor);
    Model.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Editor);
    EXPECT_EQ(Reports, QStringList{"cancel"});
}

TEST_F(ComboEditorTest, DatePickedInTheCalendarKeepsTheTimeOfDay) {
    const TDateTime start = QVUtils::EncodeDate(2024, 3, 10) + 0.75;
    Make = [=](QWidget* parent) { return TQVTVComboEditor::CreateDateEditor(parent, start); };
    // The arrow at the right end, F4 and Alt+Down open the calendar; none of them moves the day.
    for (const Qt::Key key : {Qt::Key_unknown, Qt::Key_F4, Qt::Key_Down}) {
        SCOPED_TRACE(key);
        Edit(0);
        ASSERT_TRUE(Editor);
        QDateEdit& picker = *Editor->DatePicker();
        EXPECT_EQ(picker.date(), QDate(2024, 3, 10));
        if (key == Qt::Key_unknown) {
            QTest::mouseClick(&picker, Qt::LeftButton, {},
                              QPoint(picker.width() - 4, picker.height() / 2));
        } else {
            QTest::keyClick(&picker, key, key == Qt::Key_Down ? Qt::AltModifier : Qt::NoModifier);
        }
        ASSERT_TRUE(picker.calendarWidget()->isVisible());
        EXPECT_EQ(picker.date(), QDate(2024, 3, 10));
        EXPECT_FALSE(Editor->Stopped()) << "the calendar opening ended the edit";
        for (const Qt::Key move : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Return}) {
            QTest::keyClick(QApplication::focusWidget(), move);
        }
        EXPECT_EQ(Reported(), QStringList{"date"});
        EXPECT_EQ(Date, QVUtils::EncodeDate(2024, 3, 12) + 0.75);
    }
}

TEST_F(ComboEditorTest, EntryWithoutANameCanBeChosen) {
    // A category whose name was cleared is still an entry of the list.
    const struct {
        const char* name;
        void* selected;
        bool pick; // picks the nameless entry from the list with the mouse
        const char* typed;
        const char* report;
        void* object;
    } cases[] = {
        {"preselected", &ObjB, false, nullptr, "accept ", &ObjB},
        {"picked from the list", &ObjA, true, nullptr, "accept ", &ObjB},
        {"named entry's text emptied", &ObjA, false, "", "cancel", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Make = [this, selected = c.selected](QWidget* parent) {
            TWideStringList items;
            items.Add(u"Food", &ObjA);
            items.Add(u"", &ObjB);
            return new TQVTVComboEditor(parent, items, &ObjNew, selected, true);
        };
        Edit(0);
        ASSERT_TRUE(Editor);
        QComboBox& combo = *Editor->Combo();
        if (c.pick) {
            combo.showPopup();
            QAbstractItemView& list = *combo.view();
            ASSERT_TRUE(list.isVisible());
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                              list.visualRect(list.model()->index(1, 0)).center());
            ASSERT_FALSE(list.isVisible());
            ASSERT_EQ(combo.currentIndex(), 1);
        }
        if (c.typed != nullptr) {
            Type(c.typed);
        }
        QTest::keyClick(&combo, Qt::Key_Return);
        EXPECT_EQ(Reported(), QStringList{c.report});
        EXPECT_EQ(Object, c.object);
    }
}

TEST_F(ComboEditorTest, ClosingTheCalendarEndsTheEditWithTheDateShown) {
    const TDateTime start = QVUtils::EncodeDate(2024, 3, 10) + 0.75;
    Make = [=](QWidget* parent) { return TQVTVComboEditor::CreateDateEditor(parent, start); };
    for (const bool escape : {true, false}) { // else a click outside the calendar
        SCOPED_TRACE(escape ? "Escape in the calendar" : "click outside");
        Edit(0);
        ASSERT_TRUE(Editor);
        QDateEdit& picker = *Editor->DatePicker();
        QTest::mouseClick(&picker, Qt::LeftButton, {},
                          QPoint(picker.width() - 4, picker.height() / 2));
        QWidget& calendar = *picker.calendarWidget()->window();
        ASSERT_TRUE(calendar.isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        if (escape) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        } else {
            QTest::mouseClick(&calendar, Qt::LeftButton, {}, QPoint(-20, -20));
        }
        EXPECT_FALSE(calendar.isVisible());
        const QDate shown = picker.date();
        EXPECT_EQ(Reported(), QStringList{"date"});
        EXPECT_EQ(Date, QVUtils::EncodeDate(shown.year(), shown.month(), shown.day()) + 0.75);
    }
    // Escape in the picker itself still cancels.
    Edit(0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(Reported(), QStringList{"cancel"});
}

} // namespace
