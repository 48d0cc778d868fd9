// The budget file: a new budget's default content, and the whole model to and from a container
// and the disk.
#include <algorithm>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/QVEnvironment.h"
#include "model/QVItems.h"
#include "model/QVMoneyFlow.h"
#include "model/QVOpenAhead.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVException.h"
#include "storage/container/QVCFStream.h"
#include "storage/container/QVCFWriter.h"
#include "storage/container/QVCompoundFile.h"

namespace {

constexpr std::size_t BudgetIdSize = 32;
// Reads of a budget that another program keeps changing, before the user is told.
constexpr int MaxReads = 5;

// The categories of a new budget, in the order they are offered.
constexpr const char16_t* DefaultExpenseLocations[] = {
    u"Food",
    u"Clothes",
    u"Cafe",
    u"Transport",
    u"Gifts",
    u"Accessories",
    u"Beauty",
    u"House",
    u"Cellphone",
    u"Vacations",
    u"Interior",
    u"Doctor",
    u"Medicine",
    u"Music/Video",
    u"Computer Software",
    u"Computer Hardware",
    u"Taxes",
    u"Rest and Pleasure",
    u"Debt",
};
constexpr const char16_t* DefaultIncomeLocations[] = {
    u"Salary",
    u"Deposit percents",
    u"Royalties",
    u"Debt",
};

void EnsureBudgetId(std::string& id) {
    if (id.size() < BudgetIdSize) {
        id.assign(BudgetIdSize, '\0');
        QVUtils::RandomBytes(id.data(), static_cast<int>(BudgetIdSize));
    }
}

// Writes every object of `list` into a sub-folder of its own, named by its index. The list is
// the environment's own, which outlives the writer. Writing an object only reads it, so the
// months, which hold nearly all of a budget, may be written several at once.
template <class T>
void SaveList(TQVCFWriter& root, std::u16string_view name, const TQVObjectList<T>& list) {
    const auto write = [&list](int i, TQVCFWriter& folder) { list.Get(i)->SaveToFolder(folder); };
    if constexpr (std::is_same_v<T, TQVMonth>)
        root.ConcurrentList(name, list.Count(), write);
    else
        root.List(name, list.Count(), write);
}

// Appends the objects of a list folder in the order they were written. An object that fails to
// load is dropped alone; the rest of the list still loads.
template <class T> void LoadList(TQVCFReader& folder, TQVObjectList<T>& list) {
    for (std::unique_ptr<T>& object : QVItems::LoadList<T>(folder))
        list.Add(std::move(object));
}

// The words for a container's error that a user can act on: what is wrong with the file.
std::string CannotOpenCause(const std::string& error) {
    if (error == CFMessages::InvalidFile || error == CFMessages::InvalidItem ||
        error == CFMessages::ItemReadError || error == CFMessages::UnknownItemType)
        return "it is damaged or is not a budget";
    if (error == CFMessages::UnsupportedProtection)
        return "it is protected in a way this program does not know";
    if (error == CFMessages::InvalidKey)
        return "it is protected and the right password was not given";
    return "it cannot be read";
}

} // namespace

void TQVEnvironment::NewBudget(const std::string& fileName, const std::u16string& title,
                               bool createCash) {
    FileName = QVUtils::GetFullPath(fileName);
    Title = title;
    BudgetId.clear();
    EnsureBudgetId(BudgetId);
    AddRecent(Title, fileName);
    CreateDefaults(createCash);
}

void TQVEnvironment::CreateDefaults(bool createCash) {
    FindMonth(QVUtils::Now(), true);
    if (createCash) {
        TQVSource* cash = GetSource(AddSource());
        cash->Name = u"Cash";
        cash->Id = QVBase::CreateGUIDString();
        cash->Icon = 3;
        cash->AllowExpense = true;
        cash->AllowIncome = true;
        cash->IsDefault = true;
    }
    AddDefaultLocations();
}

void TQVEnvironment::AddDefaultLocations() {
    for (const char16_t* name : DefaultExpenseLocations) {
        TQVLocation* location = GetExpenseLocation(AddExpenseLocation());
        location->Name = name;
        location->Id = QVBase::CreateGUIDString();
        location->Enabled = true;
    }
    for (const char16_t* name : DefaultIncomeLocations) {
        TQVLocation* location = GetIncomeLocation(AddIncomeLocation());
        location->Name = name;
        location->Id = QVBase::CreateGUIDString();
        location->Enabled = true;
    }
}

void TQVEnvironment::WriteBudget(TQVCFWriter& root) {
    QVItems::Write(root, u"id", "QV");
    QVItems::Write(root, u"vmaj", "0");
    QVItems::Write(root, u"vmin", "1");
    QVItems::WriteText(root, u"title", Title);
    QVItems::WriteText(root, u"desc", Description);
    ForEachList(
        *this, [&root](std::u16string_view name, const auto& list) { SaveList(root, name, list); });
}

void TQVEnvironment::PrepareSave(TQVCompoundFile& container) {
    EnsureBudgetId(BudgetId);
    container.Info = BudgetId;
    container.Protected = Protection != 0;
    if (container.Protected) {
        container.OnPassword = [this](TQVCompoundFile& sender, TSecret& password, bool& cancel) {
            GetSavePassword(sender, password, cancel);
        };
    }
}

void TQVEnvironment::ReadBudget(TQVCFReader& root, const std::string& budgetId) {
    // Flows find their accounts and categories through the global environment, so only that
    // one can be loaded.
    if (Environment != this)
        throw EAssertionFailed("Assertion failed: only the global environment loads a budget");

    if (const auto title = QVItems::Find(root, u"title"))
        Title = QVBase::BytesToWide(*title);
    if (const auto description = QVItems::Find(root, u"desc"))
        Description = QVBase::BytesToWide(*description);

    ForEachList(*this, [this, &root](std::u16string_view name, auto& list) {
        root.Folder(name, [this, &list](TQVCFReader& folder) {
            if constexpr (std::is_same_v<decltype(list), TQVObjectList<TQVMonth>&>)
                LoadMonths(folder);
            else
                LoadList(folder, list);
        });
    });

    BudgetId = budgetId;
    EnsureBudgetId(BudgetId);
    EnsureCurrentMonth();
}

void TQVEnvironment::LoadMonths(TQVCFReader& folder) {
    // The months, which hold nearly all of a budget, may be built on several threads at
    // once. Building one only reads the rest of the budget; a flow that names an account the
    // budget lacks notes the miss, and the accounts are made once every month is built, in
    // the order a reading of the file in order would have made them: the months as stored,
    // each month's flows as written.
    struct TMonthMisses {
        std::size_t Month;
        std::vector<TQVMoneyFlow::TMissedSource> Missed;
    };
    std::vector<TMonthMisses> misses;
    std::mutex lock;
    std::vector<std::unique_ptr<TQVMonth>> months = QVItems::ReadList<TQVMonth>(
        folder,
        [&](std::size_t index, TQVCFReader& child) {
            std::vector<TQVMoneyFlow::TMissedSource> missed;
            TQVMoneyFlow::MissedSources() = &missed;
            struct TStopNoting {
                ~TStopNoting() { TQVMoneyFlow::MissedSources() = nullptr; }
            } stopNoting;
            std::unique_ptr<TQVMonth> month = QVItems::LoadObject<TQVMonth>(child);
            if (month != nullptr && !missed.empty()) {
                const std::lock_guard<std::mutex> hold(lock);
                misses.push_back({index, std::move(missed)});
            }
            return month;
        },
        true);
    for (std::unique_ptr<TQVMonth>& month : months)
        FMonths.Add(std::move(month));
    std::sort(misses.begin(), misses.end(),
              [](const TMonthMisses& a, const TMonthMisses& b) { return a.Month < b.Month; });
    for (const TMonthMisses& month : misses) {
        for (const TQVMoneyFlow::TMissedSource& miss : month.Missed)
            SetSourceForFlow(*miss.Source, *miss.Flow, miss.Id);
    }
}

void TQVEnvironment::SaveToFile(const std::string& fileName) {
    // The body is measured first, so a fault in any object's items touches nothing on disk. It
    // is then encoded straight into the file, never held as a tree: a save takes little more
    // memory than the open budget. Preparing the container settles the budget id that the stored
    // password record names.
    const TQVCFStreamedBody body([this](TQVCFWriter& root) { WriteBudget(root); });
    TQVCompoundFile container;
    PrepareSave(container);

    // Written beside the old file and renamed over it only once complete and on the disk: a
    // failure on the way leaves the previous version as it was.
    const std::string fullPath = QVUtils::GetFullPath(fileName);
    FileSystem::TAtomicFile file(fullPath.empty() ? fileName : fullPath);
    container.SaveToStream(file.Stream(), body);
    file.Commit();

    FileName = fullPath;
    AddRecent(Title, FileName);

    // The records follow the file, never lead it: had they changed before a failed replace, the
    // old file would meet records made for the new one.
    if (Protection == 1)
        StorePassword();
    else if (Protection == 2)
        DeleteStoredPasswords();
}

void TQVEnvironment::StartLoadAhead(const std::string& fileName) {
    // Without a thread to be had nothing starts, and the caller opens the budget itself.
    FPasswordWanted = false;
    FLoadAhead.Start([this, fileName] {
        FAskPassword = false;
        struct TAskAgain {
            bool& Ask;
            ~TAskAgain() { Ask = true; }
        } askAgain{FAskPassword};
        Reset();
        LoadFromFile(fileName);
    });
}

bool TQVEnvironment::FinishLoadAhead() {
    if (!FLoadAhead.Started())
        return false;
    try {
        FLoadAhead.Wait();
        return true;
    } catch (...) {
        if (FPasswordWanted)
            return false;
        throw;
    }
}

void TQVEnvironment::LoadFromFile(const std::string& fileName) {
    // What was prepared serves this one open, and only when it is for this very name.
    if (FOpenAhead && FOpenAhead->FileName() != fileName)
        FOpenAhead.reset();
    struct TDropAhead {
        std::unique_ptr<TQVOpenAhead>& Ahead;
        ~TDropAhead() { Ahead.reset(); }
    } dropAhead{FOpenAhead};
    // A file another program is writing (or wrote moments ago, and may still be writing) is
    // read again once it is still; the user hears of it only when it keeps changing. Each read
    // opens the name afresh, for a writer that put a new file in its place.
    struct TForgetOpenedKey {
        TSecret& Key;
        ~TForgetOpenedKey() { Key.clear(); }
    } forget{FOpenedKey};
    for (int read = 1;; ++read) {
        try {
            TFileStream stream(fileName, TFileMode::OpenRead);
            LoadFromStream(stream, fileName);
            return;
        } catch (const EFileChanged&) {
            if (read == MaxReads || !FileSystem::WaitUntilStill(fileName))
                throw;
        }
    }
}

void TQVEnvironment::LoadFromStream(TStream& stream, const std::string& fileName) {
    // A failed open leaves the budget exactly as it was: the file is read into a fresh budget
    // while the open one waits aside, whole, and comes back whole when the read fails, whatever
    // the read had set by then (lists, ids, protection, keys). The fresh one starts with the
    // title and description, which a file without them keeps.
    TQVBudgetState fresh;
    fresh.Title = Title;
    fresh.Description = Description;
    TQVBudgetState& budget = *this;
    TQVBudgetState aside = std::exchange(budget, std::move(fresh));
    try {
        TQVCompoundFile container;
        container.OnPassword = [this](TQVCompoundFile& sender, TSecret& password, bool& cancel) {
            GetLoadPassword(sender, password, cancel);
        };
        container.OnInfo = [this](TQVCompoundFile& sender) { HeaderRead(sender); };
        container.ReadInPlace(
            stream, [this, &container](TQVCFReader& root) { ReadBudget(root, container.Info); });
    } catch (const EFileChanged&) {
        // A key handed out before the change was found opened the file's check block: a read
        // again tries it first.
        if (!PasswordKey.empty()) {
            FOpenedKey = PasswordKey;
            FOpenedLevel = Protection;
        }
        budget = std::move(aside);
        throw;
    } catch (const EPACFError& error) {
        budget = std::move(aside);
        // The container's own text names neither the file nor what is wrong with it.
        throw EPACFError("Cannot open file \"" + fileName +
                         "\": " + CannotOpenCause(error.Message()) + " (" + error.Message() + ")");
    } catch (...) {
        budget = std::move(aside);
        throw;
    }
    // The file's bytes are gone, and so is the budget before; what stays resident should be the
    // budget alone.
    aside = TQVBudgetState();
    QVUtils::ReleaseFreeMemory();

    FileName = QVUtils::GetFullPath(fileName);
    AddRecent(Title, FileName);
}
