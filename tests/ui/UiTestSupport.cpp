#include "UiTestSupport.h"

#include <sys/stat.h>

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QTest>
#include <QTextDocument>

#include "storage/QVBase.h"

void UiTest::SetUp() {
    ::mkdir((Home.Path() + "/run").c_str(), 0700);
    TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
    StartEnvironment();
    ASSERT_FALSE(Environment->InitFailed) << "English table missing in " << QV_LANG_DIR;

    Prompter::SetHooks({
        [this](const Prompter::Message& message) {
            Messages.push_back(message);
            if (MessageAnswers.empty()) {
                return QMessageBox::Ok;
            }
            const auto answer = MessageAnswers.front();
            MessageAnswers.pop_front();
            return answer;
        },
        [this](QDialog& dialog) {
            DialogsRun.push_back(dialog.windowTitle());
            if (!DialogActions.empty()) {
                auto action = std::move(DialogActions.front());
                DialogActions.pop_front();
                action(dialog);
            }
        },
        [this](Prompter::FileMode, const QString&, const QString&) {
            if (FileAnswers.empty()) {
                return QString();
            }
            QString answer = FileAnswers.front();
            FileAnswers.pop_front();
            return answer;
        },
    });
}

void UiTest::TearDown() {
    Prompter::SetHooks({});
    QApplication::processEvents();
    delete Environment;
    Environment = nullptr;
}

void UiTest::StartEnvironment() {
    delete Environment;
    Environment = new TQVEnvironment();
    Environment->LoadLanguagesFrom({QV_LANG_DIR "/"});
    Environment->InitFailed = Environment->CurrentLanguage == nullptr;
}

QStringList UiTest::TakeMessages() {
    QStringList texts;
    for (const Prompter::Message& message : Messages) {
        texts << message.text;
    }
    Messages.clear();
    return texts;
}

void ClickOn(QObject& parent, const char* button) {
    auto* widget = Child<QAbstractButton>(parent, button);
    ASSERT_NE(widget, nullptr);
    const QPoint where = qobject_cast<QCheckBox*>(widget) ? QPoint(6, widget->height() / 2)
                                                          : widget->rect().center();
    QTest::mouseClick(widget, Qt::LeftButton, {}, where);
}

void TypeText(QObject& parent, const char* edit, const QString& text) {
    auto* line = parent.findChild<QLineEdit*>(QString::fromLatin1(edit));
    if (line == nullptr) {
        auto* combo = Child<QComboBox>(parent, edit);
        ASSERT_NE(combo, nullptr);
        line = combo->lineEdit();
    }
    ASSERT_NE(line, nullptr) << edit;
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Backspace);
    QTest::keyClicks(line, text);
}

DialogAction Press(const char* button) {
    return [=](QDialog& dialog) { ClickOn(dialog, button); };
}

DialogAction TypeAndPress(const char* edit, const QString& text, const char* button) {
    return [=](QDialog& dialog) {
        TypeText(dialog, edit, text);
        ClickOn(dialog, button);
    };
}

QStringList Entries(const QComboBox& combo) {
    QStringList texts;
    for (int i = 0; i < combo.count(); ++i) {
        texts << combo.itemText(i);
    }
    return texts;
}

QStringList Entries(QObject& parent, const char* combo) {
    auto* box = Child<QComboBox>(parent, combo);
    return box != nullptr ? Entries(*box) : QStringList();
}

QString Local(const char* amount) {
    return QString::fromLatin1(amount).replace(u'.', QLocale::system().decimalPoint());
}

QString ToolTipText(const QString& toolTip) {
    QTextDocument document;
    document.setHtml(toolTip);
    return document.toPlainText().remove(QChar(0x200B));
}

QWidget* ToolTipWindowAt(QWidget& widget, const QPoint& point) {
    QHelpEvent event(QEvent::ToolTip, point, widget.mapToGlobal(point));
    QApplication::sendEvent(&widget, &event);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->windowType() == Qt::ToolTip && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

TQVSource* NewAccount(const char16_t* name) {
    TQVSource* account = Environment->GetSource(Environment->AddSource());
    account->Name = name;
    account->Id = QVBase::CreateGUIDString();
    return account;
}

namespace {

std::vector<QString> Complaints;

void RecordComplaint(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg &&
        QLatin1String(context.category) == QLatin1String("qt.modeltest")) {
        Complaints.push_back(text);
    }
}

} // namespace

TModelChecker::TModelChecker(QAbstractItemModel& model) {
    Complaints.clear();
    FPrevious = qInstallMessageHandler(&RecordComplaint);
    FTester = std::make_unique<QAbstractItemModelTester>(
        &model, QAbstractItemModelTester::FailureReportingMode::Warning);
}

TModelChecker::~TModelChecker() {
    FTester.reset();
    qInstallMessageHandler(FPrevious);
    for (const QString& complaint : Complaints) {
        ADD_FAILURE() << complaint.toStdString();
    }
}
