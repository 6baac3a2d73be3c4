#include "image/image_writer.h"

namespace mk {

std::string table_too_large_message(const std::string& table_name, int bank, std::size_t end) {
    return "The " + table_name + " does not fit in bank " + std::to_string(bank) +
           ": it must end at or before offset " + std::to_string(end) +
           ". Build stopped; remove rows from the table.";
}

void ImageWriter::reserve(std::size_t bytes) const {
    if (pos_ > end_ || bytes > end_ - pos_)
        throw ImageCapacityError(table_too_large_message(table_, bank_, end_));
}

void ImageWriter::put(std::uint8_t byte) {
    // Every section reserves its rows first; this guard only keeps a slip in a section from
    // ever reaching past the bank.
    if (pos_ >= kBankSize)
        throw ImageCapacityError(table_too_large_message(table_, bank_, kBankSize));
    banks_.bank(bank_)[pos_++] = byte;
}

} // namespace mk
