#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace mk {

// Banks 1 and 2 of a configuration image, as taken from a firmware file or from bank files.
struct ImageBanks {
    std::vector<std::uint8_t> bank1;
    std::vector<std::uint8_t> bank2;
    // From a folder: bank3.bin to bank5.bin, each empty when the folder has no such file.
    std::vector<std::vector<std::uint8_t>> more_banks;
};

// Takes the pages of banks 1 and 2 from S-record text. Every line must be an S-record whose
// length matches its byte count and whose checksum is right; S1, S2 and S3 records carry data.
// The text must end with an end record (S7, S8 or S9) and must cover every byte of both pages.
// `name` names the file in messages. Throws ImageError naming the line or the page.
ImageBanks banks_from_srecords(std::string_view text, const std::string& name);

// Reads a source: an S-record file (a merged firmware image), or a folder holding bank1.bin and
// bank2.bin (a project's bin folder, or a project folder whose bin folder holds them). The files
// of a folder must be one set: each file the commit record names must hold what it names, and
// bankg.c must hold the bytes of bank1.bin and bank2.bin. Throws ImageError when the source
// cannot be read or its files come from different builds.
ImageBanks load_image_source(const std::filesystem::path& source);

} // namespace mk
