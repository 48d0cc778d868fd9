#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exception.h"
#include "storage/QVBase.h"
#include "storage/container/QVCFReader.h"
#include "storage/QVUtils.h"

class TQVSource;
class TQVLocation;
namespace QVItems {
class TValues;
}

// A broken precondition inside the program (never caused by the user or by file contents).
class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};

// What a flow is. Kept as a plain tag so that the balance and summary loops over every flow of a
// budget can branch without a dynamic_cast.
enum class TQVFlowKind : std::uint8_t { Expense, Income, A2A };

// A movement of money: an expense, an income or a transfer between accounts. Months own their
// flows; debts and loans are flows held in lists of the environment.
class TQVMoneyFlow : public TQVBase {
public:
    TQVMoneyFlow(const TQVMoneyFlow&) = delete;
    TQVMoneyFlow& operator=(const TQVMoneyFlow&) = delete;

    TQVFlowKind Kind() const { return FKind; }

    // Copies the fields of `other`, which must be of the same kind (else EAssertionFailed and
    // nothing is copied). Accounts and categories are shared, not copied.
    virtual void Assign(const TQVMoneyFlow& other);

    // "sum", "date", "name", "pname", "h"; the kinds add their references.
    void WriteContents(TQVCFWriter& folder) override;
    // A "sum" that does not convert, or a "date" that is not a finite number, raises
    // EConvertError; a missing "date" means now. Reads the folder once, for ReadValues.
    void ReadContents(TQVCFReader& folder) override;
    // Every item a flow of any kind reads, in one set: one pass over a flow's folder gives what
    // each kind needs. TItem indexes it.
    enum TItem : std::size_t {
        ItemType,
        ItemSum,
        ItemDate,
        ItemName,
        ItemPeerName,
        ItemAdjustment,
        ItemSource,
        ItemLocation,
        ItemDestination
    };
    static const TQVCFReader::TNameSet& ItemNames();
    // The fields from the values of the flow's folder, looked up for ItemNames; the kinds add
    // their references.
    virtual void ReadValues(const QVItems::TValues& values);

    // The kind says the direction; transfers move it from one account to another.
    long double Sum = 0.0L;
    TDateTime Date = 0.0;
    std::u16string Name;
    // The counterparty of a debt or a loan.
    std::u16string PeerName;
    // Booked by a balance adjustment rather than entered as a flow.
    bool IsAdjustment = false;

    // A reference to an account the budget lacks, met while a month was read.
    struct TMissedSource {
        const TQVMoneyFlow* Flow;
        TQVSource** Source;
        std::string Id;
    };
    // Where this thread notes the misses of the month it reads; null while references make
    // their placeholders at once. A month reading its flows puts its misses in the order of its
    // flows as written (RankMissedSources).
    static std::vector<TMissedSource>*& MissedSources();
    // Puts this thread's misses in the order of `flows`, which holds every flow they name.
    static void RankMissedSources(const std::vector<TQVMoneyFlow*>& flows);

protected:
    explicit TQVMoneyFlow(TQVFlowKind kind) : FKind(kind) {}

    // Raises EAssertionFailed unless `other` is of this flow's kind, then copies the common fields.
    void AssignCommon(const TQVMoneyFlow& other);

    // A reference is written as the target's Id, or as empty data when there is none.
    static void WriteSourceRef(TQVCFWriter& folder, std::u16string_view name,
                               const TQVSource* source);
    static void WriteLocationRef(TQVCFWriter& folder, std::u16string_view name,
                                 const TQVLocation* location);
    // Sets `source`, one of this flow's account references, to the account the stored `id`
    // names (null when the item is missing). An id that names no account brings a placeholder
    // account "Untitled" with that Id into the global Environment; later references to the same
    // Id find it (TQVEnvironment::SetSourceForFlow).
    void ReadSourceRef(TQVSource*& source, std::optional<std::string_view> id);
    // A category is only looked up, never created: null when missing or not found.
    static TQVLocation* ExpenseLocationRef(std::optional<std::string_view> id);
    static TQVLocation* IncomeLocationRef(std::optional<std::string_view> id);

private:
    const TQVFlowKind FKind;
};
