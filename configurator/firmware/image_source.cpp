#include "firmware/image_source.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

#include "core/file_kind.h"
#include "firmware/bank_outputs.h"
#include "firmware/merge_core.h"
#include "firmware/output_set.h"
#include "firmware/srecord_merge.h"
#include "image/banks.h"
#include "image/image_reader.h"

namespace mk {

namespace {

namespace fs = std::filesystem;

std::string hex_text(std::uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, static_cast<unsigned>(value));
    return buffer;
}

// Which bytes of one bank page the records have filled.
struct Page {
    int bank;
    std::uint32_t first;
    std::vector<std::uint8_t>& bytes;
    std::vector<bool> filled = std::vector<bool>(kBankSize, false);

    void put(std::uint32_t address, std::uint8_t byte) {
        if (address < first || address - first >= kBankSize)
            return;
        bytes[address - first] = byte;
        filled[address - first] = true;
    }

    void check_complete(const std::string& name) const {
        std::size_t missing = 0;
        while (missing < kBankSize && filled[missing])
            ++missing;
        if (missing == kBankSize)
            return;
        const bool none = std::find(filled.begin(), filled.end(), true) == filled.end();
        const std::string page = "bank " + std::to_string(bank) + " page (" + hex_text(first, 6) +
                                 " to " + hex_text(first + kBankSize - 1, 6) + ")";
        if (none)
            throw ImageError(name + " holds no records of the " + page +
                             ": it is not a configured firmware image");
        throw ImageError(name + ": the " + page + " is incomplete; no record holds address " +
                         hex_text(first + static_cast<std::uint32_t>(missing), 6));
    }
};

std::vector<std::uint8_t> read_bank_file(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        throw ImageError("No " + file.filename().string() + " in " + file.parent_path().string());
    const auto size = fs::file_size(file, ec);
    if (ec)
        throw ImageError("Cannot read " + file.string());
    if (size != kBankSize)
        throw ImageError(file.string() + " holds " + std::to_string(size) +
                         " bytes; a bank file holds " + std::to_string(kBankSize));
    std::error_code why;
    const auto content = read_file_limited(file, kBankSize, &why);
    if (!content)
        throw ImageError("Cannot read " + file.string() + ": " + why.message());
    if (content->size() != kBankSize)
        throw ImageError("Cannot read " + file.string());
    return {content->begin(), content->end()};
}

// A build that was cut off while it replaced its files leaves some of them new and some old,
// until the next build puts the earlier set back. Such a mixture is no image.
void check_one_set(const fs::path& dir, const ImageBanks& banks) {
    const auto record = CommitRecord::read(dir / kCommitRecordName);
    // A build cut off while it replaced the files leaves their previous versions beside them,
    // which the next build puts back; without them a file was changed after its build.
    std::vector<fs::path> outputs = {dir / "bankg.c", dir / kCommitRecordName};
    for (int n = 1; n <= kBankCount; ++n)
        outputs.push_back(dir / ("bank" + std::to_string(n) + ".bin"));
    if (record)
        for (const CommitRecord::Entry& e : record->entries)
            outputs.push_back(dir / e.name);
    const bool cut = std::any_of(outputs.begin(), outputs.end(), has_way_back);
    const std::string cut_off =
        cut ? ": the files come from two builds (a build was cut off while it replaced them; the "
              "next build of the project puts the earlier set back)"
            : ": the files come from two builds (a file was changed or copied in after its build; "
              "the next build of the project writes a whole new set)";
    if (record) {
        std::error_code ec;
        for (const CommitRecord::Entry& e : record->entries) {
            const fs::path file = dir / e.name;
            if (fs::exists(file, ec) && !holds(file, e))
                throw ImageError(file.lexically_normal().string() +
                                 " is not the file that the commit record " + kCommitRecordName +
                                 " of set " + record->set + " names" + cut_off);
        }
    }
    const fs::path source = dir / "bankg.c";
    if (const auto text = read_file_limited(source, 4u * kBankSize * 8)) {
        Banks pair;
        std::copy(banks.bank1.begin(), banks.bank1.end(), pair.bank(1).begin());
        std::copy(banks.bank2.begin(), banks.bank2.end(), pair.bank(2).begin());
        if (*text != bank_source_text(pair))
            throw ImageError(source.string() +
                             " does not hold the bytes of bank1.bin and bank2.bin" + cut_off);
    }
}

} // namespace

ImageBanks banks_from_srecords(std::string_view text, const std::string& name) {
    ImageBanks banks;
    banks.bank1.assign(kBankSize, 0);
    banks.bank2.assign(kBankSize, 0);
    Page page1{1, bank_first_address(1), banks.bank1};
    Page page2{2, bank_first_address(2), banks.bank2};
    bool ended = false;
    SRecord record;
    const TextStop stop = read_srecord_text(text, record, [&](std::string_view, const SRecord& r) {
        if (r.type == '7' || r.type == '8' || r.type == '9')
            ended = true;
        if (!r.carries_data())
            return true;
        std::uint32_t address = r.address;
        for (std::size_t i = 0; i < r.data_size; ++i, ++address) {
            page1.put(address, r.data()[i]);
            page2.put(address, r.data()[i]);
        }
        return true;
    });
    if (stop.fault)
        throw ImageError(name + ", line " + std::to_string(stop.line) + ": " +
                         describe(stop.fault));
    if (!ended)
        throw ImageError(name + " has no end record (S7, S8 or S9): the file is cut short");
    page1.check_complete(name);
    page2.check_complete(name);
    return banks;
}

ImageBanks load_image_source(const fs::path& source) {
    std::error_code ec;
    if (fs::is_directory(source, ec)) {
        fs::path dir = source;
        if (!fs::exists(dir / "bank1.bin", ec) && fs::exists(dir / "bin" / "bank1.bin", ec))
            dir /= "bin";
        ImageBanks banks{read_bank_file(dir / "bank1.bin"), read_bank_file(dir / "bank2.bin"), {}};
        for (int n = 3; n <= kBankCount; ++n) {
            const fs::path file = dir / ("bank" + std::to_string(n) + ".bin");
            banks.more_banks.push_back(fs::exists(file, ec) ? read_bank_file(file)
                                                            : std::vector<std::uint8_t>{});
        }
        check_one_set(dir, banks);
        return banks;
    }
    if (const std::string reason = not_a_file_reason(source); !reason.empty())
        throw ImageError(source.string() + " " + reason);
    if (!fs::exists(source, ec))
        throw ImageError(source.string() + " not found");
    std::error_code why;
    const auto text = read_file_limited(source, kMaxImageSize, &why);
    if (!text)
        throw ImageError("Cannot read " + source.string() +
                         (why == std::errc::file_too_large ? " (a firmware image is at most 256 MB)"
                                                           : ": " + why.message()));
    return banks_from_srecords(*text, source.string());
}

} // namespace mk
