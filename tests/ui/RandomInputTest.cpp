// The main window over a budget, driven by thousands of random clicks, keys and typed texts, with
// every message and dialog answered at random as it comes: nothing may crash or trip the
// sanitizers, and at the end the budget still saves through the program and reads back whole.
// QV_MONKEY_SEED picks the run (printed at its start, so a failure can be replayed),
// QV_MONKEY_EVENTS its length, and QV_MONKEY_LOG=1 prints every event.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "MainFormTestSupport.h"
#include "ui/QVApplication.h"

namespace {

constexpr unsigned DefaultSeed = 1;
// Bounded so that the sanitizer build runs it in well under a minute (about ten seconds);
// scripts/monkey.sh runs longer ones.
constexpr unsigned DefaultEvents = 3000;
// Dialogs that open dialogs are answered at random only this deep; deeper ones are cancelled.
constexpr int MaxDialogDepth = 3;

unsigned EnvNumber(const char* name, unsigned fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0'
               ? static_cast<unsigned>(std::strtoul(value, nullptr, 10))
               : fallback;
}

// What people type: names in several scripts, very long ones, amounts good and bad in both
// separators, and the stray text that lands in fields.
QStringList Texts() {
    QStringList texts;
    for (const char* text :
         {"6z2a19p",  "12",       " 5",       "5#",    "#5", "-250#75", "1,000.50",
          "1.000,50", "1e308",    "9e9999",   "0",     "",   "Cash",    "cash",
          "Касса",    "Ελληνικά", "现金账户", "مصروف", "€💶", "Ж",       "Name with spaces",
          "secret"}) {
        // "#" stands for the decimal separator of the user's locale.
        texts << QString::fromUtf8(text).replace(u'#', QLocale::system().decimalPoint());
    }
    texts[19] = texts[19].repeated(200);
    return texts;
}

struct TKey {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

const TKey Keys[] = {
    {Qt::Key_Up, Qt::NoModifier},         {Qt::Key_Down, Qt::NoModifier},
    {Qt::Key_Left, Qt::NoModifier},       {Qt::Key_Right, Qt::NoModifier},
    {Qt::Key_Tab, Qt::NoModifier},        {Qt::Key_Backtab, Qt::ShiftModifier},
    {Qt::Key_Return, Qt::NoModifier},     {Qt::Key_Enter, Qt::KeypadModifier},
    {Qt::Key_Escape, Qt::NoModifier},     {Qt::Key_Delete, Qt::NoModifier},
    {Qt::Key_Delete, Qt::KeypadModifier}, {Qt::Key_Backspace, Qt::NoModifier},
    {Qt::Key_Space, Qt::NoModifier},      {Qt::Key_Home, Qt::NoModifier},
    {Qt::Key_End, Qt::NoModifier},        {Qt::Key_PageDown, Qt::NoModifier},
    {Qt::Key_PageUp, Qt::NoModifier},     {Qt::Key_F2, Qt::NoModifier},
    {Qt::Key_Insert, Qt::NoModifier},     {Qt::Key_Menu, Qt::NoModifier},
    {Qt::Key_5, Qt::KeypadModifier},      {Qt::Key_Minus, Qt::KeypadModifier},
    {Qt::Key_Plus, Qt::KeypadModifier},   {Qt::Key_Period, Qt::KeypadModifier},
    {Qt::Key_Comma, Qt::KeypadModifier},  {Qt::Key_A, Qt::ControlModifier},
    {Qt::Key_Z, Qt::ControlModifier},     {Qt::Key_Alt, Qt::NoModifier},
};

// The ways to paste from the keyboard.
const TKey PasteKeys[] = {{Qt::Key_V, Qt::ControlModifier}, {Qt::Key_Insert, Qt::ShiftModifier}};

class RandomInputTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        // Names typed into file fields land in the test's own folder.
        PreviousFolder = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(Home.Path()));
        Garbage = Home.File("damaged.qvb");
        std::ofstream(Garbage) << "not a budget";
        Seed = EnvNumber("QV_MONKEY_SEED", DefaultSeed);
        Events = EnvNumber("QV_MONKEY_EVENTS", DefaultEvents);
        Log = EnvNumber("QV_MONKEY_LOG", 0) != 0;
        Random.seed(Seed);
        QGuiApplication::clipboard()->setMimeData(new QMimeData);
        Clock.start();
        std::fprintf(stderr, "random input: seed %u, %u events (QV_MONKEY_SEED=%u replays it)\n",
                     Seed, Events, Seed);
    }
    void TearDown() override {
        QDir::setCurrent(PreviousFolder);
        MainFormTest::TearDown();
    }

    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(Random); }
    bool Chance(int percent) { return Pick(100) < percent; }
    template <class T> T PickOf(const QList<T>& list) { return list[Pick(int(list.size()))]; }

    void Note(const QString& what) {
        LastEvent = what;
        ++Progress;
        if (Log) {
            std::fprintf(stderr, "%u (%lld ms): %s\n", Done, Clock.elapsed(), qPrintable(what));
        }
    }

    // Answers that keep the run going: a random offered button, after letting whatever was
    // queued run as it would while a real box is up.
    QMessageBox::StandardButton AnswerMessage(const Prompter::Message& message) {
        ++MessagesAnswered;
        Note(QStringLiteral("message \"%1\"").arg(message.text));
        if (Chance(50)) {
            QEventLoop loop;
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
            loop.exec();
        }
        QList<QMessageBox::StandardButton> offered;
        for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
            if (message.buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit))) {
                offered << static_cast<QMessageBox::StandardButton>(bit);
            }
        }
        return offered.isEmpty() ? QMessageBox::Ok : PickOf(offered);
    }

    QString AnswerFile(Prompter::FileMode mode) {
        const QStringList answers{QString(), QString::fromStdString(Home.File("other.qvb")),
                                  QString::fromStdString(Budget),
                                  QString::fromStdString(mode == Prompter::FileMode::Open
                                                             ? Garbage
                                                             : Home.File("no-such-folder/x.qvb"))};
        return PickOf(answers);
    }

    void AnswerDialog(QDialog& dialog) {
        ++DialogsAnswered;
        ++Depth;
        QPointer<QDialog> guard(&dialog);
        const int steps = Depth > MaxDialogDepth ? 0 : Pick(8);
        for (int i = 0; i < steps && guard && dialog.isVisible(); ++i) {
            Act(dialog);
        }
        if (guard && dialog.isVisible() && Depth <= MaxDialogDepth) {
            // The answer: a button of the dialog, or Return or Escape where the focus is.
            QList<QPushButton*> buttons;
            for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
                if (button->isVisible() && button->isEnabled()) {
                    buttons << button;
                }
            }
            if (!buttons.isEmpty() && Chance(70)) {
                Click(*PickOf(buttons), Qt::LeftButton, false);
            } else {
                PressKey({Chance(50) ? Qt::Key_Return : Qt::Key_Escape, Qt::NoModifier}, dialog);
            }
        }
        --Depth;
    }

    // One random event on `fallback` (the dialog being answered or the main window), or on
    // whatever pop-up has opened over it.
    void Act(QWidget& fallback) {
        QWidget* popup = QApplication::activePopupWidget();
        QWidget& top = popup != nullptr ? *popup : fallback;
        const int kind = Pick(100);
        if (kind < 35) {
            Click(RandomWidget(top), Qt::LeftButton, false);
        } else if (kind < 43) {
            Click(RandomWidget(top), Qt::LeftButton, true);
        } else if (kind < 50) {
            Click(RandomWidget(top), Qt::RightButton, false);
        } else if (kind < 80) {
            PressKey(Keys[Pick(int(std::size(Keys)))], fallback);
        } else if (kind < 85) {
            MenuKey(fallback);
        } else if (kind < 88) {
            Paste(fallback);
        } else {
            TypeText(PickOf(Texts()), fallback);
        }
        Settle();
    }

    // A visible widget of `top`; the grids' cells, buttons and edit fields come up more often
    // than the panels around them, as a user's clicks do.
    QWidget& RandomWidget(QWidget& top) {
        QList<QWidget*> widgets{&top};
        for (QWidget* child : top.findChildren<QWidget*>()) {
            // A link would start the desktop's browser.
            auto* label = qobject_cast<QLabel*>(child);
            if (!child->isVisible() || child->width() <= 0 || child->height() <= 0 ||
                (label != nullptr && label->text().contains(QStringLiteral("<a ")))) {
                continue;
            }
            auto* view = qobject_cast<QAbstractItemView*>(child->parentWidget());
            const int weight = view != nullptr && view->viewport() == child ? 6
                               : qobject_cast<QAbstractButton*>(child) != nullptr ||
                                       qobject_cast<QLineEdit*>(child) != nullptr ||
                                       qobject_cast<QComboBox*>(child) != nullptr
                                   ? 2
                                   : 1;
            for (int i = 0; i < weight; ++i) {
                widgets << child;
            }
        }
        return *PickOf(widgets);
    }

    void Click(QWidget& widget, Qt::MouseButton button, bool twice) {
        QWidget* top = widget.window();
        QWindow* window = top->windowHandle();
        if (window == nullptr) {
            return;
        }
        const QPoint at(Pick(widget.width()), Pick(widget.height()));
        Note(QStringLiteral("click (button %1, twice %2) %3 %4 at %5,%6")
                 .arg(int(button))
                 .arg(twice)
                 .arg(widget.metaObject()->className(), widget.objectName())
                 .arg(at.x())
                 .arg(at.y()));
        const QPoint inWindow = widget.mapTo(top, at);
        if (twice) {
            QTest::mouseDClick(window, button, {}, inWindow);
        } else {
            QTest::mouseClick(window, button, {}, inWindow);
        }
    }

    // Where keys go: an open pop-up, else the focus, else the active window, else `fallback`
    // (the dialog being answered, or the main window).
    static QWidget& KeyTarget(QWidget& fallback) {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            return popup->focusWidget() != nullptr ? *popup->focusWidget() : *popup;
        }
        if (QWidget* focus = QApplication::focusWidget()) {
            return *focus;
        }
        return QApplication::activeWindow() != nullptr ? *QApplication::activeWindow() : fallback;
    }

    void PressKey(const TKey& key, QWidget& fallback) {
        QWidget* target = &KeyTarget(fallback);
        Note(QStringLiteral("key %1 (modifiers %2) to %3 %4")
                 .arg(QKeySequence(key.key).toString())
                 .arg(int(key.modifiers))
                 .arg(target->metaObject()->className(), target->objectName()));
        QTest::keyClick(target, key.key, key.modifiers);
    }

    // Alt and the marked letter of a menu bar title, as a keyboard user opens a menu.
    void MenuKey(QWidget& fallback) {
        QList<QChar> letters;
        // While the window is being made (its start-up dialog) it has no menu bar to read yet.
        const QList<QAction*> menus = Window ? Window->menuBar()->actions() : QList<QAction*>();
        for (QAction* menu : menus) {
            const QString text = menu->text();
            const qsizetype amp = text.indexOf(u'&');
            if (amp >= 0 && amp + 1 < text.size()) {
                letters << text[amp + 1].toUpper();
            }
        }
        const QChar letter = letters.isEmpty() ? QChar(u'F') : PickOf(letters);
        PressKey({static_cast<Qt::Key>(letter.unicode()), Qt::AltModifier}, fallback);
    }

    // A paste from the keyboard or from the context menu of whatever has the focus, mostly with
    // nothing copied: a display where nothing has been copied yet hands out clipboard data of no
    // format at all.
    void Paste(QWidget& fallback) {
        if (Chance(75)) {
            QGuiApplication::clipboard()->setMimeData(new QMimeData);
        }
        if (Chance(70)) {
            PressKey(PasteKeys[Pick(int(std::size(PasteKeys)))], fallback);
            return;
        }
        QWidget* target = &KeyTarget(fallback);
        Note(QStringLiteral("Paste from the context menu of %1 %2")
                 .arg(target->metaObject()->className(), target->objectName()));
        // The menu runs a loop of its own: Paste is chosen in it as soon as it shows.
        QTimer::singleShot(0, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr) {
                return;
            }
            for (QAction* item : menu->actions()) {
                if (item->text().remove(u'&').startsWith(QStringLiteral("Paste"))) {
                    item->trigger();
                }
            }
            menu->close();
        });
        const QPoint at(2, 2);
        QContextMenuEvent event(QContextMenuEvent::Keyboard, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &event);
    }

    void TypeText(const QString& text, QWidget& fallback) {
        QWidget* target = &KeyTarget(fallback);
        Note(QStringLiteral("type \"%1\" to %2 %3")
                 .arg(text.left(20), target->metaObject()->className(), target->objectName()));
        if (auto* edit = qobject_cast<QLineEdit*>(target);
            edit != nullptr && edit->echoMode() != QLineEdit::Normal) {
            Passwords << text;
        }
        QPointer<QWidget> guard(target);
        for (const QChar c : text) {
            if (!guard) {
                break;
            }
            // The test library maps only ASCII characters to keys; others come as text alone,
            // as an input method delivers them.
            if (c.unicode() < 0x80 && c.isPrint()) {
                QTest::keyClick(guard.data(), c.toLatin1());
            } else {
                QTest::sendKeyEvent(QTest::Click, guard.data(), Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
            }
        }
    }

    void Settle() {
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The window as a user finds it again: brought back from the tray or the task bar, or,
    // once it has closed, the program started anew over its last budget.
    void KeepWindowUp() {
        for (int start = 0; Window->IsClosing() && start < 5; ++start) {
            Note(QStringLiteral("the window closed: start again"));
            Env().Settings().AutoOpenLast = true;
            Window.reset();
            Window = std::make_unique<TfrmMain>();
            Window->show();
            Settle();
        }
        if (!Window->isVisible() || Window->isMinimized()) {
            Window->RestoreFromTray();
        }
        if (QApplication::activeWindow() == nullptr) {
            Window->activateWindow();
            Settle();
        }
    }

    // An account reference saved empty (a flow, debt or loan without an account) reads back as
    // the placeholder account "Untitled" with an empty identifier, made once unless the budget
    // already has an account of that identifier.
    static bool ReadingBackAddsAPlaceholderAccount() {
        std::vector<const TQVMoneyFlow*> flows;
        for (int i = 0; i < Env().MonthCount(); ++i) {
            flows.insert(flows.end(), Env().GetMonth(i)->Flows().begin(),
                         Env().GetMonth(i)->Flows().end());
        }
        for (int i = 0; i < Env().DebtCount(); ++i) {
            flows.push_back(Env().GetDebt(i));
        }
        for (int i = 0; i < Env().CreditCount(); ++i) {
            flows.push_back(Env().GetCredit(i));
        }
        return Env().IndexOfSourceById("") < 0 &&
               std::any_of(flows.begin(), flows.end(), [](const TQVMoneyFlow* flow) {
                   const auto* transfer = dynamic_cast<const TQVA2AItem*>(flow);
                   const auto* income = dynamic_cast<const TQVIncomeItem*>(flow);
                   const auto* expense = dynamic_cast<const TQVExpenseItem*>(flow);
                   return transfer != nullptr ? !transfer->Source || !transfer->Destination
                          : income != nullptr ? !income->Source
                                              : expense != nullptr && !expense->Source;
               });
    }

    // Counts that must survive a save and a reading back.
    static std::vector<int> Counts() {
        int flows = 0;
        for (int i = 0; i < Env().MonthCount(); ++i) {
            flows += Env().GetMonth(i)->Count();
        }
        return {Env().SourceCount(),
                Env().ExpenseLocationCount(),
                Env().IncomeLocationCount(),
                Env().DsLocationCount(),
                Env().CsLocationCount(),
                Env().MonthCount(),
                flows,
                Env().DebtCount(),
                Env().CreditCount()};
    }

    std::mt19937 Random;
    unsigned Seed = DefaultSeed;
    unsigned Events = DefaultEvents;
    unsigned Done = 0;
    unsigned Progress = 0;
    bool Log = false;
    int Depth = 0;
    int MessagesAnswered = 0;
    int DialogsAnswered = 0;
    QString LastEvent;
    QElapsedTimer Clock;
    QStringList Passwords;
    std::string Budget;
    std::string Garbage;
    QString PreviousFolder;
};

TEST_F(RandomInputTest, ThousandsOfEventsLeaveABudgetThatSavesAndReadsBack) {
    Budget = MakeBudget();
    Prompter::SetHooks({[this](const Prompter::Message& m) { return AnswerMessage(m); },
                        [this](QDialog& dialog) { AnswerDialog(dialog); },
                        [this](Prompter::FileMode mode, const QString&, const QString&) {
                            return AnswerFile(mode);
                        }});
    OpenWindow();
    SCOPED_TRACE(testing::Message() << "QV_MONKEY_SEED=" << Seed);

    // Qt's own context menus (of scroll bars and text fields) run a loop of their own, which
    // stalls the run: one that shows while nothing happens is closed, as a user's click beside it
    // would. A modal window outside the prompter would stall it the same way; it is a finding.
    unsigned lastSeen = ~0u;
    int stalledTicks = 0;
    QStringList stalls;
    QTimer watchdog;
    watchdog.setInterval(250);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        stalledTicks = Progress == lastSeen ? stalledTicks + 1 : 0;
        lastSeen = Progress;
        if (stalledTicks == 0) {
            return;
        }
        if (QWidget* popup = QApplication::activePopupWidget()) {
            Note(QStringLiteral("close the stalled pop-up %1")
                     .arg(popup->metaObject()->className()));
            popup->close();
        } else if (QWidget* modal = QApplication::activeModalWidget(); modal && stalledTicks > 8) {
            stalls << modal->metaObject()->className();
            modal->close();
        }
    });
    watchdog.start();

    for (Done = 0; Done < Events; ++Done) {
        KeepWindowUp();
        Act(*Window);
    }
    watchdog.stop();
    EXPECT_TRUE(stalls.isEmpty()) << "modal loops outside the prompter: "
                                  << stalls.join(", ").toStdString() << "; last event "
                                  << LastEvent.toStdString();
    std::fprintf(stderr, "random input: %d messages and %d dialogs answered\n", MessagesAnswered,
                 DialogsAnswered);

    // From here on the answers are the user's deliberate ones.
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        Settle();
    }
    const std::string copy = Home.File("read-back.qvb");
    QStringList messages;
    Prompter::SetHooks({[&](const Prompter::Message& m) {
                            messages << m.text;
                            return QMessageBox::Ok;
                        },
                        [&](QDialog& dialog) {
                            if (dialog.objectName() == QStringLiteral("TfrmStartup")) {
                                OpenFromStartup(Budget)(dialog); // the last start's budget
                            }
                        },
                        [&](Prompter::FileMode, const QString&, const QString&) {
                            return QString::fromStdString(copy);
                        }});
    KeepWindowUp();
    if (!Window->HasBudget()) {
        // The run ended without a budget (a damaged file opened, say): the user opens one.
        Action("actOpen").trigger();
        Settle();
    }
    ASSERT_TRUE(Window->HasBudget())
        << "no budget to save; messages: " << messages.join(" / ").toStdString();
    // An edit still open is committed or dropped by the focus leaving, as a menu click does.
    Window->setFocus();
    Settle();
    messages.clear();
    Action("actSaveAs").trigger();
    Settle();
    ASSERT_TRUE(messages.isEmpty()) << messages.join(" / ").toStdString();
    std::vector<int> saved = Counts();
    saved[0] += ReadingBackAddsAPlaceholderAccount() ? 1 : 0;
    std::u16string password;
    for (const QString& typed : Passwords) {
        if (Env().CheckPassword(QVUIUtils::FromQ(typed))) {
            password = QVUIUtils::FromQ(typed);
        }
    }
    Window.reset();
    Env().Reset();
    Env().PasswordRequest = [password] { return std::optional<std::u16string>(password); };
    ASSERT_NO_THROW(Env().LoadFromFile(copy));
    EXPECT_EQ(Counts(), saved)
        << "accounts, categories (expense, income, debt, loan), months, flows, debts, loans";
}

} // namespace

// Fontconfig keeps the fallback fonts it matched for unusual scripts in caches that live to the
// end of the process; under the leak checker that is the library's noise, not the program's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QVApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
