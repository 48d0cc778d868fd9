// The main window over the large generated budget (48,000 flows), offscreen: from making the
// environment to the window painted with the budget open, switching to all months, showing the
// summary, switching months, and the process's peak resident size with the budget open.
#include <fstream>
#include <string>

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

std::string BudgetFile;

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

} // namespace

// Measured first, so its peak is the open budget's and not the benchmarks' after it.
BENCHMARK(BM_OpenToPainted)
    ->Name("Window/OpenToPainted")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_AllMonths)->Name("Window/AllMonths")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Summary)->Name("Window/Summary")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MonthSwitch)->Name("Window/MonthSwitch")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AcceptEditInAllMonths)
    ->Name("Window/AcceptEditInAllMonths")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveThousandFromAllMonths)
    ->Name("Window/RemoveThousandFromAllMonths")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TBenchFolders folders;
    QApplication app(argc, argv);
    // Nothing may wait for a person.
    Prompter::SetHooks(
        {[](const Prompter::Message&) { return QMessageBox::Ok; }, [](QDialog&) {}, {}});
    BudgetFile = folders.File("large.qn");
    {
        Environment = new TQVEnvironment();
        BudgetGenerator::Fill(*Environment);
        Environment->SaveToFile(BudgetFile);
        delete Environment;
        Environment = nullptr;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
