#pragma once

#include <string>

#include "storage/QVBase.h"

// A category of expenses or of incomes; which one depends on the environment list holding it.
class TQVLocation : public TQVBase {
public:
    static std::string_view ClassTypeName() { return "locationdecl"; }
    std::string_view GetTypeName() const override { return ClassTypeName(); }

    void WriteContents(TQVCFWriter& folder) override;
    void ReadContents(TQVCFReader& folder) override;

    std::u16string Name;
    std::u16string Description;
    std::string Id;
    // A disabled category stays in the budget but is not offered for new input.
    bool Enabled = true;
};
