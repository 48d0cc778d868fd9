// A budget file in any form the item encoding allows (lengths in the long form, in eight octets,
// indefinite) opens as the same budget whether it is small enough to be read at once or large
// enough to be read where it lies; and damage in an item the budget never reads refuses the file
// at either size.
#include <string>

#include "ModelTestSupport.h"
#include "platform/FileSystem.h"
#include "storage/QVUtils.h"
#include "support/CFBuild.h"
#include "support/Outcome.h"

namespace {

class BudgetFormsTest : public ModelTest {
protected:
    // A budget with `flows` expenses, saved unprotected; its stored tree.
    std::string SaveBudget(int flows) {
        Env().Reset();
        Env().CreateDefaults(true);
        TQVMonth& month = *Env().GetMonth(0);
        for (int i = 0; i < flows; ++i)
            Add<TQVExpenseItem>(month, i, month.Date + i / 1000.0, Env().GetSource(0))->Name =
                u"Flow " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
        month.Sort();
        Env().SaveToFile(BudgetPath());
        return StoredTree(Env());
    }
};

constexpr std::size_t HeadSize = 20 + 4 + 32; // the header and an info block holding a budget id

// The file at `path` with its body, the root's item, made anew by `encode` from the tree it holds.
void Rewrite(const std::string& path,
             const std::function<std::string(const TQVCFFolder& root)>& encode) {
    const std::string file = FileSystem::ReadFile(path);
    TQVCFFolder root;
    root.SetSorted(false);
    LoadBuffer(root, std::string_view(file).substr(HeadSize));
    const std::string body = encode(root);
    std::string head = file.substr(0, HeadSize);
    QVUtils::PutUInt32LE(reinterpret_cast<std::uint8_t*>(head.data()) + 16,
                         static_cast<std::uint32_t>(body.size()));
    FileSystem::WriteFileAtomic(path, head + body);
}

// The root in the form in use with `replace` standing for the child of that name, and `extra`
// after the last one.
std::string RootWith(const TQVCFFolder& root, std::u16string_view replaced,
                     const std::string& replacement, const std::string& extra = {}) {
    std::string children;
    for (int i = 0; i < root.Count(); ++i) {
        const TQVCFItem& item = *root.GetItem(i);
        children += Der(0x04, item.Name == replaced ? replacement : Built(item));
    }
    return Item("d", NameElement(u""), Der(0x30, children + extra));
}

} // namespace

TEST_F(BudgetFormsTest, EveryFormOpensAndDamageNothingReadsIsRefusedAtAnySize) {
    for (const int flows : {10, 6000}) {
        const std::string stored = SaveBudget(flows);
        const std::string original = FileSystem::ReadFile(BudgetPath());
        ASSERT_EQ(original.size() > (1u << 19), flows > 10);
        for (const Form form : {Form::Padded, Form::Long, Form::Indefinite}) {
            SCOPED_TRACE(std::to_string(flows) + " flows, form " +
                         std::to_string(static_cast<int>(form)));
            const TUseForm use(form);
            FileSystem::WriteFileAtomic(BudgetPath(), original);
            Rewrite(BudgetPath(), [](const TQVCFFolder& root) { return Built(root); });
            Env().Reset();
            ASSERT_EQ(Outcome([&] { Env().LoadFromFile(BudgetPath()); }), "ok");
            EXPECT_EQ(StoredTree(Env()), stored);

            // A version file whose content is no OCTET STRING, and an item of an unknown type in
            // a root folder of a name the budget does not know.
            const std::string prefix =
                "Cannot open file \"" + BudgetPath() + "\": it is damaged or is not a budget (";
            const struct {
                const char* what;
                std::function<std::string(const TQVCFFolder&)> encode;
                std::string message;
            } damaged[] = {
                {"version",
                 [](const TQVCFFolder& root) {
                     return RootWith(root, u"vmaj",
                                     Item("f", NameElement(u"vmaj"), Der(0x0C, "0")));
                 },
                 "Invalid CF file)"},
                {"unknown folder",
                 [](const TQVCFFolder& root) {
                     return RootWith(root, {}, {},
                                     Der(0x04, FolderItem(u"zz", {Item("x", NameElement(u"a"),
                                                                       Der(0x04, ""))})));
                 },
                 "Unknown CF item type)"},
            };
            for (const auto& d : damaged) {
                SCOPED_TRACE(d.what);
                FileSystem::WriteFileAtomic(BudgetPath(), original);
                Rewrite(BudgetPath(), d.encode);
                Env().Title = u"Kept";
                EXPECT_EQ(Outcome([&] { Env().LoadFromFile(BudgetPath()); }), prefix + d.message);
                EXPECT_EQ(Env().Title, u"Kept");
            }
        }
    }
}
