// Prepares the launch benchmark (launch.sh): the large budget saved at the given protection
// level, with its stored password record, and settings that open it at start. Everything goes
// to the per-user folders that XDG_DATA_HOME and XDG_CONFIG_HOME name; the caller points them at
// a temporary folder.
//
//   qv_bench_launch_budget FILE [FLOWS_PER_MONTH [LEVEL [MONTHS]]]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "BudgetGenerator.h"

int main(int argc, char** argv) {
    // The smoke run of every benchmark program passes benchmark options: nothing to prepare then.
    if (argc > 1 && std::string_view(argv[1]).starts_with("--benchmark"))
        return 0;
    // Never the user's own folders: the settings written here would open this budget at start.
    if (std::getenv("XDG_DATA_HOME") == nullptr || std::getenv("XDG_CONFIG_HOME") == nullptr) {
        std::fprintf(stderr, "%s: set XDG_DATA_HOME and XDG_CONFIG_HOME to a scratch folder\n",
                     argv[0]);
        return 2;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [FLOWS_PER_MONTH [LEVEL [MONTHS]]]\n", argv[0]);
        return 2;
    }
    const std::string file = argv[1];
    const int flowsPerMonth = argc > 2 ? std::atoi(argv[2]) : BudgetGenerator::FlowsPerMonth;
    const int level = argc > 3 ? std::atoi(argv[3]) : 1;
    const int months = argc > 4 ? std::atoi(argv[4]) : BudgetGenerator::Years * 12;
    if (flowsPerMonth < 0 || level < 0 || level > 2 || months < 1) {
        std::fprintf(stderr, "bad arguments\n");
        return 2;
    }

    // No language tables are needed to write a budget.
    TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
    Environment = new TQVEnvironment();
    TQVEnvironment& env = *Environment;
    env.Reset();
    BudgetGenerator::Fill(env, flowsPerMonth, months);
    if (level != 0) {
        // A fixed password, so the normal level opens through the stored record.
        env.SetPassword(u"launch-bench");
        env.SetProtection(static_cast<std::uint8_t>(level));
    }
    env.SaveToFile(file);
    env.Settings().AutoOpenLast = true;
    env.Settings().Save();
    return 0;
}
