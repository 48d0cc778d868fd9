#pragma once

#include <string>

#include "storage/QVBase.h"

// An income declaration: kept and written back like TQVExpense, otherwise unused.
class TQVIncome : public TQVBase {
public:
    static std::string_view ClassTypeName() { return "incomedecl"; }
    std::string_view GetTypeName() const override { return ClassTypeName(); }

    void WriteContents(TQVCFWriter& folder) override;
    void ReadContents(TQVCFReader& folder) override;

    std::u16string Name;
    std::string Id;
};
