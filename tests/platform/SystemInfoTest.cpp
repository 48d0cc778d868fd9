#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

TEST(SystemInfoTest, LiveValuesAreSane) {
    TSystemInfo info = GetSystemInfo();
    EXPECT_GE(info.NumberOfProcessors, 1u);
    EXPECT_NE(info.ProcessorArchitecture, 0xFFFF);
#if defined(__x86_64__)
    EXPECT_EQ(info.ProcessorArchitecture, 9);
    EXPECT_EQ(info.ProcessorType, 8664u);
    EXPECT_GE(info.ProcessorLevel, 6);
#endif
}

TEST(SystemInfoTest, X86FactsInWindowsLayout) {
    const std::string cpuInfo = "processor\t: 0\n"
                                "vendor_id\t: GenuineIntel\n"
                                "cpu family\t: 6\n"
                                "model\t\t: 15\n"
                                "model name\t: Intel(R) Core(TM)2 CPU\n"
                                "stepping\t: 11\n"
                                "\n"
                                "processor\t: 1\n"
                                "cpu family\t: 7\n"
                                "model\t\t: 99\n"
                                "stepping\t: 99\n";
    TSystemInfo info = SystemInfoFromFacts("i686", cpuInfo, 2);
    EXPECT_EQ(info.ProcessorArchitecture, 0);
    EXPECT_EQ(info.NumberOfProcessors, 2u);
    EXPECT_EQ(info.ProcessorType, 586u);
    EXPECT_EQ(info.ProcessorLevel, 6);
    EXPECT_EQ(info.ProcessorRevision, 3851); // 0x0F0B

    info = SystemInfoFromFacts("x86_64", cpuInfo, 16);
    EXPECT_EQ(info.ProcessorArchitecture, 9);
    EXPECT_EQ(info.ProcessorType, 8664u);
    EXPECT_EQ(info.ProcessorRevision, 0x0F0B);
}

TEST(SystemInfoTest, ArmAndUnknownFacts) {
    const std::string cpuInfo = "processor\t: 0\n"
                                "BogoMIPS\t: 48.00\n"
                                "CPU implementer\t: 0x41\n"
                                "CPU architecture: 8\n"
                                "CPU variant\t: 0x1\n"
                                "CPU part\t: 0xd0c\n"
                                "CPU revision\t: 4\n";
    TSystemInfo info = SystemInfoFromFacts("aarch64", cpuInfo, 4);
    EXPECT_EQ(info.ProcessorArchitecture, 12);
    EXPECT_EQ(info.ProcessorType, 0u);
    EXPECT_EQ(info.ProcessorLevel, 8);
    EXPECT_EQ(info.ProcessorRevision, 0x0104);

    info = SystemInfoFromFacts("armv7l", "", -1);
    EXPECT_EQ(info.ProcessorArchitecture, 5);
    EXPECT_EQ(info.NumberOfProcessors, 0u);
    EXPECT_EQ(info.ProcessorLevel, 0);

    info = SystemInfoFromFacts("riscv64", "cpu family : 6\nmodel : zz\n", 1);
    EXPECT_EQ(info.ProcessorArchitecture, 0xFFFF);
    EXPECT_EQ(info.ProcessorLevel, 0);
    EXPECT_EQ(info.ProcessorRevision, 0);
}

TEST(SystemInfoTest, LoginNameAndCounters) {
    // The password database answers first; $USER may name someone else after su.
    EXPECT_FALSE(GetLoginName().empty());

    std::uint64_t first = QueryPerformanceCounter();
    std::uint64_t second = QueryPerformanceCounter();
    EXPECT_GT(first, 0u);
    EXPECT_GE(second, first);
}
