#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

#include <tuple>

TEST(SystemInfoTest, FactsInTheWindowsLayout) {
    const std::string x86 = "processor\t: 0\ncpu family\t: 6\nmodel\t\t: 15\nstepping\t: 11\n\n"
                            "processor\t: 1\ncpu family\t: 7\nmodel\t\t: 99\n";
    const std::string arm = "processor\t: 0\nCPU architecture: 8\nCPU variant\t: 0x1\n"
                            "CPU revision\t: 4\n";
    const struct {
        const char* machine;
        std::string cpuInfo;
        long count;
        TSystemInfo expected;
    } cases[] = {
        {"i686", x86, 2, {0, 2, 586, 6, 3851}}, // 3851 = 0x0F0B, the first processor's
        {"x86_64", x86, 16, {9, 16, 8664, 6, 0x0F0B}},
        {"aarch64", arm, 4, {12, 4, 0, 8, 0x0104}},
        {"armv7l", "", -1, {5, 0, 0, 0, 0}},
        {"riscv64", "cpu family : 6\nmodel : zz\n", 1, {0xFFFF, 1, 0, 0, 0}},
    };
    auto fields = [](const TSystemInfo& i) {
        return std::make_tuple(i.ProcessorArchitecture, i.NumberOfProcessors, i.ProcessorType,
                               i.ProcessorLevel, i.ProcessorRevision);
    };
    for (const auto& c : cases)
        EXPECT_EQ(fields(SystemInfoFromFacts(c.machine, c.cpuInfo, c.count)), fields(c.expected))
            << c.machine;
}
