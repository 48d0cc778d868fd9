#pragma once

#include "model/QVMoneyFlow.h"

// Money paid into an account from an income category. Debts are income items too.
class TQVIncomeItem : public TQVMoneyFlow {
public:
    TQVIncomeItem() : TQVMoneyFlow(TQVFlowKind::Income) {}

    static std::string_view ClassTypeName() { return "income"; }
    std::string_view GetTypeName() const override { return ClassTypeName(); }

    void Assign(const TQVMoneyFlow& other) override;
    // Adds "sid", then "lid".
    void WriteContents(TQVCFWriter& folder) override;
    void ReadValues(const QVItems::TValues& values) override;

    // Neither is owned.
    TQVSource* Source = nullptr;
    TQVLocation* Location = nullptr;
};
