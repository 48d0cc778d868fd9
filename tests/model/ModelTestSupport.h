#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "model/QVA2A.h"
#include "model/QVEnvironment.h"
#include "storage/QVBase.h"
#include "storage/QVUtils.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFWriter.h"
#include "storage/container/QVCompoundFile.h"
#include "support/ItemDump.h"
#include "support/TempDir.h"

// Each test gets a fresh global Environment and leaves none behind. Its per-user data and
// configuration live in a temporary folder, so nothing reaches the real home folder; the start-up
// error (there are no language tables there) is expected and kept quiet.
class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
        Environment = new TQVEnvironment();
    }
    void TearDown() override {
        delete Environment;
        Environment = nullptr;
    }
    static TQVEnvironment& Env() { return *Environment; }
    std::string BudgetPath(const std::string& name = "budget.qn") const { return Home.File(name); }
    static std::string DataFolder() { return QVBase::GetAppDataFolder(true); }
    TTempDir Home;
    TScopedEnv DataHome{"XDG_DATA_HOME", Home.Path() + "/data"};
    TScopedEnv ConfigHome{"XDG_CONFIG_HOME", Home.Path() + "/config"};
    static TQVSource* NewSource(std::u16string name) {
        TQVSource* source = Env().GetSource(Env().AddSource());
        source->Name = std::move(name);
        source->Id = QVBase::CreateGUIDString();
        return source;
    }
    // An expense category, or an income category with `income`.
    static TQVLocation* NewLocation(std::u16string name, bool income = false) {
        TQVLocation* location = income ? Env().GetIncomeLocation(Env().AddIncomeLocation())
                                       : Env().GetExpenseLocation(Env().AddExpenseLocation());
        location->Name = std::move(name);
        location->Id = QVBase::CreateGUIDString();
        return location;
    }
    // A month dated the 1st of `year`/`month`.
    static TQVMonth* NewMonth(int year, int month) {
        return Env().GetMonth(Env().FindMonth(QVUtils::EncodeDate(year, month, 1), true));
    }
};

// Adds a flow of kind T to `month`.
template <class T>
T* Add(TQVMonth& month, long double sum, TDateTime date, TQVSource* source = nullptr) {
    int index;
    if constexpr (std::is_same_v<T, TQVExpenseItem>)
        index = month.AddExpense();
    else if constexpr (std::is_same_v<T, TQVIncomeItem>)
        index = month.AddIncome();
    else
        index = month.AddA2A();
    auto* flow = static_cast<T*>(month.GetFlow(index));
    flow->Sum = sum;
    flow->Date = date;
    flow->Source = source;
    return flow;
}

inline void PutFile(TQVCFFolder& folder, std::u16string_view name, std::string data) {
    folder.NewFile(name).Data = std::move(data);
}

// A new sub-folder of `parent` holding "type" = `type`.
inline TQVCFFolder& TypedFolder(TQVCFFolder& parent, std::u16string_view name, std::string type) {
    TQVCFFolder& folder = parent.NewFolder(name);
    PutFile(folder, u"type", std::move(type));
    return folder;
}

inline std::string FileData(TQVCFFolder& folder, std::u16string_view name) {
    const auto* file = dynamic_cast<const TQVCFFile*>(folder.FindItem(name, false));
    EXPECT_NE(file, nullptr) << "no item of that name";
    return file != nullptr ? file->Data : std::string();
}

// A container holding the budget's tree as a save writes it (the root in its written order), and
// its id; unprotected.
inline void BudgetContainer(TQVEnvironment& env, TQVCompoundFile& container) {
    container.Root().SetSorted(false);
    TQVCFTreeWriter writer(container.Root());
    env.WriteBudget(writer);
    container.Info = env.BudgetId;
}

// Everything of the budget that a file stores: the tree it would write now.
inline std::string StoredTree(TQVEnvironment& env) {
    TQVCompoundFile container;
    BudgetContainer(env, container);
    return DumpTree(container.Root());
}
