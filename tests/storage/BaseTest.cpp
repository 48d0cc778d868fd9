#include <gtest/gtest.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <tuple>

#include "platform/Guid.h"
#include "storage/QVBase.h"
#include "storage/QVException.h"
#include "storage/QVUtils.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFReader.h"
#include "storage/container/QVCFWriter.h"
#include "support/ItemDump.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

using namespace std::string_literals;

namespace {

bool FailSystemRandom = false;

// A stored object with one item of its own.
class TSample : public TQVBase {
public:
    static std::string_view ClassTypeName() { return "sample"; }
    std::string_view GetTypeName() const override { return ClassTypeName(); }
    void WriteContents(TQVCFWriter& folder) override { folder.File(u"value", Value); }
    void ReadContents(TQVCFReader& folder) override {
        std::string_view data;
        Value = folder.File(u"value", data) ? std::string(data) : "missing";
    }
    std::string Value;
};

// A class that keeps the base's type string.
class TPlain : public TQVBase {};

std::string Load(TQVBase& object, TQVCFFolder& folder) {
    return Outcome<EQVException>([&] { object.LoadFromFolder(folder); });
}

} // namespace

// Stands in for the C library's getrandom in this test program, so that a test can make the
// system's generator fail; otherwise it asks the kernel, as the library does.
extern "C" ssize_t getrandom(void* buffer, size_t length, unsigned int flags) {
    if (FailSystemRandom) {
        errno = ENOSYS;
        return -1;
    }
    return syscall(SYS_getrandom, buffer, length, flags);
}

// The type item's bytes must match exactly, its name only without regard to case.
TEST(BaseTest, TypeItemDecidesWhoLoads) {
    TSample saved;
    saved.Value = "42";
    TQVCFFolder folder;
    saved.SaveToFolder(folder);
    EXPECT_EQ(DumpTree(folder), "/: type=sample value=42\n");
    for (const auto& [name, type, outcome] : {std::tuple{u"TYPE", "sample"s, "ok"},
                                              {u"type", "Sample"s, "Invalid object"},
                                              {u"type", "sample\0"s, "Invalid object"},
                                              {u"type", "base"s, "Invalid object"},
                                              {u"kind", "sample"s, "Invalid object"}}) {
        TQVCFFolder typed;
        typed.NewFile(name).Data = type;
        typed.NewFile(u"value").Data = "stored";
        TSample object;
        object.Value = "untouched";
        EXPECT_EQ(Load(object, typed), outcome) << type;
        EXPECT_EQ(object.Value, outcome == "ok"s ? "stored" : "untouched");
    }
    EXPECT_TRUE(HasTypeName<TPlain>("base"));
}

// Without a GUID the identifier is four draws below 2^32 - 1 from the congruential generator.
// Such a draw is the state less one, so each group foretells the next. A draw with another bound
// differs from it only for some states, so several identifiers are checked.
TEST(BaseTest, IdentifierFallsBackOnTheCongruentialGenerator) {
    struct TFail {
        TFail() { FailSystemRandom = true; }
        ~TFail() { FailSystemRandom = false; }
    } fail;
    TGUID guid;
    EXPECT_LT(CoCreateGuid(guid), 0);
    for (int round = 0; round < 16; ++round) {
        const std::string id = QVBase::CreateGUIDString();
        const std::uint32_t after = QVUtils::Random(0xFFFFFFFFu);
        ASSERT_EQ(id.size(), 32u);
        ASSERT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos) << id;
        std::uint32_t state = static_cast<std::uint32_t>(std::stoul(id.substr(0, 8), nullptr, 16));
        std::string expected = id.substr(0, 8);
        for (int group = 1; group <= 4; ++group) {
            state = (state + 1) * 134775813u;
            char digits[9];
            std::snprintf(digits, sizeof digits, "%08X", state);
            expected += digits;
        }
        EXPECT_EQ(id, expected.substr(0, 32));
        EXPECT_EQ(after, state);
    }
}

TEST(BaseTest, AppDataFolder) {
    TScopedEnv home("HOME", "/home/ann");
    TScopedEnv data("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(QVBase::GetAppDataFolder(true), "/home/ann/.local/share/Tavrin Group/Quillvane/");
}
