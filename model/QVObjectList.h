#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/Exception.h"

// A list that owns its members and frees them when they are deleted or the list is cleared.
template <class T> class TQVObjectList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }

    // EListError for an index outside 0..Count-1.
    T* Get(int index) const { return FItems[Checked(index)].get(); }

    // Appends a new member made by T's default constructor; returns its index.
    int Add() {
        FItems.push_back(std::make_unique<T>());
        return Count() - 1;
    }

    // Appends a member made elsewhere (never null); returns its index.
    int Add(std::unique_ptr<T> item) {
        FItems.push_back(std::move(item));
        return Count() - 1;
    }

    // Frees the member at `index` and removes its entry; EListError when out of range.
    void Delete(int index) { FItems.erase(FItems.begin() + static_cast<long>(Checked(index))); }

    int IndexOf(const T* item) const {
        for (std::size_t i = 0; i < FItems.size(); ++i) {
            if (FItems[i].get() == item)
                return static_cast<int>(i);
        }
        return -1;
    }

    void Clear() { FItems.clear(); }

    template <class Less> void StableSort(Less less) {
        std::stable_sort(FItems.begin(), FItems.end(),
                         [&less](const std::unique_ptr<T>& a, const std::unique_ptr<T>& b) {
                             return less(*a, *b);
                         });
    }

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    std::size_t Checked(int index) const {
        if (index < 0 || index >= Count())
            throw EListError("List index out of bounds (" + std::to_string(index) + ")");
        return static_cast<std::size_t>(index);
    }

    std::vector<std::unique_ptr<T>> FItems;
};
