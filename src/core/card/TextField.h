#pragma once
// A fixed-width UTF-16 text field of a record image: N units, zero after the
// text. In memory only the units up to the last non-zero one are kept (most
// fields use a small part of their room, and a store holds years of calls);
// whatever follows a text's ending zero is kept too, so a record read from a
// file is written back unchanged.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>

namespace lk {

template <std::size_t N>
class TextField {
    static_assert(N > 0 && N <= UINT16_MAX);

  public:
    TextField() = default;
    TextField(const TextField& other) { Assign(other.Units()); }
    TextField& operator=(const TextField& other) {
        if (this != &other) Assign(other.Units());
        return *this;
    }
    TextField(TextField&& other) noexcept
        : units_(std::move(other.units_)),
          used_(std::exchange(other.used_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    TextField& operator=(TextField&& other) noexcept {
        units_ = std::move(other.units_);
        used_ = std::exchange(other.used_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        return *this;
    }

    static constexpr std::size_t size() { return N; }

    // Unit i of the field (zero past the kept ones).
    char16_t operator[](std::size_t i) const { return i < used_ ? units_[i] : u'\0'; }

    // The text: the units before the first zero.
    std::u16string_view Text() const {
        const std::u16string_view all = Units();
        return all.substr(0, std::min(all.find(u'\0'), all.size()));
    }

    // The units kept: up to the last non-zero one; all after it are zero.
    std::u16string_view Units() const { return {units_.get(), used_}; }

    // The field becomes `units` (at most N of them) and zeros after them.
    void Assign(std::u16string_view units) {
        units = units.substr(0, N);
        while (!units.empty() && units.back() == u'\0')
            units.remove_suffix(1);
        if (units.size() > capacity_) {
            units_ = std::make_unique_for_overwrite<char16_t[]>(units.size());
            capacity_ = static_cast<std::uint16_t>(units.size());
        }
        std::copy(units.begin(), units.end(), units_.get());
        used_ = static_cast<std::uint16_t>(units.size());
    }

    bool operator==(const TextField& other) const { return Units() == other.Units(); }

  private:
    std::unique_ptr<char16_t[]> units_;
    std::uint16_t used_ = 0;
    std::uint16_t capacity_ = 0;
};

}  // namespace lk
