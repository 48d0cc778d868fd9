#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "storage/QVUtils.h"

// The bytes of a key, or the text of a password, wiped wherever they go out of use: when the
// holder is destroyed, overwritten or cleared. A move hands the buffer over whole and a copy is
// a holder of its own, so no stray copy is left unwiped. Nothing grows the buffer in place,
// which would free the old bytes as they were.
template <class CharT, class Allocator = std::allocator<CharT>> class TBasicSecret {
public:
    using View = std::basic_string_view<CharT>;

    TBasicSecret() = default;
    explicit TBasicSecret(View chars) : FChars(chars.begin(), chars.end()) {}
    // `size` zeros, to be filled through data().
    explicit TBasicSecret(std::size_t size) : FChars(size) {}
    TBasicSecret(const TBasicSecret& other) : FChars(other.FChars) {}
    TBasicSecret(TBasicSecret&& other) noexcept = default;
    ~TBasicSecret() { Wipe(); }

    TBasicSecret& operator=(const TBasicSecret& other) { return *this = other.view(); }
    TBasicSecret& operator=(TBasicSecret&& other) noexcept {
        if (this != &other) {
            Wipe();
            FChars = std::move(other.FChars);
        }
        return *this;
    }
    // The copy is made before the old bytes go, so `chars` may lie in this very holder.
    TBasicSecret& operator=(View chars) { return *this = TBasicSecret(chars); }

    void clear() { *this = TBasicSecret(); }

    // Never null, as a string's: an empty holder points at no bytes, but somewhere.
    CharT* data() { return FChars.empty() ? &FNone : FChars.data(); }
    const CharT* data() const { return FChars.empty() ? &FNone : FChars.data(); }
    std::size_t size() const { return FChars.size(); }
    bool empty() const { return FChars.empty(); }
    View view() const { return View(data(), size()); }
    operator View() const { return view(); }

    // In a time that depends on the lengths alone, not on where the bytes differ.
    friend bool operator==(const TBasicSecret& a, View b) {
        if (a.size() != b.size())
            return false;
        CharT difference = 0;
        for (std::size_t i = 0; i < b.size(); ++i)
            difference |= static_cast<CharT>(a.FChars[i] ^ b[i]);
        return difference == 0;
    }
    friend bool operator==(const TBasicSecret& a, const TBasicSecret& b) { return a == b.view(); }

private:
    void Wipe() {
        if (!FChars.empty())
            QVUtils::Wipe(FChars.data(), FChars.size() * sizeof(CharT));
    }

    std::vector<CharT, Allocator> FChars;
    static inline CharT FNone{};
};

// Key bytes, and a password's text.
using TSecret = TBasicSecret<char>;
using TSecretText = TBasicSecret<char16_t>;
