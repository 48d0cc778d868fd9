#include "UiTestSupport.h"

#include <sys/stat.h>

#include <QApplication>

void UiTest::SetUp() {
    ::mkdir((Home.Path() + "/run").c_str(), 0700);
    TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
    Environment = new TQVEnvironment();
    Environment->LoadLanguagesFrom({QV_LANG_DIR "/"});
    Environment->InitFailed = Environment->CurrentLanguage == nullptr;
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
            if (DialogActions.empty()) {
                return;
            }
            auto action = std::move(DialogActions.front());
            DialogActions.pop_front();
            action(dialog);
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
