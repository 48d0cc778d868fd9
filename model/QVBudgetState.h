#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/QVExpense.h"
#include "model/QVExpenseItem.h"
#include "model/QVLocation.h"
#include "model/QVMonth.h"
#include "model/QVObjectList.h"
#include "model/QVReceipt.h"
#include "model/QVReceiptItem.h"
#include "model/QVSource.h"
#include "storage/QVSecret.h"

// The open budget as a whole: its lists, the all-months view over them and every field that
// belongs to the budget rather than to the program around it. Whole, it can be set aside and
// put back: an open reads the file into a fresh one and puts the one before back when the read
// fails, so a failed open leaves the budget exactly as it was, keys and ids included.
class TQVBudgetState {
public:
    // 32 bytes once set; the container's info block.
    std::string BudgetId;
    std::u16string Title = u"Untitled";
    std::u16string Description;
    // The budget id read from the file being opened.
    std::string LoadedBudgetId;
    // Password keys found in the stored password records, tried in turn while opening.
    std::vector<TSecret> PasswordCandidates;
    std::int32_t CandidateIndex = 0;
    // 0 none, 1 normal, 2 strong.
    std::uint8_t Protection = 0;
    // 16 bytes once set: the key derived from the password.
    TSecret PasswordKey;
    // The password or the level changed since the record was last stored.
    bool PasswordChanged = false;
    // Full path of the open budget file.
    std::string FileName;

protected:
    // The ten lists with the names of their folders in the budget file, in the order the file
    // holds them: a save writes them and an open reads them in this order, so that accounts and
    // categories are read before the months, debts and loans whose flows refer to them.
    template <class Budget, class Visit> static void ForEachList(Budget& budget, Visit&& visit) {
        visit(u"l", budget.FExpenseLocations);
        visit(u"il", budget.FIncomeLocations);
        visit(u"s", budget.FSources);
        visit(u"e", budget.FExpenses);
        visit(u"r", budget.FIncomes);
        visit(u"ds", budget.FDsLocations);
        visit(u"cs", budget.FCsLocations);
        visit(u"m", budget.FMonths);
        visit(u"de", budget.FDebts);
        visit(u"cr", budget.FCredits);
    }

    // The all-months view. Replaced first when another budget takes this one's place, before
    // the months free the flows it refers to.
    std::unique_ptr<TQVMonth> FAllFlows = std::make_unique<TQVMonth>(false);
    TQVObjectList<TQVMonth> FMonths;
    TQVObjectList<TQVLocation> FExpenseLocations;
    TQVObjectList<TQVLocation> FIncomeLocations;
    TQVObjectList<TQVSource> FSources;
    TQVObjectList<TQVExpense> FExpenses;
    TQVObjectList<TQVIncome> FIncomes;
    TQVObjectList<TQVLocation> FDsLocations;
    TQVObjectList<TQVLocation> FCsLocations;
    TQVObjectList<TQVIncomeItem> FDebts;
    TQVObjectList<TQVExpenseItem> FCredits;
    // KeyToFilePassword(FFilePasswordKey), kept for the next save under the same key.
    TSecret FFilePasswordKey;
    TSecret FFilePassword;
};
