// Real message boxes (no hooks): what they are shown over, and that nothing which closes while
// they run can take them down.
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "platform/Exception.h"
#include "ui/Prompter.h"
#include "ui/QVApplication.h"

namespace {

class PrompterTest : public ::testing::Test {
protected:
    void SetUp() override {
        Prompter::SetHooks({});
        Main.resize(640, 480);
        Main.show();
        Main.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Main));
    }
    void TearDown() override { Prompter::SetHooks({}); }

    // A pop-up menu that deletes itself when it closes, open and active over the main window.
    QPointer<QMenu> OpenMenu(bool ownedByMain) {
        QPointer<QMenu> menu = new QMenu(ownedByMain ? &Main : nullptr);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction(QStringLiteral("Item"));
        menu->popup(Main.geometry().center());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(menu));
        EXPECT_EQ(QApplication::activePopupWidget(), menu.data());
        // As on a desktop, where the pop-up takes the activation.
        menu->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(menu));
        return menu;
    }

    QMainWindow Main;
};

// Once the box runs, deletes the menu, as its deferred deletion does when it closed deeper in the
// event handling than the box was asked for; then notes the box's owner and answers it with Escape.
void DeleteMenuThenEscapeBox(QPointer<QMenu> menu, QWidget*& owner) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, menu, &owner] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        delete menu.data();
        box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        owner = box->parentWidget();
        QTest::keyClick(box, Qt::Key_Escape);
        poll->deleteLater();
    });
    poll->start(20);
}

} // namespace

// A box asked for while a pop-up menu is up (an error escaping a menu command, a question from a
// command the menu started) sits over the main window; the menu deleting itself while the box
// runs leaves the box alone.
TEST_F(PrompterTest, BoxOutlivesThePopUpMenuThatWasActive) {
    const struct {
        const char* name;
        bool menuOwnedByMain;
        bool throughErrorHandler; // the application's last-chance handler asks, not a command
    } cases[] = {
        {"menu of the main window", true, false},
        {"menu without an owner", false, false},
        {"error escaping while a menu is up", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QPointer<QMenu> menu = OpenMenu(c.menuOwnedByMain);
        QWidget* owner = nullptr;
        DeleteMenuThenEscapeBox(menu, owner);
        if (c.throughErrorHandler) {
            try {
                throw Exception("Disk on fire");
            } catch (...) {
                QVApplication::ShowCurrentException();
            }
        } else {
            // The menu itself is the widget that asks, as a command run from it passes.
            EXPECT_EQ(Prompter::Show(menu, Prompter::Kind::Question, QStringLiteral("Remove?"),
                                     QMessageBox::Ok | QMessageBox::Cancel),
                      QMessageBox::Cancel);
        }
        EXPECT_EQ(owner, &Main);
        EXPECT_TRUE(menu.isNull());
    }
}

// A message quoting a long text of the user's keeps its box and buttons on the screen, and shows
// the text as it is, never as markup.
TEST_F(PrompterTest, LongMessageFitsOnTheScreenAsPlainText) {
    QRect box;
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
        if (auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box = open->frameGeometry();
            shown = open->text();
            format = open->textFormat();
            QTest::keyClick(open, Qt::Key_Escape);
            poll->deleteLater();
        }
    });
    poll->start(20);
    Prompter::Error(&Main, "<b>" + QString(u'x').repeated(100000) + "</b>\n" +
                               QStringLiteral("line\n").repeated(500));
    EXPECT_TRUE(Main.screen()->availableGeometry().contains(box))
        << box.x() << "," << box.y() << " " << box.width() << "x" << box.height() << " "
        << shown.size();
    EXPECT_TRUE(shown.remove(QChar(0x200B)).startsWith("<b>xxx") && shown.endsWith(u'…'));
    EXPECT_EQ(format, Qt::PlainText);
}
