#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/user_error.h"
#include "image/banks.h"

namespace mk {

// The builder's single write position. Each section names the region it may fill (its bank and
// the offset it must end at or before) and reserves the bytes of a row before writing it, so a
// table too large for its place stops the build instead of writing past the region.
class ImageWriter {
public:
    explicit ImageWriter(Banks& banks) : banks_(banks) {}

    // Moves the position into `bank` at `offset` without changing the region.
    void seek(int bank, std::size_t offset) {
        bank_ = bank;
        pos_ = offset;
    }
    // The region of the table written next: it must end at or before `end` of the current bank.
    void set_region(std::string table_name, std::size_t end) {
        table_ = std::move(table_name);
        end_ = end;
    }
    // Stops the build when `bytes` more bytes would not fit in the region.
    void reserve(std::size_t bytes) const;

    void u8(std::uint16_t value) { put(static_cast<std::uint8_t>(value & 0xFF)); }
    void be16(std::uint16_t value) {
        u8(static_cast<std::uint16_t>(value >> 8));
        u8(value);
    }
    void le16(std::uint16_t value) {
        u8(value);
        u8(static_cast<std::uint16_t>(value >> 8));
    }

    std::size_t position() const { return pos_; }
    int bank() const { return bank_; }

private:
    void put(std::uint8_t byte);

    Banks& banks_;
    int bank_ = 1;
    std::size_t pos_ = 0;
    std::string table_ = "configuration image";
    std::size_t end_ = kBankSize;
};

// The text of the error that stops a build whose table does not fit.
std::string table_too_large_message(const std::string& table_name, int bank, std::size_t end);

// A build stopped because a table is larger than the image keeps room for.
class ImageCapacityError : public UserError {
public:
    using UserError::UserError;
};

} // namespace mk
