#include <functional>
#include <stdexcept>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <gtest/gtest.h>

#include "platform/Exception.h"
#include "ui/Prompter.h"
#include "ui/QVApplication.h"

namespace {

// An object whose handling of any event runs `action`.
class TThrower : public QObject {
public:
    std::function<void()> action;
    int handled = 0;

protected:
    bool event(QEvent*) override {
        ++handled;
        action();
        return true;
    }
};

} // namespace

TEST(ApplicationTest, EveryEscapingErrorIsShownAndTheLoopGoesOn) {
    QStringList shown;
    Prompter::SetHooks({[&](const Prompter::Message& message) {
                            EXPECT_EQ(message.kind, Prompter::Kind::Error);
                            shown << message.text;
                            return QMessageBox::Ok;
                        },
                        {},
                        {}});
    TThrower thrower;
    const std::function<void()> actions[] = {
        [] { throw Exception("Budget file is damaged"); },
        [] { throw std::runtime_error("out of range"); },
        [] { throw 42; },
        [] {},
    };
    for (const auto& action : actions) {
        thrower.action = action;
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::sendPostedEvents(&thrower);
    }
    Prompter::SetHooks({});
    EXPECT_EQ(thrower.handled, 4);
    EXPECT_EQ(shown, (QStringList{"Budget file is damaged", "out of range", "Unknown error"}));
}
