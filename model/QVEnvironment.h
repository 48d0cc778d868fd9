#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/QVBudgetState.h"
#include "model/QVSettings.h"
#include "platform/Workers.h"
#include "storage/QVBase.h"
#include "storage/QVSecret.h"
#include "storage/QVUtils.h"

class TQVCFReader;
class TQVCompoundFile;
class TStream;
class TQVOpenAhead;
class TQVStringKeeper;
class TWideStringList;

// The open budget (TQVBudgetState) and the state of the application around it. The environment
// owns every list of the budget; flows refer to its accounts and categories without owning them.
//
// List accessors raise EListError for an index out of range and leave the list unchanged.
class TQVEnvironment : public TQVBase, public TQVBudgetState {
public:
    // Makes the installation id when it is missing, loads the settings and the language tables.
    TQVEnvironment();
    ~TQVEnvironment() override;
    TQVEnvironment(const TQVEnvironment&) = delete;
    TQVEnvironment& operator=(const TQVEnvironment&) = delete;

    // ---- Lists. The Add services create with the class's constructor, append and return the
    // new index; the creator names the object and gives accounts and categories a fresh Id.

    TQVMonth* GetMonth(int index) const { return FMonths.Get(index); }
    int MonthCount() const { return FMonths.Count(); }
    int AddMonth() { return FMonths.Add(); }
    // Also empties AllFlows, which may refer to the month's flows.
    void DeleteMonth(int index);

    // Removing a category first clears every flow's reference to it, debts and loans included.
    TQVLocation* GetExpenseLocation(int index) const { return FExpenseLocations.Get(index); }
    int ExpenseLocationCount() const { return FExpenseLocations.Count(); }
    int AddExpenseLocation() { return FExpenseLocations.Add(); }
    void DeleteExpenseLocation(int index);
    // The category must be in the list (EListError otherwise).
    void RemoveExpenseLocation(TQVLocation* location);

    TQVLocation* GetIncomeLocation(int index) const { return FIncomeLocations.Get(index); }
    int IncomeLocationCount() const { return FIncomeLocations.Count(); }
    int AddIncomeLocation() { return FIncomeLocations.Add(); }
    void DeleteIncomeLocation(int index);
    void RemoveIncomeLocation(TQVLocation* location);

    TQVSource* GetSource(int index) const { return FSources.Get(index); }
    int SourceCount() const { return FSources.Count(); }
    int AddSource() { return FSources.Add(); }
    // Detaches the account (DetachSource), clears the transfers' references to it, then frees it.
    void DeleteSource(int index);
    // Does nothing when the account is not in the list.
    void RemoveSource(TQVSource* source);

    // Declarations a budget file carries and the program writes back unchanged.
    TQVExpense* GetExpense(int index) const { return FExpenses.Get(index); }
    int ExpenseCount() const { return FExpenses.Count(); }
    int AddExpense() { return FExpenses.Add(); }
    void DeleteExpense(int index) { FExpenses.Delete(index); }

    TQVIncome* GetIncome(int index) const { return FIncomes.Get(index); }
    int IncomeCount() const { return FIncomes.Count(); }
    int AddIncome() { return FIncomes.Add(); }
    void DeleteIncome(int index) { FIncomes.Delete(index); }

    // Category lists a budget file carries; nothing but loading and saving reads them.
    TQVLocation* GetDsLocation(int index) const { return FDsLocations.Get(index); }
    int DsLocationCount() const { return FDsLocations.Count(); }
    int AddDsLocation() { return FDsLocations.Add(); }
    void DeleteDsLocation(int index) { FDsLocations.Delete(index); }

    TQVLocation* GetCsLocation(int index) const { return FCsLocations.Get(index); }
    int CsLocationCount() const { return FCsLocations.Count(); }
    int AddCsLocation() { return FCsLocations.Add(); }
    void DeleteCsLocation(int index) { FCsLocations.Delete(index); }

    // Debts (money owed to others) and loans (credits), outside the months.
    TQVIncomeItem* GetDebt(int index) const { return FDebts.Get(index); }
    int DebtCount() const { return FDebts.Count(); }
    int AddDebt() { return FDebts.Add(); }
    void DeleteDebt(int index) { FDebts.Delete(index); }
    // Does nothing when the debt is not in the list.
    void RemoveDebt(TQVIncomeItem* debt);

    TQVExpenseItem* GetCredit(int index) const { return FCredits.Get(index); }
    int CreditCount() const { return FCredits.Count(); }
    int AddCredit() { return FCredits.Add(); }
    void DeleteCredit(int index) { FCredits.Delete(index); }
    void RemoveCredit(TQVExpenseItem* credit);

    // The all-months view: refers to every flow of every month, newest first, as of the last
    // RebuildAllFlows. Never saved.
    TQVMonth& AllFlows() { return *FAllFlows; }
    const TQVMonth& AllFlows() const { return *FAllFlows; }

    TQVSettings& Settings() { return FSettings; }
    const TQVSettings& Settings() const { return FSettings; }

    // ---- Pick lists: each clears `list`, then adds one line per object in list order with the
    // object attached.

    // Category names; with `onlyEnabled`, disabled categories are left out.
    void FillExpenseLocations(TWideStringList& list, bool onlyEnabled) const;
    void FillIncomeLocations(TWideStringList& list, bool onlyEnabled) const;
    // Account names; `forIncome` leaves out accounts not allowed for incomes, `forExpense` those
    // not allowed for expenses.
    void FillSources(TWideStringList& list, bool forIncome, bool forExpense) const;
    // "Transfer to " and the name, for every account.
    void FillTransferTargets(TWideStringList& list) const;

    // ---- Lookups: the first match or -1. Ids compare byte for byte.

    int IndexOfSourceById(std::string_view id) const;
    // Sets `source`, an account reference of `flow` being read, to the account with that id, or
    // else to an "Untitled" one made for it at the end of the list. While the months are read,
    // on several threads at once, nothing is made: the reference stays null and the miss is
    // noted (TQVMoneyFlow::MissedSources), for the placeholders to be made afterwards in the
    // order the file names them.
    void SetSourceForFlow(TQVSource*& source, const TQVMoneyFlow& flow, std::string_view id);
    int IndexOfExpenseLocationById(std::string_view id) const;
    int IndexOfIncomeLocationById(std::string_view id) const;
    // The first month of today's year and month.
    int IndexOfCurrentMonth() const;
    // The first month of `date`'s year and month. When there is none and `create` is set, a month
    // dated the 1st at 00:00 is appended (the list is not re-sorted) and its index returned.
    int FindMonth(TDateTime date, bool create);

    // ---- Months

    // Adds a month dated now when today's month is missing, then sorts the months newest first.
    void EnsureCurrentMonth();
    // By year and month only: <0 when `a` is the later month.
    static int CompareMonths(const TQVMonth& a, const TQVMonth& b);
    // Refills AllFlows from every month (debts and loans are not flows of a month) and sorts it.
    void RebuildAllFlows();
    // Takes every one of `flows` out of AllFlows and out of the month that owns it, which frees
    // it; the other flows keep their order. A flow no month owns is not freed.
    void DeleteFlows(const std::vector<TQVMoneyFlow*>& flows);

    // Clears the account of every expense and income of the months, and of every debt and loan,
    // that refers to `source`. Transfers keep theirs.
    void DetachSource(const TQVSource* source);

    // Whether a flow of a month refers to the object (debts and loans are not looked at).
    bool IsExpenseLocationUsed(const TQVLocation* location) const;
    bool IsIncomeLocationUsed(const TQVLocation* location) const;
    // Expenses and incomes by their account, transfers by either end.
    bool IsSourceUsed(const TQVSource* source) const;

    // Incomes and transfers in, less expenses and transfers out, over every month. There is no
    // opening balance; debts and loans do not count.
    long double GetSourceBalance(const TQVSource* source) const;

    // Empties every list of the budget (AllFlows too) and forgets its id and protection state.
    // Title, description, file name and the application state stay.
    void Reset();

    // ---- Budget file (QVEnvironmentFile.cpp)

    // Starts a new budget in the (reset) environment: file name, title, a fresh budget id, the
    // recent list and the default content. Nothing is written to disk.
    void NewBudget(const std::string& fileName, const std::u16string& title, bool createCash);
    // The current month, the "Cash" account (with `createCash`) and the default categories.
    void CreateDefaults(bool createCash);
    void AddDefaultLocations();
    // The root items of the budget file, in their fixed order: the body a save writes, without
    // the container's id and protection around it.
    void WriteBudget(TQVCFWriter& root);
    // Writes the budget to `fileName`; the previous file stays intact until the new one is
    // complete on disk. The password record is written (level 1) or every record removed
    // (level 2) only once the new file is in place.
    void SaveToFile(const std::string& fileName);
    // Reads a budget file in place of the open budget. A failed open leaves the budget exactly as
    // it was. A file the container cannot read fails with EPACFError naming the file, the cause
    // in words and the container's own text; one that another program wrote meanwhile fails with
    // EFileChanged. Loaded flows find their accounts and categories through the global
    // Environment, so only that one opens a budget (EAssertionFailed).
    void LoadFromFile(const std::string& fileName);
    // The same from `stream`, open on the file `fileName`, which it must stay while it is read.
    void LoadFromStream(TStream& stream, const std::string& fileName);
    // Starts, on a thread of its own, the slow part of opening the budget a start opens without
    // asking (the newest recent one, when the settings say so and it is a regular file): the key
    // derivations of the stored password records. The environment made next takes them, and its
    // next LoadFromFile uses them when it opens that very name (it opens the same either way).
    // Called first thing, the work runs while the application and its window are made.
    static void PrepareLaunchOpen();
    // Reads `fileName` into the environment (reset first) on a thread of its own, for a start
    // that opens it while its window is made: its stored password records may open it, the user
    // is never asked. Nothing else may touch the environment until FinishLoadAhead.
    void StartLoadAhead(const std::string& fileName);
    // Waits for that read. True: the budget is open. False: nothing was started, or the budget
    // needs a password that only the user can type; the caller then opens it with LoadFromFile,
    // which asks. Any other failure is raised as that open would raise it, read and told once.
    bool FinishLoadAhead();

    // ---- Protection (QVEnvironmentProtection.cpp)

    // The three 16-byte key derivations.
    static TSecret PasswordToKey(std::u16string_view password, std::string_view salt);
    static TSecret KeyToFilePassword(std::string_view key);
    static TSecret DeriveStoreKey(std::string_view secret, std::string_view prefix);

    void SetPassword(std::u16string_view password);
    bool CheckPassword(std::u16string_view password) const;
    void SetProtection(std::uint8_t level);

    // The container's OnInfo and OnPassword handlers while a budget is opened, and its
    // OnPassword handler while one is saved.
    void HeaderRead(TQVCompoundFile& sender);
    void GetLoadPassword(TQVCompoundFile& sender, TSecret& password, bool& cancel);
    void GetSavePassword(TQVCompoundFile& sender, TSecret& password, bool& cancel);

    // Asks the user for the budget's password through PasswordRequest and derives its key.
    TSecret AskPasswordKey();
    TSecretText RequestPassword();
    // The password dialog: returns the typed text, or nothing when the user cancelled. The user
    // interface plugs its dialog in here; tests plug in scripted answers. Unset, or when it
    // throws, the fixed fallback password applies.
    std::function<std::optional<std::u16string>()> PasswordRequest;

    // The stored password record ("default.cpw", every "*.cpw" read).
    void CollectStoredPasswords(std::vector<TSecret>& list);
    void StorePassword();
    void DeleteStoredPasswords();
    std::string EncryptStoredPassword(std::string_view key, std::string_view salt) const;
    bool DecryptStoredPassword(std::string_view payload, std::string_view salt, TSecret& key) const;
    // User name, installation id and hardware string: binds records to this user and machine.
    static std::string GetMachineSecret();

    // The installation id file "iid"; these never raise.
    static bool NeedInstallationId();
    static void CreateInstallationId();
    static std::string ReadInstallationId();

    // ---- Settings, recent budgets, autostart (QVEnvironmentSettings.cpp)

    void LoadSettings();
    // Moves (or puts) the budget at the front of the recent lists under `name`.
    void AddRecent(std::u16string_view name, const std::string& fileName);
    void EnableAutorun();
    void DisableAutorun();
    // Whether the autostart entry exists and starts this program as EnableAutorun writes it; an
    // entry left by a copy of the program elsewhere does not count. Never raises.
    bool IsAutorunEnabled() const;

    // ---- Language tables (QVEnvironmentLanguages.cpp)

    // Loads every table of the program's "lang/" folder, then of the per-user one, and picks the
    // current table by the language setting. Raises EQVException "Language file not found" when
    // no table could be loaded.
    void LoadLanguages();
    // The same over the given folders, in order.
    void LoadLanguagesFrom(const std::vector<std::string>& folders);
    void ClearLanguages();
    TQVStringKeeper* GetLanguage(int index) const { return FLanguages.Get(index); }
    int LanguageCount() const { return FLanguages.Count(); }
    // The current table; null until LoadLanguages picks one.
    TQVStringKeeper* CurrentLanguage = nullptr;

    // ---- Application state (the budget's own fields are TQVBudgetState's)

    std::int32_t MaxPasswordAttempts = 3;
    // Set once at construction when the language tables could not be loaded.
    bool InitFailed = false;
    // Shows the error of a failed start (the language scan) to the user; set it before the
    // environment is made. Unset, the message goes to the standard error stream.
    static inline std::function<void(const std::string&)> StartupErrorHandler;

private:
    // KeyToFilePassword(key), derived once for each key: the derivation costs more than the rest
    // of a save, and a budget is saved and opened again and again under the same key.
    const TSecret& FilePasswordFor(const TSecret& key);

    // The whole model from a budget file's root folder into the fresh budget, whose container
    // holds `budgetId`; a large list of months is built on several threads at once.
    void ReadBudget(TQVCFReader& root, const std::string& budgetId);
    // The months from their list folder.
    void LoadMonths(TQVCFReader& folder);
    // The container's id and protection, settled for a save.
    void PrepareSave(TQVCompoundFile& container);
    // Clears every reference to `location` held by flows, debts and loans.
    void ForgetLocation(const TQVLocation* location);
    // Clears the transfers' references to `source`.
    void ForgetTransferEnds(const TQVSource* source);

    TQVSettings FSettings;
    TQVObjectList<TQVStringKeeper> FLanguages;
    // Set by PrepareLaunchOpen until the next LoadFromFile.
    std::unique_ptr<TQVOpenAhead> FOpenAhead;
    // The read StartLoadAhead runs, and whether an open may ask the user for a password (not
    // from that thread).
    Workers::TBackgroundTask FLoadAhead;
    bool FAskPassword = true;
    // An open that could not ask wanted a typed password.
    bool FPasswordWanted = false;
    // The key, and the level it gave, that opened a file whose read then met a change: the read
    // again tries it first, so that the user is not asked a second time.
    TSecret FOpenedKey;
    std::uint8_t FOpenedLevel = 0;
    // What PrepareLaunchOpen started, handed to the environment made next.
    static std::unique_ptr<TQVOpenAhead>& PendingLaunchOpen();
};

// The one environment of the program, set up once at start before any window exists and null
// until then.
extern TQVEnvironment* Environment;
