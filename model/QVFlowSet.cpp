#include "model/QVFlowSet.h"

#include <algorithm>
#include <bit>

TQVFlowSet::TQVFlowSet(std::vector<TQVMoneyFlow*> flows) : FSorted(std::move(flows)) {
    std::sort(FSorted.begin(), FSorted.end());
    FSorted.erase(std::unique(FSorted.begin(), FSorted.end()), FSorted.end());
    // About 64 bits a member: some 1.5 % of the others pass the first test.
    FBits.assign(std::bit_ceil(FSorted.size() + 16), 0);
    for (const TQVMoneyFlow* flow : FSorted) {
        const std::size_t bit = Bit(flow);
        FBits[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
}

std::size_t TQVFlowSet::Bit(const TQVMoneyFlow* flow) const {
    // Heap addresses differ little in their lowest bits; a multiplicative hash spreads them.
    const auto address = reinterpret_cast<std::uintptr_t>(flow);
    const std::uint64_t hash = (static_cast<std::uint64_t>(address) >> 4) * 0x9E3779B97F4A7C15ULL;
    const int bits = std::countr_zero(FBits.size() * 64);
    return static_cast<std::size_t>(hash >> (64 - bits));
}

bool TQVFlowSet::Contains(const TQVMoneyFlow* flow) const {
    const std::size_t bit = Bit(flow);
    if ((FBits[bit / 64] >> (bit % 64) & 1U) == 0)
        return false;
    return std::binary_search(FSorted.begin(), FSorted.end(), flow);
}
