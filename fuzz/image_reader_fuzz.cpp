// Fuzzes the image reader: S-record text to banks, and bank contents to tables, then the text,
// JSON and comparison views. Only ImageError may come out; no read may leave a buffer.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "apps/inspect_command.h"
#include "firmware/image_source.h"
#include "image/image_layout.h"
#include "image/image_reader.h"
#include "image/image_tables.h"

namespace {

void show(const std::vector<std::uint8_t>& bank1, const std::vector<std::uint8_t>& bank2) {
    try {
        const mk::ImageView view = mk::view_of(mk::read_image(bank1, bank2));
        (void)mk::image_text(view, "fuzz");
        (void)mk::image_json(view, "fuzz");
        (void)mk::compare_images(view, view, "a", "b");
    } catch (const mk::ImageError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        try {
            const mk::ImageBanks banks = mk::banks_from_srecords(rest, "fuzz");
            show(banks.bank1, banks.bank2);
        } catch (const mk::ImageError&) {
        }
        return 0;
    }
    // The input fills the parameter block and the tables after it first (directory, counts),
    // then the start of bank 2 (EMCY records), then the start of bank 1.
    std::vector<std::uint8_t> bank1(mk::kBankSize, 0), bank2(mk::kBankSize, 0);
    std::size_t i = 0;
    for (std::size_t at = mk::kParameterBlockOffset; at < mk::kBankSize && i < rest.size(); ++at)
        bank2[at] = static_cast<std::uint8_t>(rest[i++]);
    for (std::size_t at = 0; at < mk::kParameterBlockOffset && i < rest.size(); ++at)
        bank2[at] = static_cast<std::uint8_t>(rest[i++]);
    for (std::size_t at = 0; at < mk::kBankSize && i < rest.size(); ++at)
        bank1[at] = static_cast<std::uint8_t>(rest[i++]);
    show(bank1, bank2);
    return 0;
}
