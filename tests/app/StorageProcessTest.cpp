// The program opening budget files that go wrong under it: one that another program writes over
// while it is being read, and one whose head claims a body of 4 GB over a file of that size that
// is nearly all a hole.
#include <csignal>
#include <cstring>
#include <fstream>
#include <thread>

#include <QElapsedTimer>
#include <QThread>
#include <fcntl.h>
#include <unistd.h>

#include "ProcessSupport.h"
#include "model/QVExpenseItem.h"
#include "platform/FileSystem.h"
#include "storage/QVBase.h"

namespace {

// The program's resident high-water mark so far, in MiB.
double PeakMiB(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            double kib = 0;
            status >> kib;
            return kib / 1024;
        }
    }
    return -1;
}

// Answers the error box that shows, if one does within a while; true when one did.
bool AnswerError() {
    const QString error = QStringLiteral("Error");
    if (!WaitFor([&] { return !WindowNamed(error).isEmpty() || WindowShown(); }) ||
        WindowNamed(error).isEmpty())
        return false;
    Keys(WindowNamed(error), {"Return"});
    WaitFor([&] { return WindowNamed(error).isEmpty(); });
    return true;
}

std::string Replaced(std::string bytes, const std::string& from, const std::string& to) {
    for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at))
        bytes.replace(at, from.size(), to);
    return bytes;
}

} // namespace

// Another program writes a version of the same size over the budget while the program opens it at
// start (as a restore from a backup or a copy in place does). Whenever in the open that happens,
// the program opens one version without a word, reading again once the writer is done, and its
// closing save never writes a mix of the two.
TEST_F(ProcessTest, ABudgetWrittenOverWhileItOpensOpensAsOneVersion) {
    PrepareBudget({}, {}, [](TQVEnvironment& budget) {
        TQVSource* cash = budget.GetSource(0);
        for (int m = 0; m < 48; ++m) {
            TQVMonth& month = *budget.GetMonth(
                budget.FindMonth(QVUtils::EncodeDate(2022 + m / 12, m % 12 + 1, 1), true));
            for (int i = 0; i < 1000; ++i) {
                auto* flow = static_cast<TQVExpenseItem*>(month.GetFlow(month.AddExpense()));
                flow->Sum = i;
                flow->Date = month.Date + i / 1200.0;
                flow->Source = cash;
                flow->Name = u"Version A";
            }
            month.Sort();
        }
        budget.EnsureCurrentMonth();
    });
    const std::string first = FileSystem::ReadFile(Budget);
    const std::string second =
        Replaced(first, QVBase::WideToBytes(u"Version A"), QVBase::WideToBytes(u"Version B"));
    ASSERT_EQ(first.size(), second.size());
    ASSERT_GT(first.size(), 10u << 20);
    int told = 0;
    constexpr int Rounds = 8;
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE(round);
        FileSystem::WriteFileAtomic(Budget, first);
        MakeOld(Budget);
        auto program = Start(QStringLiteral(QV_PROGRAM));
        // Written over in place, a piece at a time, from a little after the start on.
        std::thread writer([&] {
            QThread::msleep(static_cast<unsigned long>(15 * round));
            const int handle = ::open(Budget.c_str(), O_WRONLY | O_CLOEXEC);
            ASSERT_GE(handle, 0);
            constexpr std::size_t Piece = 512 << 10;
            for (std::size_t done = 0; done < second.size(); done += Piece) {
                const std::size_t count = std::min(Piece, second.size() - done);
                ASSERT_EQ(::pwrite(handle, second.data() + done, count, static_cast<off_t>(done)),
                          static_cast<ssize_t>(count));
                QThread::msleep(2);
            }
            ::close(handle);
        });
        told += AnswerError() ? 1 : 0;
        writer.join();
        ASSERT_TRUE(WaitFor(WindowShown));
        ASSERT_EQ(::kill(static_cast<pid_t>(program->processId()), SIGTERM), 0);
        ASSERT_TRUE(program->waitForFinished(20000));
        EXPECT_EQ(program->exitCode(), 0);
        // Saved as one version or, after a failed open, not at all: the other program's version.
        ReadBudget([](TQVEnvironment& budget) {
            std::u16string seen;
            for (int m = 0; m < budget.MonthCount(); ++m) {
                for (const TQVMoneyFlow* flow : budget.GetMonth(m)->Flows()) {
                    if (seen.empty())
                        seen = flow->Name;
                    ASSERT_EQ(flow->Name, seen) << "a mix of two versions";
                }
            }
        });
    }
    EXPECT_EQ(told, 0) << "of " << Rounds;
}

// A file of over 4 GB behind a valid head whose body length is 0xFFFFFFF0, nearly all of it a
// hole: the first item cannot be what the body claims, and the open says so at once, at start and
// from the recent budgets, without reading what lies beyond.
TEST_F(ProcessTest, ABodyThatClaimsFourGigabytesFailsAtOnceInLittleMemory) {
    const std::string huge = Home.File("Huge.qn");
    {
        std::string head = std::string("\xF8\x34\x03\x1E\x01\x00\x01\x00", 8);
        head += std::string("\x24\x00\x00\x00\x00\x00\x00\x00\xF0\xFF\xFF\xFF", 12);
        head += std::string("\x40\x42\x0F\x00", 4) + std::string(32, 'i');
        std::ofstream(huge, std::ios::binary) << head;
        ASSERT_EQ(::truncate(huge.c_str(), static_cast<off_t>(head.size()) + 0xFFFFFFF0LL), 0);
    }
    MakeOld(huge);
    PrepareBudget([&huge](TQVSettings& settings) {
        settings.RecentNames.insert(settings.RecentNames.begin(), u"Huge");
        settings.RecentLocations.insert(settings.RecentLocations.begin(),
                                        std::u16string(huge.begin(), huge.end()));
    });
    QElapsedTimer clock;
    clock.start();
    auto program = Start(QStringLiteral(QV_PROGRAM));
    const QString error = QStringLiteral("Error");
    ASSERT_TRUE(WaitFor([&] { return !WindowNamed(error).isEmpty(); }));
    const qint64 atStart = clock.elapsed();
    const qint64 pid = program->processId();
    EXPECT_LT(PeakMiB(pid), 100);
    Keys(WindowNamed(error), {"Return"});
    ASSERT_TRUE(WaitFor([&] { return WindowNamed(error).isEmpty() && WindowShown(); }));

    // File > Open, its recent budgets, the first of them.
    const QString main = WindowNamed(QStringLiteral("Tavrin Quillvane.*"));
    Keys(main, {"alt+f", "o"});
    const QString dialog = QStringLiteral("Open budget");
    ASSERT_TRUE(WaitFor([&] { return !WindowNamed(dialog).isEmpty(); }));
    clock.restart();
    // The recent budgets' tab takes the focus to their list, where Home picks the first.
    Keys(WindowNamed(dialog), {"ctrl+Tab", "Home", "Return"});
    ASSERT_TRUE(WaitFor([&] { return !WindowNamed(error).isEmpty(); }));
    const qint64 fromRecent = clock.elapsed();
    EXPECT_LT(PeakMiB(pid), 100);
    std::printf(
        "the message after %lld ms at start, %lld ms from the recent budgets; peak %.1f MiB\n",
        static_cast<long long>(atStart), static_cast<long long>(fromRecent), PeakMiB(pid));
    // Not a measure of speed: a read of what the body claims took half a minute and more.
    EXPECT_LT(atStart, 10000);
    EXPECT_LT(fromRecent, 10000);
    Keys(WindowNamed(error), {"Return"});
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGTERM), 0);
    ASSERT_TRUE(program->waitForFinished(20000));
    EXPECT_FALSE(WrittenSince(huge)) << "the file is left as it was";
}
