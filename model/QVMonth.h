#pragma once

#include <memory>
#include <vector>

#include "model/QVFlowSet.h"
#include "model/QVItems.h"
#include "model/QVMoneyFlow.h"
#include "storage/QVBase.h"
#include "storage/QVUtils.h"

// One calendar month with its flows, newest first once sorted. An owning month frees its flows;
// the environment's all-months view is the one month that only refers to flows owned elsewhere.
class TQVMonth : public TQVBase {
public:
    explicit TQVMonth(bool ownsObjects = true) : FOwnsObjects(ownsObjects) {}
    ~TQVMonth() override;
    TQVMonth(const TQVMonth&) = delete;
    TQVMonth& operator=(const TQVMonth&) = delete;

    static std::string_view ClassTypeName() { return "month"; }
    std::string_view GetTypeName() const override { return ClassTypeName(); }

    // "month" with the date, then a folder "flows" with one sub-folder per flow ("0", "1", ...).
    void WriteContents(TQVCFWriter& folder) override;
    // Appends the stored flows in the order written and sorts. A flow that fails to load is
    // dropped alone; a "month" date that is not a finite number raises EConvertError.
    void ReadContents(TQVCFReader& folder) override;

    // Any moment inside the month; only its year and month count.
    TDateTime Date = 0.0;

    bool OwnsObjects() const { return FOwnsObjects; }

    // Append a new, empty flow and return its index; the month is not re-sorted. Raise
    // EQVException on a month that does not own its flows.
    int AddExpense();
    int AddIncome();
    int AddA2A();
    // Not owning: appends `flow` itself. Owning: appends a copy of it; `flow` stays the caller's.
    int AddFlow(TQVMoneyFlow* flow);

    // Removes the entry at `index`, freeing the flow when owning; EListError when out of range.
    void Delete(int index);
    // Deletes `flow` when it is in the month; does nothing otherwise.
    void Remove(TQVMoneyFlow* flow);
    void Clear();
    // Removes every one of `flows` that is in the month, in one pass over the month, freeing them
    // when owning; the others keep their order. Returns how many were removed.
    int RemoveFlows(const std::vector<TQVMoneyFlow*>& flows);
    int RemoveFlows(const TQVFlowSet& flows);

    // EListError when out of range.
    TQVMoneyFlow* GetFlow(int index) const;
    int Count() const { return static_cast<int>(FFlows.size()); }
    const std::vector<TQVMoneyFlow*>& Flows() const { return FFlows; }
    int IndexOf(const TQVMoneyFlow* flow) const;

    bool IsSameMonth(TDateTime date) const { return QVUtils::IsInSameMonth(Date, date); }
    int GetYear() const { return QVUtils::DecodeDate(Date).Year; }

    // Hands `flow`, which must be in this month, to `target` without freeing it, and sorts both.
    // Both months must own their flows or both not; otherwise, or when `flow` is not here,
    // EAssertionFailed and nothing changes.
    void MoveFlowTo(TQVMoneyFlow* flow, TQVMonth& target);

    // Newest first. Flows less than half a second apart compare equal and keep their order.
    void Sort();
    // For the view of all months: the flows of `months`, appended in that order, then sorted as
    // Sort would. Months that are each sorted and do not overlap in time are laid end to end,
    // newest first, without comparing flows of different months. EAssertionFailed on a month
    // that owns its flows.
    void RefillSorted(const std::vector<const TQVMonth*>& months);
    // <0 when `a` is newer than `b` by half a second or more, >0 when older, else 0.
    static int CompareFlows(const TQVMoneyFlow& a, const TQVMoneyFlow& b);

private:
    // The flow of the kind the stored type names, read from its values; null for an unknown
    // type or a flow that cannot be read.
    static std::unique_ptr<TQVMoneyFlow> ReadFlow(const QVItems::TValues& values);
    template <class T> int AddNew();

    std::vector<TQVMoneyFlow*> FFlows;
    const bool FOwnsObjects;
};
