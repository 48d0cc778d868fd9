#include "model/QVMonth.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "model/QVA2A.h"
#include "model/QVExpenseItem.h"
#include "model/QVItems.h"
#include "model/QVReceiptItem.h"
#include "storage/QVException.h"
#include "storage/container/QVCFWriter.h"

TQVMonth::~TQVMonth() {
    Clear();
}

std::unique_ptr<TQVMoneyFlow> TQVMonth::ReadFlow(const QVItems::TValues& values) {
    const auto type = values.Find(TQVMoneyFlow::ItemType);
    std::unique_ptr<TQVMoneyFlow> flow;
    if (!type)
        return flow;
    if (HasTypeName<TQVExpenseItem>(*type))
        flow = std::make_unique<TQVExpenseItem>();
    else if (HasTypeName<TQVIncomeItem>(*type))
        flow = std::make_unique<TQVIncomeItem>();
    else if (HasTypeName<TQVA2AItem>(*type))
        flow = std::make_unique<TQVA2AItem>();
    else
        return flow;
    try {
        // The type was just checked: the flow reads its fields straight away.
        flow->ReadValues(values);
    } catch (...) {
        // One unreadable flow must not cost the month its other flows.
        if (!QVItems::IsObjectError(std::current_exception()))
            throw;
        if (std::vector<TQVMoneyFlow::TMissedSource>* missed = TQVMoneyFlow::MissedSources())
            std::erase_if(*missed, [&flow](const TQVMoneyFlow::TMissedSource& miss) {
                return miss.Flow == flow.get();
            });
        flow.reset();
    }
    return flow;
}

template <class T> int TQVMonth::AddNew() {
    if (!FOwnsObjects)
        throw EQVException("Cannot add new object to the container that does not own objects");
    auto flow = std::make_unique<T>();
    FFlows.push_back(flow.get());
    flow.release();
    return Count() - 1;
}

int TQVMonth::AddExpense() {
    return AddNew<TQVExpenseItem>();
}

int TQVMonth::AddIncome() {
    return AddNew<TQVIncomeItem>();
}

int TQVMonth::AddA2A() {
    return AddNew<TQVA2AItem>();
}

int TQVMonth::AddFlow(TQVMoneyFlow* flow) {
    if (!FOwnsObjects) {
        FFlows.push_back(flow);
        return Count() - 1;
    }
    int index = 0;
    switch (flow->Kind()) {
    case TQVFlowKind::Expense:
        index = AddExpense();
        break;
    case TQVFlowKind::Income:
        index = AddIncome();
        break;
    case TQVFlowKind::A2A:
        index = AddA2A();
        break;
    }
    FFlows[static_cast<std::size_t>(index)]->Assign(*flow);
    return index;
}

void TQVMonth::Delete(int index) {
    TQVMoneyFlow* flow = GetFlow(index);
    FFlows.erase(FFlows.begin() + index);
    if (FOwnsObjects)
        delete flow;
}

void TQVMonth::Remove(TQVMoneyFlow* flow) {
    const int index = IndexOf(flow);
    if (index >= 0)
        Delete(index);
}

int TQVMonth::RemoveFlows(const std::vector<TQVMoneyFlow*>& flows) {
    return RemoveFlows(TQVFlowSet(flows));
}

int TQVMonth::RemoveFlows(const TQVFlowSet& flows) {
    if (flows.Empty())
        return 0;
    // Only the addresses are looked at: a month without any of the flows is left untouched.
    auto kept = std::find_if(FFlows.begin(), FFlows.end(),
                             [&](const TQVMoneyFlow* flow) { return flows.Contains(flow); });
    if (kept == FFlows.end())
        return 0;
    for (auto it = kept; it != FFlows.end(); ++it) {
        if (!flows.Contains(*it))
            *kept++ = *it;
        else if (FOwnsObjects)
            delete *it;
    }
    const auto removed = FFlows.end() - kept;
    FFlows.erase(kept, FFlows.end());
    return static_cast<int>(removed);
}

void TQVMonth::Clear() {
    if (FOwnsObjects) {
        for (TQVMoneyFlow* flow : FFlows)
            delete flow;
    }
    FFlows.clear();
}

TQVMoneyFlow* TQVMonth::GetFlow(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FFlows[static_cast<std::size_t>(index)];
}

int TQVMonth::IndexOf(const TQVMoneyFlow* flow) const {
    const auto it = std::find(FFlows.begin(), FFlows.end(), flow);
    return it != FFlows.end() ? static_cast<int>(it - FFlows.begin()) : -1;
}

void TQVMonth::MoveFlowTo(TQVMoneyFlow* flow, TQVMonth& target) {
    const int index = IndexOf(flow);
    if (index < 0)
        throw EAssertionFailed("Assertion failed: the flow to move is not in this month");
    if (target.FOwnsObjects != FOwnsObjects)
        throw EAssertionFailed("Assertion failed: a flow can only move between months that "
                               "either both own their flows or both do not");
    // Make room first, so that nothing can fail once the flow has left this month.
    target.FFlows.reserve(target.FFlows.size() + 1);
    FFlows.erase(FFlows.begin() + index);
    Sort();
    target.FFlows.push_back(flow);
    target.Sort();
}

int TQVMonth::CompareFlows(const TQVMoneyFlow& a, const TQVMoneyFlow& b) {
    // Whole seconds, halves to even; the sign alone decides, so no range can wrap.
    const double seconds = std::nearbyint((b.Date - a.Date) * 86400.0);
    return seconds < 0.0 ? -1 : seconds > 0.0 ? 1 : 0;
}

namespace {

// CompareFlows(a, b) < 0 from the two dates: the difference in seconds rounds (halves to even)
// below zero exactly when it lies below -0.5.
bool IsNewer(TDateTime a, TDateTime b) {
    return (b - a) * 86400.0 < -0.5;
}

bool IsNewer(const TQVMoneyFlow* a, const TQVMoneyFlow* b) {
    return IsNewer(a->Date, b->Date);
}

// No flow comes after one it is newer than.
bool IsSorted(const std::vector<TQVMoneyFlow*>& flows) {
    for (std::size_t i = 1; i < flows.size(); ++i) {
        if (IsNewer(flows[i], flows[i - 1]))
            return false;
    }
    return true;
}

} // namespace

void TQVMonth::Sort() {
    // The dates sit beside their pointers while sorting, so the comparisons do not chase every
    // flow through memory; the same stable sort on the same comparisons gives the same order.
    std::vector<std::pair<TDateTime, TQVMoneyFlow*>> keyed;
    keyed.reserve(FFlows.size());
    for (TQVMoneyFlow* flow : FFlows)
        keyed.emplace_back(flow->Date, flow);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return IsNewer(a.first, b.first); });
    for (std::size_t i = 0; i < keyed.size(); ++i)
        FFlows[i] = keyed[i].second;
}

void TQVMonth::RefillSorted(const std::vector<const TQVMonth*>& months) {
    if (FOwnsObjects)
        throw EAssertionFailed("Assertion failed: only a month that does not own its flows can "
                               "refer to the flows of other months");
    std::vector<const std::vector<TQVMoneyFlow*>*> runs;
    std::size_t total = 0;
    bool laidEndToEnd = true;
    for (const TQVMonth* month : months) {
        if (month->FFlows.empty())
            continue;
        runs.push_back(&month->FFlows);
        total += month->FFlows.size();
        laidEndToEnd = laidEndToEnd && IsSorted(month->FFlows);
    }
    if (laidEndToEnd) {
        // Newest month first; then each month's last flow must be newer than the next month's
        // first, or flows of two months would have to be merged.
        std::stable_sort(runs.begin(), runs.end(), [](const auto* a, const auto* b) {
            return IsNewer(a->front(), b->front());
        });
        for (std::size_t i = 1; i < runs.size() && laidEndToEnd; ++i)
            laidEndToEnd = IsNewer(runs[i - 1]->back(), runs[i]->front());
    }
    FFlows.clear();
    FFlows.reserve(total);
    if (laidEndToEnd) {
        for (const auto* run : runs)
            FFlows.insert(FFlows.end(), run->begin(), run->end());
        return;
    }
    for (const TQVMonth* month : months)
        FFlows.insert(FFlows.end(), month->FFlows.begin(), month->FFlows.end());
    Sort();
}

void TQVMonth::WriteContents(TQVCFWriter& folder) {
    TQVBase::WriteContents(folder);
    QVItems::WriteDate(folder, u"month", Date);
    const int count = Count();
    folder.ConcurrentList(u"flows", count, [this, count](int i, TQVCFWriter& flow) {
        // A save visits each flow twice, and the flows lie scattered in memory: the next one is
        // fetched while this one is written.
        const int next = QVCFList::NextIndex(i, count);
        if (next < count) {
            const auto* bytes =
                reinterpret_cast<const char*>(FFlows[static_cast<std::size_t>(next)]);
            for (std::size_t line = 0; line < sizeof(TQVExpenseItem); line += 64)
                __builtin_prefetch(bytes + line);
        }
        FFlows[static_cast<std::size_t>(i)]->SaveToFolder(flow);
    });
}

void TQVMonth::ReadContents(TQVCFReader& folder) {
    TQVBase::ReadContents(folder);
    Date = QVItems::ReadDate(folder, u"month", QVUtils::Now());

    // In the order written, so that flows of the same date keep their order over a reopen.
    folder.Folder(u"flows", [this](TQVCFReader& flows) {
        std::vector<std::unique_ptr<TQVMoneyFlow>> read =
            QVItems::ReadList<TQVMoneyFlow>(flows, [](std::size_t, TQVCFReader& child) {
                // The type and the flow's fields come from one pass over the folder.
                const QVItems::TValues values(child, TQVMoneyFlow::ItemNames());
                return ReadFlow(values);
            });
        FFlows.reserve(FFlows.size() + read.size());
        for (std::unique_ptr<TQVMoneyFlow>& flow : read)
            FFlows.push_back(flow.release());
    });
    TQVMoneyFlow::RankMissedSources(FFlows);
    FFlows.shrink_to_fit();
    Sort();
}
