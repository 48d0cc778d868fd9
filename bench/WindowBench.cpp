// The main window over the generated budget at four sizes (12,000 to 768,000 flows), offscreen:
// from making the environment to the window painted with the budget open, switching to all
// months, showing the summary, switching months, editing and removing in the list of all months,
// and the process's peak resident size with the budget open. Each benchmark takes the budget's
// count of flows as its argument; --benchmark_filter=/flows:768000 runs one size alone.
#include <algorithm>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QPixmap>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include "BudgetGenerator.h"
#include "ui/MainForm.h"
#include "ui/Prompter.h"
#include "ui/widgets/OutlookBar.h"

namespace {

constexpr int MonthsInBudget = BudgetGenerator::Years * 12;
constexpr int BudgetSizes[] = {12'000, 48'000, 192'000, 768'000};

TBenchFolders* Folders = nullptr;
std::string BudgetFile;

std::string BudgetFileOf(int flows) {
    return Folders->File("budget-" + std::to_string(flows) + ".qn");
}

// Every budget file, made in a child process: generating and saving the largest budget takes
// far more memory than opening it, and the peak of this process must be the open window's.
bool MakeBudgetFiles() {
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        for (int flows : BudgetSizes) {
            Environment = new TQVEnvironment();
            BudgetGenerator::Fill(*Environment, flows / MonthsInBudget);
            Environment->SaveToFile(BudgetFileOf(flows));
            delete Environment;
            Environment = nullptr;
        }
        // Not through exit: the folders belong to the parent.
        ::_exit(0);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The budget of the benchmark's argument, before its first iteration.
void Prepare(const benchmark::State& state) {
    BudgetFile = BudgetFileOf(static_cast<int>(state.range(0)));
}

// Peak resident set size of the process so far, in MiB.
double PeakRssMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

void MakeEnvironment() {
    Environment = new TQVEnvironment();
    Environment->LoadLanguagesFrom({QV_LANG_DIR "/"});
    Environment->InitFailed = Environment->CurrentLanguage == nullptr;
    Environment->Settings().AutoOpenLast = true;
    Environment->Settings().RecentNames = {u"Large"};
    Environment->Settings().RecentLocations = {
        std::u16string(BudgetFile.begin(), BudgetFile.end())};
}

// What the event loop would do before the next frame: widgets let go with deleteLater are
// freed, then the widget is painted.
void Paint(QWidget& widget) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QPixmap picture = widget.grab();
    benchmark::DoNotOptimize(picture.cacheKey());
}

// The window with the budget open and painted once.
struct TOpenWindow {
    TOpenWindow() {
        MakeEnvironment();
        window = new TfrmMain();
        window->resize(1280, 800);
        window->show();
        Paint(*window);
    }
    ~TOpenWindow() {
        delete window;
        delete Environment;
        Environment = nullptr;
        QApplication::processEvents();
    }
    TOutlookBar& Bar() { return *window->findChild<TOutlookBar*>(QStringLiteral("LeftBar")); }
    QTreeView& Grid(const char* name) { return *window->findChild<QTreeView*>(name); }
    TfrmMain* window;
};

void BM_OpenToPainted(benchmark::State& state) {
    Prepare(state);
    for (auto _ : state) {
        MakeEnvironment();
        auto* window = new TfrmMain();
        window->resize(1280, 800);
        window->show();
        Paint(*window);
        state.PauseTiming();
        state.counters["PeakRSS_MiB"] = PeakRssMiB();
        delete window;
        delete Environment;
        Environment = nullptr;
        QApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_AllMonths(benchmark::State& state) {
    Prepare(state);
    TOpenWindow open;
    TOutlookBar& bar = open.Bar();
    const int allMonths = bar.Page(0).ButtonCount() - 1;
    for (auto _ : state) {
        open.window->LeftBarButtonClick(allMonths);
        Paint(open.Grid("tvInfo"));
        state.PauseTiming();
        open.window->LeftBarButtonClick(0);
        state.ResumeTiming();
    }
}

void BM_Summary(benchmark::State& state) {
    Prepare(state);
    TOpenWindow open;
    for (auto _ : state) {
        open.window->ShowSummaryPage();
        Paint(open.Grid("tvSummary"));
        state.PauseTiming();
        open.window->ShowCashflowPage();
        state.ResumeTiming();
    }
}

void BM_MonthSwitch(benchmark::State& state) {
    Prepare(state);
    TOpenWindow open;
    int button = 0;
    for (auto _ : state) {
        button = button == 1 ? 2 : 1;
        open.window->LeftBarButtonClick(button);
        Paint(open.Grid("tvInfo"));
    }
}

// An amount typed into a cell of the list of all months and accepted: the flow changes, the
// totals follow and the grid repaints.
void BM_AcceptEditInAllMonths(benchmark::State& state) {
    Prepare(state);
    TOpenWindow open;
    open.window->LeftBarButtonClick(open.Bar().Page(0).ButtonCount() - 1);
    QTreeView& grid = open.Grid("tvInfo");
    QAbstractItemModel& model = *grid.model();
    int row = 0;
    for (auto _ : state) {
        model.setData(model.index(row++ % 1000, 3), QStringLiteral("12"));
        Paint(grid);
    }
}

// A thousand selected rows of the list of all months removed, with their flows.
void BM_RemoveThousandFromAllMonths(benchmark::State& state) {
    Prepare(state);
    for (auto _ : state) {
        state.PauseTiming();
        {
            TOpenWindow open;
            open.window->LeftBarButtonClick(open.Bar().Page(0).ButtonCount() - 1);
            QTreeView& grid = open.Grid("tvInfo");
            QItemSelection selection;
            for (int row = 0; row < 2000; row += 2) {
                selection.select(grid.model()->index(row, 0), grid.model()->index(row, 4));
            }
            grid.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
            state.ResumeTiming();
            open.window->RemoveSelectedMoneyFlows();
            Paint(grid);
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
}

// Each at every budget size; the smallest budget first, so the peak of the open at each size is
// that size's and not a larger one's before it.
void Register() {
    const auto min = [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    };
    for (int flows : BudgetSizes) {
        const auto add = [&](const char* name, void (*run)(benchmark::State&)) {
            return benchmark::RegisterBenchmark(name, run)
                ->Arg(flows)
                ->ArgName("flows")
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("min", min);
        };
        add("Window/OpenToPainted", BM_OpenToPainted)->Iterations(5);
        add("Window/AllMonths", BM_AllMonths);
        add("Window/Summary", BM_Summary);
        add("Window/MonthSwitch", BM_MonthSwitch);
        add("Window/AcceptEditInAllMonths", BM_AcceptEditInAllMonths);
        add("Window/RemoveThousandFromAllMonths", BM_RemoveThousandFromAllMonths)->Iterations(3);
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TBenchFolders folders;
    Folders = &folders;
    if (!MakeBudgetFiles())
        return 1;
    QApplication app(argc, argv);
    // Nothing may wait for a person.
    Prompter::SetHooks(
        {[](const Prompter::Message&) { return QMessageBox::Ok; }, [](QDialog&) {}, {}});
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
