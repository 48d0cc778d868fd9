#include <gtest/gtest.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/Guid.h"
#include "storage/QVBase.h"
#include "storage/QVCFItem.h"
#include "storage/QVException.h"
#include "storage/QVUtils.h"
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
    void WriteContents(TQVCFFolder& folder) override { folder.NewFile(u"value").Data = Value; }
    void ReadContents(TQVCFFolder& folder) override {
        auto* file = dynamic_cast<TQVCFFile*>(folder.FindItem(u"value", false));
        Value = file != nullptr ? file->Data : "missing";
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

TEST(BaseTest, TypeItemDecidesWhoLoads) {
    TSample saved;
    saved.Value = "42";
    TQVCFFolder folder;
    saved.SaveToFolder(folder);
    ASSERT_EQ(folder.Count(), 2);
    auto* type = dynamic_cast<TQVCFFile*>(folder.GetItem(0));
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->Name, u"type");
    EXPECT_EQ(type->Data, "sample");
    TSample loaded;
    EXPECT_EQ(Load(loaded, folder), "ok");
    EXPECT_EQ(loaded.Value, "42");

    // The bytes must match exactly, the item's name only without regard to case.
    auto withType = [](std::u16string_view name, std::string data) {
        auto typed = std::make_unique<TQVCFFolder>();
        typed->NewFile(name).Data = std::move(data);
        typed->NewFile(u"value").Data = "stored";
        return typed;
    };
    for (const std::string& wrong : {"Sample"s, "sample "s, "sample\0"s, ""s, "base"s}) {
        TSample object;
        object.Value = "untouched";
        EXPECT_EQ(Load(object, *withType(u"type", wrong)), "Invalid object") << wrong;
        EXPECT_EQ(object.Value, "untouched");
    }
    TSample object;
    EXPECT_EQ(Load(object, *withType(u"TYPE", "sample")), "ok");
    EXPECT_EQ(object.Value, "stored");
    // No "type" at all, or a folder by that name (a folder sorts before a file of that name).
    TQVCFFolder empty;
    EXPECT_EQ(Load(object, empty), "Invalid object");
    auto shadowed = withType(u"type", "sample");
    shadowed->NewFolder(u"Type");
    EXPECT_EQ(Load(object, *shadowed), "Invalid object");

    EXPECT_TRUE(HasTypeName<TQVBase>("base"));
    EXPECT_TRUE(HasTypeName<TPlain>("base"));
    EXPECT_TRUE(HasTypeName<TSample>("sample"));
    EXPECT_FALSE(HasTypeName<TSample>("Sample"));
    EXPECT_FALSE(HasTypeName<TSample>("base"));
}

TEST(BaseTest, WideBytesAreUtf16LowByteFirst) {
    EXPECT_EQ(QVBase::WideToBytes(u"A"), "A\0"s);
    EXPECT_EQ(QVBase::WideToBytes(u""), "");
    EXPECT_EQ(QVBase::WideToBytes(u"\u20AC\U0001F600"), "\xAC\x20\x3D\xD8\x00\xDE"s);
    EXPECT_EQ(QVBase::BytesToWide("A\0B"s), u"A");
    EXPECT_EQ(QVBase::BytesToWide("\xFF"), u"");
    const std::u16string text = u"a\0b\u00E9\uFFFF\xD800"s;
    EXPECT_EQ(QVBase::BytesToWide(QVBase::WideToBytes(text)), text);
}

TEST(BaseTest, IdentifiersFromGuidsInMemoryOrder) {
    for (int i = 0; i < 2; ++i) {
        const std::string id = QVBase::CreateGUIDString();
        ASSERT_EQ(id.size(), 32u);
        EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos) << id;
        // The third field's high byte, with the version nibble 4, comes eighth; the variant
        // bits open the ninth byte.
        EXPECT_EQ(id[14], '4') << id;
        EXPECT_NE(std::string("89AB").find(id[16]), std::string::npos) << id;
    }
}

// Without a GUID the identifier is four draws below 2^32 - 1 from the congruential generator.
// Such a draw is the state less one, so each group foretells the next.
TEST(BaseTest, IdentifierFallsBackOnTheCongruentialGenerator) {
    FailSystemRandom = true;
    TGUID guid;
    const std::int32_t result = CoCreateGuid(guid);
    const std::string id = QVBase::CreateGUIDString();
    const std::uint32_t after = QVUtils::Random(0xFFFFFFFFu);
    FailSystemRandom = false;
    EXPECT_LT(result, 0);
    ASSERT_EQ(id.size(), 32u);
    ASSERT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos) << id;
    std::uint32_t state = static_cast<std::uint32_t>(std::stoul(id.substr(0, 8), nullptr, 16)) + 1;
    std::string expected = id.substr(0, 8);
    for (int group = 1; group <= 4; ++group) {
        state = state * 134775813u + 1u;
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08X", state - 1);
        expected += digits;
    }
    EXPECT_EQ(id, expected.substr(0, 32));
    EXPECT_EQ(after, state - 1);
}

TEST(BaseTest, AppDataFolder) {
    {
        TScopedEnv data("XDG_DATA_HOME", "/srv/data/");
        EXPECT_EQ(QVBase::GetAppDataFolder(true), "/srv/data/Tavrin Group/Quillvane/");
    }
    TScopedEnv home("HOME", "/home/ann");
    for (const char* unusable : {static_cast<const char*>(nullptr), "relative/data"}) {
        TScopedEnv data("XDG_DATA_HOME",
                        unusable ? std::optional<std::string>(unusable) : std::nullopt);
        EXPECT_EQ(QVBase::GetAppDataFolder(true), "/home/ann/.local/share/Tavrin Group/Quillvane/");
    }
}
