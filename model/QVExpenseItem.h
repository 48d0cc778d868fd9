#pragma once

#include "model/QVMoneyFlow.h"

// Money paid out of an account for an expense category. Loans (credits) are expense items too.
class TQVExpenseItem : public TQVMoneyFlow {
public:
    TQVExpenseItem() : TQVMoneyFlow(TQVFlowKind::Expense) {}

    static std::string_view ClassTypeName() { return "expense"; }
    std::string_view GetTypeName() const override { return ClassTypeName(); }

    void Assign(const TQVMoneyFlow& other) override;
    // Adds "lid", then "sid".
    void WriteContents(TQVCFWriter& folder) override;
    void ReadValues(const QVItems::TValues& values) override;

    // Neither is owned.
    TQVSource* Source = nullptr;
    TQVLocation* Location = nullptr;
};
