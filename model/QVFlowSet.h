#pragma once

#include <cstdint>
#include <vector>

class TQVMoneyFlow;

// A set of flows that every flow of a budget is looked up in, as when a selection of rows is
// removed from the months that own them. Only addresses are compared, never a flow read: the
// range of the members' addresses and one bit per hashed address turn nearly every other flow
// away before the sorted addresses are searched.
class TQVFlowSet {
public:
    explicit TQVFlowSet(std::vector<TQVMoneyFlow*> flows);

    bool Contains(const TQVMoneyFlow* flow) const {
        const auto address = reinterpret_cast<std::uintptr_t>(flow);
        if (address < FLowest || address > FHighest)
            return false;
        const std::uint64_t bit = Bit(address);
        return (FBits[bit / 64] >> (bit % 64) & 1U) != 0 && Search(flow);
    }
    bool Empty() const { return FSorted.empty(); }

private:
    std::uint64_t Bit(std::uintptr_t address) const {
        // Heap addresses differ little in their lowest bits; a multiplicative hash spreads them.
        return ((static_cast<std::uint64_t>(address) >> 4) * 0x9E3779B97F4A7C15ULL) >> FShift;
    }
    bool Search(const TQVMoneyFlow* flow) const;

    std::vector<TQVMoneyFlow*> FSorted;
    std::vector<std::uint64_t> FBits;
    int FShift = 0;
    // An empty set holds no address at all.
    std::uintptr_t FLowest = 1;
    std::uintptr_t FHighest = 0;
};
