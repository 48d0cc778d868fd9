#pragma once

#include <string>

#include "storage/QVBase.h"

// An expense declaration. Budget files carry a list of these; the program keeps them and writes
// them back unchanged but has no other use for them.
class TQVExpense : public TQVBase {
public:
    static std::string_view ClassTypeName() { return "expensedecl"; }
    std::string_view GetTypeName() const override { return ClassTypeName(); }

    void WriteContents(TQVCFWriter& folder) override;
    void ReadContents(TQVCFReader& folder) override;

    std::u16string Name;
    std::string Id;
};
