#include "app/QVTerminationSignals.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace {

constexpr int HandledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's ends; process-wide because the handler can reach nothing else.
int PipeRead = -1;
int PipeWrite = -1;

extern "C" void OnSignal(int signalNumber) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    // A full pipe already holds requests enough; the byte may be dropped.
    [[maybe_unused]] ssize_t written = write(PipeWrite, &byte, 1);
    errno = savedErrno;
}

// Ends the process as the signal would have without our handler.
[[noreturn]] void DefaultAction(int signalNumber) {
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
    _exit(128 + signalNumber);
}

} // namespace

TQVTerminationSignals::TQVTerminationSignals(std::function<bool(int)> onRequest)
    : FOnRequest(std::move(onRequest)) {}

TQVTerminationSignals::~TQVTerminationSignals() {
    // Back to the defaults first, so no handler writes into a pipe that nobody reads any more.
    if (FNotifier)
        for (int signalNumber : HandledSignals)
            std::signal(signalNumber, SIG_DFL);
}

bool TQVTerminationSignals::Install() {
    if (PipeRead < 0) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return false;
        PipeRead = ends[0];
        PipeWrite = ends[1];
    }
    FNotifier = std::make_unique<QSocketNotifier>(PipeRead, QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] { ReadPending(); });

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool installed = true;
    for (int signalNumber : HandledSignals)
        installed = sigaction(signalNumber, &action, nullptr) == 0 && installed;
    return installed;
}

void TQVTerminationSignals::ReadPending() {
    char bytes[16];
    ssize_t count;
    while ((count = read(PipeRead, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i) {
            const int signalNumber = static_cast<unsigned char>(bytes[i]);
            if (!FOnRequest || !FOnRequest(signalNumber))
                DefaultAction(signalNumber);
        }
    }
}
