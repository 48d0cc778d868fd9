// Prepares the launch benchmark (launch.sh): the large budget saved at the given protection
// level, with its stored password record, and settings that open it at start. Everything goes
// to the per-user folders that XDG_DATA_HOME and XDG_CONFIG_HOME name; the caller points them at
// a temporary folder.
//
//   qv_bench_launch_budget FILE [FLOWS_PER_MONTH [LEVEL]]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BudgetGenerator.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [FLOWS_PER_MONTH [LEVEL]]\n", argv[0]);
        return 2;
    }
    const std::string file = argv[1];
    const int flowsPerMonth = argc > 2 ? std::atoi(argv[2]) : BudgetGenerator::FlowsPerMonth;
    const int level = argc > 3 ? std::atoi(argv[3]) : 1;
    if (flowsPerMonth < 0 || level < 0 || level > 2) {
        std::fprintf(stderr, "bad arguments\n");
        return 2;
    }

    // No language tables are needed to write a budget.
    TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
    Environment = new TQVEnvironment();
    TQVEnvironment& env = *Environment;
    env.Reset();
    BudgetGenerator::Fill(env, flowsPerMonth);
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
