// The yardstick of the launch benchmark (launch.sh): an empty main window, shown the way the
// program shows its own, reporting the moment it is first exposed as the program does under
// QV_REPORT_MAPPED.
#include <cstdio>
#include <ctime>
#include <string_view>

#include <QApplication>
#include <QMainWindow>
#include <QWindow>

namespace {

class TMappedReporter : public QObject {
public:
    explicit TMappedReporter(QWindow* window) : FWindow(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == FWindow && event->type() == QEvent::Expose && FWindow->isExposed()) {
            timespec now{};
            ::clock_gettime(CLOCK_REALTIME, &now);
            std::printf("QV_MAPPED %lld.%06ld\n", static_cast<long long>(now.tv_sec),
                        now.tv_nsec / 1000);
            std::fflush(stdout);
            FWindow->removeEventFilter(this);
        }
        return false;
    }

private:
    QWindow* FWindow;
};

} // namespace

int main(int argc, char** argv) {
    // The smoke run of every benchmark program passes benchmark options and has no display:
    // launch.sh is what runs this one.
    if (argc > 1 && std::string_view(argv[1]).starts_with("--benchmark"))
        return 0;
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Empty"));
    window.winId(); // makes the native window, so its expose events can be watched
    TMappedReporter reporter(window.windowHandle());
    window.windowHandle()->installEventFilter(&reporter);
    window.showMaximized();
    return QApplication::exec();
}
