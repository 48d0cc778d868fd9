#include "model/QVMonth.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_set>

#include "model/QVA2A.h"
#include "model/QVExpenseItem.h"
#include "model/QVItems.h"
#include "model/QVReceiptItem.h"
#include "storage/QVCFItem.h"
#include "storage/QVException.h"

TQVMonth::~TQVMonth() {
    Clear();
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

void TQVMonth::RemoveFlows(const std::vector<TQVMoneyFlow*>& flows) {
    const std::unordered_set<TQVMoneyFlow*> doomed(flows.begin(), flows.end());
    const auto end = std::stable_partition(
        FFlows.begin(), FFlows.end(), [&](TQVMoneyFlow* flow) { return !doomed.contains(flow); });
    if (FOwnsObjects) {
        for (auto it = end; it != FFlows.end(); ++it)
            delete *it;
    }
    FFlows.erase(end, FFlows.end());
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

void TQVMonth::Sort() {
    std::stable_sort(
        FFlows.begin(), FFlows.end(),
        [](const TQVMoneyFlow* a, const TQVMoneyFlow* b) { return CompareFlows(*a, *b) < 0; });
}

void TQVMonth::WriteContents(TQVCFFolder& folder) {
    TQVBase::WriteContents(folder);
    QVItems::WriteDate(folder, u"month", Date);
    QVItems::WriteListFolders(folder.NewFolder(u"flows"), Count(),
                              [this](int i, TQVCFFolder& flow) {
                                  FFlows[static_cast<std::size_t>(i)]->SaveToFolder(flow);
                              });
}

void TQVMonth::ReadContents(TQVCFFolder& folder) {
    TQVBase::ReadContents(folder);
    Date = QVItems::ReadDate(folder, u"month", QVUtils::Now());

    // In the order written, so that flows of the same date keep their order over a reopen.
    if (auto* flows = dynamic_cast<TQVCFFolder*>(folder.FindItem(u"flows", false))) {
        QVItems::ForEachListFolder(*flows, [this](TQVCFFolder& child) {
            // The type and the flow's fields come from one pass over the folder.
            const QVItems::TValues values(child, TQVMoneyFlow::ItemNames());
            const auto type = values.Find(TQVMoneyFlow::ItemType);
            if (!type)
                return;
            int index;
            if (HasTypeName<TQVExpenseItem>(*type))
                index = AddExpense();
            else if (HasTypeName<TQVIncomeItem>(*type))
                index = AddIncome();
            else if (HasTypeName<TQVA2AItem>(*type))
                index = AddA2A();
            else
                return;
            try {
                // The type was just checked: the flow reads its fields straight away.
                GetFlow(index)->ReadValues(values);
            } catch (const std::exception&) {
                // One unreadable flow must not cost the month its other flows.
                Delete(index);
            }
        });
    }
    Sort();
}
