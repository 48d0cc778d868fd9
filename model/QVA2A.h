#pragma once

#include "model/QVMoneyFlow.h"

// A transfer from one account to another (possibly the same one).
class TQVA2AItem : public TQVMoneyFlow {
public:
    TQVA2AItem() : TQVMoneyFlow(TQVFlowKind::A2A) {}

    static std::string_view ClassTypeName() { return "a2a"; }
    std::string_view GetTypeName() const override { return ClassTypeName(); }

    void Assign(const TQVMoneyFlow& other) override;
    // Adds "sid", then "did".
    void WriteContents(TQVCFWriter& folder) override;
    void ReadValues(const QVItems::TValues& values) override;

    // The account the money leaves and the one it enters; neither is owned.
    TQVSource* Source = nullptr;
    TQVSource* Destination = nullptr;
};
