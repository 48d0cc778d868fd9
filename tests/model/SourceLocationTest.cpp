#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/QVExpense.h"
#include "storage/QVException.h"

namespace {

TQVSource LoadAccount(std::u16string_view name, std::string data) {
    TQVCFFolder folder;
    PutFile(folder, u"type", "sourcedecl");
    if (!name.empty())
        PutFile(folder, name, std::move(data));
    TQVSource source;
    source.Name = u"old";
    source.Icon = 7;
    source.IsDefault = true;
    source.LoadFromFolder(folder);
    return source;
}

} // namespace

TEST(SourceLocation, MissingAndMalformedAccountItems) {
    const TQVSource bare = LoadAccount(u"", "");
    EXPECT_EQ(bare.Name, u"");
    EXPECT_EQ(bare.Id, "");
    EXPECT_EQ(bare.Icon, 0);
    EXPECT_TRUE(bare.AllowIncome && bare.AllowExpense);
    EXPECT_FALSE(bare.IsDefault);
    // A present Boolean is true only as the single byte 0x01, never the default.
    EXPECT_FALSE(LoadAccount(u"ae", "").AllowExpense);
    EXPECT_FALSE(LoadAccount(u"ai", std::string("\x01\x00", 2)).AllowIncome);
    EXPECT_EQ(LoadAccount(u"i", "-1").Icon, -1);
    EXPECT_EQ(LoadAccount(u"I", "12").Icon, 12); // names compare case-blind
    for (const char* bad : {"x1", "", "1x", "99999999999"})
        EXPECT_EQ(LoadAccount(u"i", bad).Icon, 0) << bad;
    EXPECT_EQ(LoadAccount(u"name", std::string("A\0B", 3)).Name, u"A"); // odd byte dropped
}

TEST(SourceLocation, ItemDIsTheDefaultFlagOfAnAccountAndTheDescriptionOfACategory) {
    const std::string text = QVBase::WideToBytes(u"Food");
    EXPECT_FALSE(LoadAccount(u"d", text).IsDefault);
    EXPECT_TRUE(LoadAccount(u"d", "\x01").IsDefault);

    TQVCFFolder folder;
    PutFile(folder, u"type", "locationdecl");
    PutFile(folder, u"d", text);
    TQVLocation category;
    category.LoadFromFolder(folder);
    EXPECT_EQ(category.Description, u"Food");
    EXPECT_TRUE(category.Enabled); // no "e"

    category.Enabled = false;
    TQVCFFolder written;
    category.SaveToFolder(written);
    EXPECT_EQ(FileData(written, u"e"), std::string(1, '\0'));
    EXPECT_EQ(FileData(written, u"d"), text);
}

TEST(SourceLocation, WrongTypeIsRefusedAndChangesNothing) {
    TQVCFFolder folder;
    PutFile(folder, u"type", "SourceDecl");
    PutFile(folder, u"name", QVBase::WideToBytes(u"X"));
    TQVSource source;
    source.Name = u"kept";
    try {
        source.LoadFromFolder(folder);
        FAIL();
    } catch (const EQVException& e) {
        EXPECT_EQ(e.Message(), "Invalid object");
    }
    EXPECT_EQ(source.Name, u"kept");
    TQVCFFolder untyped;
    TQVExpense declaration;
    EXPECT_THROW(declaration.LoadFromFolder(untyped), EQVException);
}
