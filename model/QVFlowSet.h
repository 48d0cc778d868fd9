#pragma once

#include <cstdint>
#include <vector>

class TQVMoneyFlow;

// A set of flows that every flow of a budget is looked up in, as when a selection of rows is
// removed from the months that own them: one bit per hashed address turns nearly every other
// flow away before the sorted addresses are searched.
class TQVFlowSet {
public:
    explicit TQVFlowSet(std::vector<TQVMoneyFlow*> flows);

    bool Contains(const TQVMoneyFlow* flow) const;
    bool Empty() const { return FSorted.empty(); }

private:
    std::size_t Bit(const TQVMoneyFlow* flow) const;

    std::vector<TQVMoneyFlow*> FSorted;
    std::vector<std::uint64_t> FBits;
};
