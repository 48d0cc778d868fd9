#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "storage/QVBase.h"
#include "storage/QVCFItem.h"
#include "storage/QVException.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

namespace {

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

// "ok", or the message of the EQVException raised.
std::string Load(TQVBase& object, TQVCFFolder& folder) {
    return Outcome<EQVException>([&] { object.LoadFromFolder(folder); });
}

} // namespace

TEST(BaseTest, SavedObjectLoadsBack) {
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
}

TEST(BaseTest, TypeMustMatchByteForByte) {
    auto withType = [](std::u16string_view name, std::string data) {
        auto folder = std::make_unique<TQVCFFolder>();
        folder->NewFile(name).Data = std::move(data);
        folder->NewFile(u"value").Data = "stored";
        return folder;
    };
    for (const std::string& wrong :
         {std::string("Sample"), std::string("sample ", 7), std::string("sample\0", 7),
          std::string(), std::string("base")}) {
        TSample object;
        object.Value = "untouched";
        EXPECT_EQ(Load(object, *withType(u"type", wrong)), "Invalid object") << wrong;
        EXPECT_EQ(object.Value, "untouched");
    }

    // The item's name is found without regard to case.
    TSample object;
    EXPECT_EQ(Load(object, *withType(u"TYPE", "sample")), "ok");
    EXPECT_EQ(object.Value, "stored");

    // No "type" at all, or a folder by that name: a folder sorts before a file of the same
    // name and is what the lookup finds.
    TQVCFFolder empty;
    EXPECT_EQ(Load(object, empty), "Invalid object");
    auto shadowed = withType(u"type", "sample");
    shadowed->NewFolder(u"Type");
    object.Value = "untouched";
    EXPECT_EQ(Load(object, *shadowed), "Invalid object");
    EXPECT_EQ(object.Value, "untouched");
}

TEST(BaseTest, HasTypeName) {
    EXPECT_TRUE(HasTypeName<TQVBase>("base"));
    EXPECT_TRUE(HasTypeName<TPlain>("base"));
    EXPECT_TRUE(HasTypeName<TSample>("sample"));
    EXPECT_FALSE(HasTypeName<TSample>("Sample"));
    EXPECT_FALSE(HasTypeName<TSample>("base"));
    EXPECT_FALSE(HasTypeName<TQVBase>(""));
}

TEST(BaseTest, WideBytesEncoding) {
    using namespace std::string_literals;
    EXPECT_EQ(QVBase::WideToBytes(u"A"), "A\0"s);
    EXPECT_EQ(QVBase::WideToBytes(u""), "");
    EXPECT_EQ(QVBase::WideToBytes(u"\u20AC\U0001F600"), "\xAC\x20\x3D\xD8\x00\xDE"s);
    EXPECT_EQ(QVBase::BytesToWide("A\0B"s), u"A");
    EXPECT_EQ(QVBase::BytesToWide(""), u"");
    EXPECT_EQ(QVBase::BytesToWide("\xFF"), u"");

    const std::u16string text = u"a\0b\u00E9\uFFFF\xD800"s;
    EXPECT_EQ(QVBase::BytesToWide(QVBase::WideToBytes(text)), text);
}

TEST(BaseTest, GuidStringFormat) {
    const std::string a = QVBase::CreateGUIDString();
    const std::string b = QVBase::CreateGUIDString();
    EXPECT_NE(a, b);
    for (const std::string& id : {a, b}) {
        ASSERT_EQ(id.size(), 32u);
        EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos) << id;
        // The GUID's bytes in memory order put the version nibble (4) of the third field's high
        // byte at position 14, and the variant bits at position 16.
        EXPECT_EQ(id[14], '4') << id;
        EXPECT_NE(std::string("89AB").find(id[16]), std::string::npos) << id;
    }
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
