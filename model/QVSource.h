#pragma once

#include <cstdint>
#include <string>

#include "storage/QVBase.h"

// An account: a place that holds money. Flows refer to it by pointer and, in files, by Id.
class TQVSource : public TQVBase {
public:
    static std::string_view ClassTypeName() { return "sourcedecl"; }
    std::string_view GetTypeName() const override { return ClassTypeName(); }

    void WriteContents(TQVCFWriter& folder) override;
    void ReadContents(TQVCFReader& folder) override;

    std::u16string Name;
    std::u16string Description;
    std::string Id;
    // Index into the account-icon list of the user interface.
    std::int32_t Icon = 0;
    // Offered when the account of an income / an expense is chosen.
    bool AllowIncome = true;
    bool AllowExpense = true;
    // The first default account is preselected for new flows.
    bool IsDefault = false;
};
