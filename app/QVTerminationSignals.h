#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

// Turns the requests to end the program (SIGTERM, SIGINT, SIGHUP) into a call on the GUI thread,
// where the program can save as it does when the user closes it. A signal handler may do next to
// nothing, so it only writes the signal's number into a pipe whose read end the event loop
// watches.
class TQVTerminationSignals {
public:
    // `onRequest` receives the signal number and returns whether it took care of the request.
    // When it does not, the signal's default action ends the process.
    explicit TQVTerminationSignals(std::function<bool(int)> onRequest);
    ~TQVTerminationSignals();
    TQVTerminationSignals(const TQVTerminationSignals&) = delete;
    TQVTerminationSignals& operator=(const TQVTerminationSignals&) = delete;

    // Needs the application object. False when the pipe or a handler could not be set up; the
    // signals then keep their default action.
    bool Install();

private:
    void ReadPending();

    std::function<bool(int)> FOnRequest;
    std::unique_ptr<QSocketNotifier> FNotifier;
};
