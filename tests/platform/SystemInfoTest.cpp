#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

TEST(SystemInfoTest, FactsInTheWindowsLayout) {
    const std::string x86 = "processor\t: 0\n"
                            "cpu family\t: 6\n"
                            "model\t\t: 15\n"
                            "stepping\t: 11\n"
                            "\n"
                            "processor\t: 1\n"
                            "cpu family\t: 7\n"
                            "model\t\t: 99\n";
    const std::string arm = "processor\t: 0\n"
                            "CPU architecture: 8\n"
                            "CPU variant\t: 0x1\n"
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
    for (const auto& c : cases) {
        const TSystemInfo info = SystemInfoFromFacts(c.machine, c.cpuInfo, c.count);
        EXPECT_EQ(info.ProcessorArchitecture, c.expected.ProcessorArchitecture) << c.machine;
        EXPECT_EQ(info.NumberOfProcessors, c.expected.NumberOfProcessors) << c.machine;
        EXPECT_EQ(info.ProcessorType, c.expected.ProcessorType) << c.machine;
        EXPECT_EQ(info.ProcessorLevel, c.expected.ProcessorLevel) << c.machine;
        EXPECT_EQ(info.ProcessorRevision, c.expected.ProcessorRevision) << c.machine;
    }
}

TEST(SystemInfoTest, LiveValuesLoginAndCounters) {
    const TSystemInfo info = GetSystemInfo();
    EXPECT_GE(info.NumberOfProcessors, 1u);
    EXPECT_NE(info.ProcessorArchitecture, 0xFFFF);
#if defined(__x86_64__)
    EXPECT_EQ(info.ProcessorArchitecture, 9);
    EXPECT_EQ(info.ProcessorType, 8664u);
#endif
    EXPECT_FALSE(GetLoginName().empty());
    const std::uint64_t first = QueryPerformanceCounter();
    EXPECT_GT(first, 0u);
    EXPECT_GE(QueryPerformanceCounter(), first);
}
