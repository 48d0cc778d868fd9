#include "model/QVMoneyFlow.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "model/QVEnvironment.h"
#include "model/QVItems.h"
#include "model/QVLocation.h"
#include "model/QVMoneyText.h"
#include "model/QVSource.h"

namespace {

TQVEnvironment& RequireEnvironment() {
    if (Environment == nullptr)
        throw EAssertionFailed("Assertion failed: flows are loaded without an environment");
    return *Environment;
}

} // namespace

void TQVMoneyFlow::Assign(const TQVMoneyFlow& other) {
    Sum = other.Sum;
    Date = other.Date;
    Name = other.Name;
    PeerName = other.PeerName;
    IsAdjustment = other.IsAdjustment;
}

void TQVMoneyFlow::AssignCommon(const TQVMoneyFlow& other) {
    if (other.Kind() != Kind())
        throw EAssertionFailed("Assertion failed: a flow can only take the fields of its own kind");
    TQVMoneyFlow::Assign(other);
}

void TQVMoneyFlow::WriteContents(TQVCFWriter& folder) {
    TQVBase::WriteContents(folder);
    // Converted first: an amount that cannot be written adds no item at all.
    const std::string sum = QVMoneyText::MoneyToText(Sum);
    QVItems::Write(folder, u"sum", sum);
    QVItems::WriteDate(folder, u"date", Date);
    QVItems::WriteText(folder, u"name", Name);
    QVItems::WriteText(folder, u"pname", PeerName);
    QVItems::WriteBool(folder, u"h", IsAdjustment);
}

void TQVMoneyFlow::ReadContents(TQVCFReader& folder) {
    TQVBase::ReadContents(folder);
    ReadValues(QVItems::TValues(folder, ItemNames()));
}

const TQVCFReader::TNameSet& TQVMoneyFlow::ItemNames() {
    // In TItem's order.
    static const TQVCFReader::TNameSet names{u"type", u"sum", u"date", u"name", u"pname",
                                             u"h",    u"sid", u"lid",  u"did"};
    return names;
}

void TQVMoneyFlow::ReadValues(const QVItems::TValues& values) {
    const auto sum = values.Find(ItemSum);
    Sum = sum ? QVMoneyText::TextToMoney(*sum) : 0.0L;
    // Read as not-a-number when missing (a stored one is refused), so the clock is read only then.
    Date = QVItems::DateOf(values.Find(ItemDate), std::numeric_limits<double>::quiet_NaN());
    if (std::isnan(Date))
        Date = QVUtils::Now();
    Name = QVItems::TextOf(values.Find(ItemName));
    PeerName = QVItems::TextOf(values.Find(ItemPeerName));
    IsAdjustment = QVItems::BoolOf(values.Find(ItemAdjustment), false);
}

void TQVMoneyFlow::WriteSourceRef(TQVCFWriter& folder, std::u16string_view name,
                                  const TQVSource* source) {
    QVItems::Write(folder, name, source != nullptr ? std::string_view(source->Id) : "");
}

void TQVMoneyFlow::WriteLocationRef(TQVCFWriter& folder, std::u16string_view name,
                                    const TQVLocation* location) {
    QVItems::Write(folder, name, location != nullptr ? std::string_view(location->Id) : "");
}

void TQVMoneyFlow::ReadSourceRef(TQVSource*& source, std::optional<std::string_view> id) {
    if (!id) {
        source = nullptr;
        return;
    }
    RequireEnvironment().SetSourceForFlow(source, *this, *id);
}

std::vector<TQVMoneyFlow::TMissedSource>*& TQVMoneyFlow::MissedSources() {
    thread_local std::vector<TMissedSource>* missed = nullptr;
    return missed;
}

void TQVMoneyFlow::RankMissedSources(const std::vector<TQVMoneyFlow*>& flows) {
    std::vector<TMissedSource>* missed = MissedSources();
    if (missed == nullptr || missed->empty())
        return;
    std::unordered_map<const TQVMoneyFlow*, std::size_t> place;
    for (std::size_t i = 0; i < flows.size(); ++i)
        place.emplace(flows[i], i);
    // A flow's own references keep the order they were read in.
    std::stable_sort(missed->begin(), missed->end(),
                     [&place](const TMissedSource& a, const TMissedSource& b) {
                         return place[a.Flow] < place[b.Flow];
                     });
}

TQVLocation* TQVMoneyFlow::ExpenseLocationRef(std::optional<std::string_view> id) {
    if (!id)
        return nullptr;
    TQVEnvironment& env = RequireEnvironment();
    const int index = env.IndexOfExpenseLocationById(*id);
    return index >= 0 ? env.GetExpenseLocation(index) : nullptr;
}

TQVLocation* TQVMoneyFlow::IncomeLocationRef(std::optional<std::string_view> id) {
    if (!id)
        return nullptr;
    TQVEnvironment& env = RequireEnvironment();
    const int index = env.IndexOfIncomeLocationById(*id);
    return index >= 0 ? env.GetIncomeLocation(index) : nullptr;
}
