// The budget file: a new budget's default content, and the whole model to and from a container
// and the disk.
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "model/QVEnvironment.h"
#include "model/QVItems.h"
#include "model/QVMoneyFlow.h"
#include "model/QVOpenAhead.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVCFBodySource.h"
#include "storage/QVCFStream.h"
#include "storage/QVCFWriter.h"
#include "storage/QVCompoundFile.h"

namespace {

constexpr std::size_t BudgetIdSize = 32;

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
void SaveList(TQVCFWriter& root, std::u16string_view name, const TQVObjectList<T>& list,
              bool concurrent = false) {
    const auto write = [&list](int i, TQVCFWriter& folder) { list.Get(i)->SaveToFolder(folder); };
    if (concurrent)
        root.ConcurrentList(name, list.Count(), write);
    else
        root.List(name, list.Count(), write);
}

// Appends one object per sub-folder of the list folder `name`, if there is one. An object that
// fails to load is dropped alone; the rest of the list still loads.
template <class T>
void LoadList(TQVCFFolder& root, std::u16string_view name, TQVObjectList<T>& list) {
    auto* folder = dynamic_cast<TQVCFFolder*>(root.FindItem(name, false));
    if (folder == nullptr)
        return;
    QVItems::ForEachListFolder(*folder, [&list](TQVCFFolder& child) {
        const int index = list.Add();
        try {
            list.Get(index)->LoadFromFolder(child);
        } catch (const std::exception&) {
            list.Delete(index);
        }
    });
}

// LoadList for the months, which hold nearly all of a budget: each is read once, in the order
// the file stores them, and the file's memory of those read is handed back while the rest are
// built, so the open never holds the whole body beside the whole model. The list is filled in
// its order afterwards, exactly as LoadList fills it.
//
// Months still unread in the file are built on several threads at once. Building one only reads
// the rest of the budget, except where a flow names an account the budget lacks: the account
// made for it takes its place in the list by the order the months are read in, so then the
// months are read again, in that order.
template <class T>
void LoadLargeList(TQVEnvironment& environment, TQVCFFolder& root, std::u16string_view name,
                   TQVObjectList<T>& list, bool concurrent) {
    auto* folder = dynamic_cast<TQVCFFolder*>(root.FindItem(name, false));
    if (folder == nullptr)
        return;
    std::vector<std::unique_ptr<T>> loaded;
    std::mutex loadedLock;
    const auto visit = [&loaded, &loadedLock](std::size_t place, TQVCFFolder& child) {
        auto object = std::make_unique<T>();
        try {
            object->LoadFromFolder(child);
        } catch (const std::exception&) {
            object.reset();
        }
        const std::lock_guard<std::mutex> lock(loadedLock);
        if (loaded.size() <= place)
            loaded.resize(place + 1);
        loaded[place] = std::move(object);
    };
    if (!concurrent)
        QVItems::DrainListFolders(*folder, visit);
    else if (environment.ReadMonthsConcurrently(
                 [&] { QVItems::DrainListFolders(*folder, visit, true); }))
        throw EPACFReadAgain();
    for (std::unique_ptr<T>& object : loaded) {
        if (object != nullptr)
            list.Add(std::move(object));
    }
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

void TQVEnvironment::SaveToCompoundFile(TQVCompoundFile& container) {
    TQVCFFolder& root = container.Root();
    // The root alone keeps its items in the order they are written.
    root.SetSorted(false);
    TQVCFTreeWriter writer(root);
    WriteRoot(writer);
    PrepareSave(container);
}

void TQVEnvironment::WriteRoot(TQVCFWriter& root) {
    QVItems::Write(root, u"id", "QV");
    QVItems::Write(root, u"vmaj", "0");
    QVItems::Write(root, u"vmin", "1");
    QVItems::WriteText(root, u"title", Title);
    QVItems::WriteText(root, u"desc", Description);
    SaveList(root, u"l", FExpenseLocations);
    SaveList(root, u"il", FIncomeLocations);
    SaveList(root, u"s", FSources);
    SaveList(root, u"e", FExpenses);
    SaveList(root, u"r", FIncomes);
    SaveList(root, u"ds", FDsLocations);
    SaveList(root, u"cs", FCsLocations);
    SaveList(root, u"m", FMonths, true);
    SaveList(root, u"de", FDebts);
    SaveList(root, u"cr", FCredits);
}

void TQVEnvironment::PrepareSave(TQVCompoundFile& container) {
    EnsureBudgetId(BudgetId);
    container.Info = BudgetId;
    container.Protected = Protection != 0;
    if (container.Protected) {
        container.OnPassword = [this](TQVCompoundFile& sender, std::string& password,
                                      bool& cancel) { GetSavePassword(sender, password, cancel); };
    }
}

void TQVEnvironment::LoadFromCompoundFile(TQVCompoundFile& container, bool concurrentMonths) {
    // Flows find their accounts and categories through the global environment, so only that
    // one can be loaded.
    if (Environment != this)
        throw EAssertionFailed("Assertion failed: only the global environment loads a budget");

    // Every list, not only those the file fills first: debts, loans and the all-months view
    // refer to accounts and categories.
    ClearLists();

    TQVCFFolder& root = container.Root();
    if (const auto title = QVItems::Find(root, u"title"))
        Title = QVBase::BytesToWide(*title);
    if (const auto description = QVItems::Find(root, u"desc"))
        Description = QVBase::BytesToWide(*description);

    // Accounts and categories come before everything that refers to them.
    LoadList(root, u"l", FExpenseLocations);
    LoadList(root, u"il", FIncomeLocations);
    LoadList(root, u"s", FSources);
    LoadList(root, u"e", FExpenses);
    LoadList(root, u"r", FIncomes);
    LoadList(root, u"ds", FDsLocations);
    LoadList(root, u"cs", FCsLocations);
    LoadLargeList(*this, root, u"m", FMonths, concurrentMonths);
    LoadList(root, u"de", FDebts);
    LoadList(root, u"cr", FCredits);

    BudgetId = container.Info;
    EnsureBudgetId(BudgetId);
    EnsureCurrentMonth();
}

void TQVEnvironment::SaveToFile(const std::string& fileName) {
    // The body is measured first, so a fault in any object's items touches nothing on disk. It
    // is then encoded straight into the file, never held as a tree: a save takes little more
    // memory than the open budget. Preparing the container settles the budget id that the stored
    // password record names.
    const TQVCFStreamedBody body([this](TQVCFWriter& root) { WriteRoot(root); });
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
    try {
        FLoadAhead = std::async(std::launch::async, [this, fileName] {
            FAskPassword = false;
            struct TAskAgain {
                bool& Ask;
                ~TAskAgain() { Ask = true; }
            } askAgain{FAskPassword};
            Reset();
            LoadFromFile(fileName);
        });
    } catch (const std::system_error&) {
        // No thread to be had: the caller opens the budget itself.
    }
}

bool TQVEnvironment::FinishLoadAhead() {
    if (!FLoadAhead.valid())
        return false;
    try {
        FLoadAhead.get();
        return true;
    } catch (...) {
        // Not lost: the caller opens the budget again, which asks for a password or reports
        // this failure to the user.
        return false;
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
    {
        TQVCompoundFile container;
        container.OnPassword = [this](TQVCompoundFile& sender, std::string& password,
                                      bool& cancel) { GetLoadPassword(sender, password, cancel); };
        container.OnInfo = [this](TQVCompoundFile& sender) { HeaderRead(sender); };
        TFileStream stream(fileName, TFileMode::OpenRead);
        if (HasObjects()) {
            // Read in place, the months are built while later ones are still unread, and a fault
            // met there leaves a part of the file's budget behind. Where there was nothing
            // before, clearing undoes that; where there was a budget, the file is read whole
            // first, so that a failure leaves that budget as it was.
            container.LoadFromStream(stream);
            LoadFromCompoundFile(container);
        } else {
            container.LoadInPlace(stream);
            const std::u16string title = Title, description = Description;
            try {
                LoadFromCompoundFile(container, true);
            } catch (const EPACFReadAgain&) {
                ClearLists();
                Title = title;
                Description = description;
                container.ReadWhole();
                LoadFromCompoundFile(container);
            }
        }
    }
    // The file's bytes and tree are gone; what stays resident should be the budget alone.
    QVUtils::ReleaseFreeMemory();

    FileName = QVUtils::GetFullPath(fileName);
    AddRecent(Title, FileName);
}
