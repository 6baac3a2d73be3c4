#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace mk {

inline constexpr std::size_t kBankSize = 16384;
inline constexpr int kBankCount = 5;

// The five banks of the configuration image, numbered 1 to 5, each 16384 bytes. One set exists
// per run: the program entry creates it and hands it to the build and the bank writers. Every
// byte is 0 when the set is created.
class Banks {
public:
    Banks() : bytes_(kBankSize * kBankCount, 0) {}

    std::span<std::uint8_t> bank(int number) { return {bytes_.data() + offset(number), kBankSize}; }
    std::span<const std::uint8_t> bank(int number) const {
        return {bytes_.data() + offset(number), kBankSize};
    }

    void clear() { std::fill(bytes_.begin(), bytes_.end(), std::uint8_t{0}); }

private:
    static std::size_t offset(int number) {
        if (number < 1 || number > kBankCount)
            throw std::out_of_range("bank number");
        return static_cast<std::size_t>(number - 1) * kBankSize;
    }

    std::vector<std::uint8_t> bytes_;
};

} // namespace mk
