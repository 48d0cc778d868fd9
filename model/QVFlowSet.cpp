#include "model/QVFlowSet.h"

#include <algorithm>
#include <bit>
#include <functional>

TQVFlowSet::TQVFlowSet(std::vector<TQVMoneyFlow*> flows) : FSorted(std::move(flows)) {
    // Addresses of unrelated objects are ordered by std::less alone.
    std::sort(FSorted.begin(), FSorted.end(), std::less<>());
    FSorted.erase(std::unique(FSorted.begin(), FSorted.end()), FSorted.end());
    // About 64 bits a member: some 1.5 % of the others pass the bit test.
    const std::size_t words = std::bit_ceil(FSorted.size() + 16);
    FBits.assign(words, 0);
    FShift = 64 - std::countr_zero(words * 64);
    for (const TQVMoneyFlow* flow : FSorted) {
        const std::uint64_t bit = Bit(reinterpret_cast<std::uintptr_t>(flow));
        FBits[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
    if (!FSorted.empty()) {
        FLowest = reinterpret_cast<std::uintptr_t>(FSorted.front());
        FHighest = reinterpret_cast<std::uintptr_t>(FSorted.back());
    }
}

bool TQVFlowSet::Search(const TQVMoneyFlow* flow) const {
    return std::binary_search(FSorted.begin(), FSorted.end(), flow, std::less<>());
}
