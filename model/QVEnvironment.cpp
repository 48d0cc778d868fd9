#include "model/QVEnvironment.h"

#include <iostream>

#include "model/QVA2A.h"
#include "model/QVOpenAhead.h"
#include "model/QVStringKeeper.h"
#include "platform/WideStringList.h"

TQVEnvironment* Environment = nullptr;

namespace {

template <class T> int IndexById(const TQVObjectList<T>& list, std::string_view id) {
    int index = 0;
    // Every flow read names its account and category: the first byte turns most ids away
    // before a whole comparison.
    for (const auto& item : list) {
        const std::string& candidate = item->Id;
        if (candidate.size() == id.size() && (id.empty() || candidate[0] == id[0]) &&
            candidate == id)
            return index;
        ++index;
    }
    return -1;
}

void FillLocations(const TQVObjectList<TQVLocation>& locations, TWideStringList& list,
                   bool onlyEnabled) {
    list.Clear();
    for (const auto& location : locations) {
        if (!onlyEnabled || location->Enabled)
            list.Add(location->Name, location.get());
    }
}

} // namespace

// The lists, the settings with their built-in values and the budget fields start empty (see the
// member initialisers); then the installation id, the stored settings and the language tables.
// A failed language scan is shown and marks the start as failed; the rest of the environment is
// built all the same.
TQVEnvironment::TQVEnvironment() : FOpenAhead(std::move(PendingLaunchOpen())) {
    if (NeedInstallationId())
        CreateInstallationId();
    LoadSettings();
    try {
        LoadLanguages();
    } catch (const std::exception& error) {
        if (StartupErrorHandler)
            StartupErrorHandler(error.what());
        else
            std::cerr << error.what() << '\n';
        InitFailed = true;
    }
}

TQVEnvironment::~TQVEnvironment() = default;

// ---- Lists

void TQVEnvironment::DeleteMonth(int index) {
    TQVMonth* month = GetMonth(index);
    if (!month->Flows().empty())
        FAllFlows->Clear();
    FMonths.Delete(index);
}

void TQVEnvironment::DeleteExpenseLocation(int index) {
    ForgetLocation(GetExpenseLocation(index));
    FExpenseLocations.Delete(index);
}

void TQVEnvironment::RemoveExpenseLocation(TQVLocation* location) {
    DeleteExpenseLocation(FExpenseLocations.IndexOf(location));
}

void TQVEnvironment::DeleteIncomeLocation(int index) {
    ForgetLocation(GetIncomeLocation(index));
    FIncomeLocations.Delete(index);
}

void TQVEnvironment::RemoveIncomeLocation(TQVLocation* location) {
    DeleteIncomeLocation(FIncomeLocations.IndexOf(location));
}

void TQVEnvironment::DeleteSource(int index) {
    const TQVSource* source = GetSource(index);
    DetachSource(source);
    ForgetTransferEnds(source);
    FSources.Delete(index);
}

void TQVEnvironment::RemoveSource(TQVSource* source) {
    const int index = FSources.IndexOf(source);
    if (index >= 0)
        DeleteSource(index);
}

void TQVEnvironment::RemoveDebt(TQVIncomeItem* debt) {
    const int index = FDebts.IndexOf(debt);
    if (index >= 0)
        FDebts.Delete(index);
}

void TQVEnvironment::RemoveCredit(TQVExpenseItem* credit) {
    const int index = FCredits.IndexOf(credit);
    if (index >= 0)
        FCredits.Delete(index);
}

void TQVEnvironment::ForgetLocation(const TQVLocation* location) {
    for (const auto& month : FMonths) {
        for (TQVMoneyFlow* flow : month->Flows()) {
            if (flow->Kind() == TQVFlowKind::Expense) {
                auto* expense = static_cast<TQVExpenseItem*>(flow);
                if (expense->Location == location)
                    expense->Location = nullptr;
            } else if (flow->Kind() == TQVFlowKind::Income) {
                auto* income = static_cast<TQVIncomeItem*>(flow);
                if (income->Location == location)
                    income->Location = nullptr;
            }
        }
    }
    for (const auto& debt : FDebts) {
        if (debt->Location == location)
            debt->Location = nullptr;
    }
    for (const auto& credit : FCredits) {
        if (credit->Location == location)
            credit->Location = nullptr;
    }
}

void TQVEnvironment::ForgetTransferEnds(const TQVSource* source) {
    for (const auto& month : FMonths) {
        for (TQVMoneyFlow* flow : month->Flows()) {
            if (flow->Kind() != TQVFlowKind::A2A)
                continue;
            auto* transfer = static_cast<TQVA2AItem*>(flow);
            if (transfer->Source == source)
                transfer->Source = nullptr;
            if (transfer->Destination == source)
                transfer->Destination = nullptr;
        }
    }
}

// ---- Pick lists

void TQVEnvironment::FillExpenseLocations(TWideStringList& list, bool onlyEnabled) const {
    FillLocations(FExpenseLocations, list, onlyEnabled);
}

void TQVEnvironment::FillIncomeLocations(TWideStringList& list, bool onlyEnabled) const {
    FillLocations(FIncomeLocations, list, onlyEnabled);
}

void TQVEnvironment::FillSources(TWideStringList& list, bool forIncome, bool forExpense) const {
    list.Clear();
    for (const auto& source : FSources) {
        if ((forIncome && !source->AllowIncome) || (forExpense && !source->AllowExpense))
            continue;
        list.Add(source->Name, source.get());
    }
}

void TQVEnvironment::FillTransferTargets(TWideStringList& list) const {
    list.Clear();
    for (const auto& source : FSources)
        list.Add(u"Transfer to " + source->Name, source.get());
}

// ---- Lookups

int TQVEnvironment::IndexOfSourceById(std::string_view id) const {
    return IndexById(FSources, id);
}

void TQVEnvironment::SetSourceForFlow(TQVSource*& source, const TQVMoneyFlow& flow,
                                      std::string_view id) {
    const int index = IndexOfSourceById(id);
    if (index >= 0) {
        source = GetSource(index);
        return;
    }
    source = nullptr;
    if (std::vector<TQVMoneyFlow::TMissedSource>* missed = TQVMoneyFlow::MissedSources()) {
        missed->push_back({&flow, &source, std::string(id)});
        return;
    }
    TQVSource* placeholder = GetSource(AddSource());
    placeholder->Id = id;
    placeholder->Name = u"Untitled";
    source = placeholder;
}

int TQVEnvironment::IndexOfExpenseLocationById(std::string_view id) const {
    return IndexById(FExpenseLocations, id);
}

int TQVEnvironment::IndexOfIncomeLocationById(std::string_view id) const {
    return IndexById(FIncomeLocations, id);
}

int TQVEnvironment::IndexOfCurrentMonth() const {
    const TDateTime now = QVUtils::Now();
    for (int i = 0; i < MonthCount(); ++i) {
        if (GetMonth(i)->IsSameMonth(now))
            return i;
    }
    return -1;
}

int TQVEnvironment::FindMonth(TDateTime date, bool create) {
    for (int i = 0; i < MonthCount(); ++i) {
        if (GetMonth(i)->IsSameMonth(date))
            return i;
    }
    if (!create)
        return -1;
    const QVUtils::TDateParts parts = QVUtils::DecodeDate(date);
    const int index = AddMonth();
    GetMonth(index)->Date = QVUtils::EncodeDate(parts.Year, parts.Month, 1);
    return index;
}

// ---- Months

void TQVEnvironment::EnsureCurrentMonth() {
    if (IndexOfCurrentMonth() < 0)
        GetMonth(AddMonth())->Date = QVUtils::Now();
    FMonths.StableSort(
        [](const TQVMonth& a, const TQVMonth& b) { return CompareMonths(a, b) < 0; });
}

int TQVEnvironment::CompareMonths(const TQVMonth& a, const TQVMonth& b) {
    const QVUtils::TDateParts da = QVUtils::DecodeDate(a.Date);
    const QVUtils::TDateParts db = QVUtils::DecodeDate(b.Date);
    return (db.Year * 12 + db.Month) - (da.Year * 12 + da.Month);
}

void TQVEnvironment::RebuildAllFlows() {
    // From the last month of the list to the first: flows of equal dates keep that order.
    std::vector<const TQVMonth*> months;
    months.reserve(static_cast<std::size_t>(MonthCount()));
    for (int i = MonthCount() - 1; i >= 0; --i)
        months.push_back(GetMonth(i));
    FAllFlows->RefillSorted(months);
}

void TQVEnvironment::DeleteFlows(const std::vector<TQVMoneyFlow*>& flows) {
    // One set for the whole budget; a month holding none of the flows costs one look at each of
    // its addresses, not at its flows.
    const TQVFlowSet doomed(flows);
    // The view lets go first: it must not keep what the months are about to free.
    FAllFlows->RemoveFlows(doomed);
    for (const auto& month : FMonths)
        month->RemoveFlows(doomed);
}

void TQVEnvironment::DetachSource(const TQVSource* source) {
    for (const auto& month : FMonths) {
        for (TQVMoneyFlow* flow : month->Flows()) {
            if (flow->Kind() == TQVFlowKind::Expense) {
                auto* expense = static_cast<TQVExpenseItem*>(flow);
                if (expense->Source == source)
                    expense->Source = nullptr;
            } else if (flow->Kind() == TQVFlowKind::Income) {
                auto* income = static_cast<TQVIncomeItem*>(flow);
                if (income->Source == source)
                    income->Source = nullptr;
            }
        }
    }
    // Debts and loans hold accounts too; a removed account must not stay behind in them.
    for (const auto& debt : FDebts) {
        if (debt->Source == source)
            debt->Source = nullptr;
    }
    for (const auto& credit : FCredits) {
        if (credit->Source == source)
            credit->Source = nullptr;
    }
}

bool TQVEnvironment::IsExpenseLocationUsed(const TQVLocation* location) const {
    for (const auto& month : FMonths) {
        for (const TQVMoneyFlow* flow : month->Flows()) {
            if (flow->Kind() == TQVFlowKind::Expense &&
                static_cast<const TQVExpenseItem*>(flow)->Location == location)
                return true;
        }
    }
    return false;
}

bool TQVEnvironment::IsIncomeLocationUsed(const TQVLocation* location) const {
    for (const auto& month : FMonths) {
        for (const TQVMoneyFlow* flow : month->Flows()) {
            if (flow->Kind() == TQVFlowKind::Income &&
                static_cast<const TQVIncomeItem*>(flow)->Location == location)
                return true;
        }
    }
    return false;
}

bool TQVEnvironment::IsSourceUsed(const TQVSource* source) const {
    for (const auto& month : FMonths) {
        for (const TQVMoneyFlow* flow : month->Flows()) {
            switch (flow->Kind()) {
            case TQVFlowKind::Expense:
                if (static_cast<const TQVExpenseItem*>(flow)->Source == source)
                    return true;
                break;
            case TQVFlowKind::Income:
                if (static_cast<const TQVIncomeItem*>(flow)->Source == source)
                    return true;
                break;
            case TQVFlowKind::A2A: {
                const auto* transfer = static_cast<const TQVA2AItem*>(flow);
                if (transfer->Source == source || transfer->Destination == source)
                    return true;
                break;
            }
            }
        }
    }
    return false;
}

long double TQVEnvironment::GetSourceBalance(const TQVSource* source) const {
    long double in = 0.0L;
    long double out = 0.0L;
    for (const auto& month : FMonths) {
        for (const TQVMoneyFlow* flow : month->Flows()) {
            switch (flow->Kind()) {
            case TQVFlowKind::Expense:
                if (static_cast<const TQVExpenseItem*>(flow)->Source == source)
                    out += flow->Sum;
                break;
            case TQVFlowKind::Income:
                if (static_cast<const TQVIncomeItem*>(flow)->Source == source)
                    in += flow->Sum;
                break;
            case TQVFlowKind::A2A: {
                // A transfer from an account to itself counts both ways and nets to nothing.
                const auto* transfer = static_cast<const TQVA2AItem*>(flow);
                if (transfer->Source == source)
                    out += flow->Sum;
                if (transfer->Destination == source)
                    in += flow->Sum;
                break;
            }
            }
        }
    }
    return in - out;
}

void TQVEnvironment::Reset() {
    // An empty budget in place of this one; the window shows these three until the next budget
    // replaces them.
    TQVBudgetState empty;
    empty.Title = std::move(Title);
    empty.Description = std::move(Description);
    empty.FileName = std::move(FileName);
    static_cast<TQVBudgetState&>(*this) = std::move(empty);
}
