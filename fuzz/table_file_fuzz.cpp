// Table files and the settings file: malformed input ends in a reading error, never a crash.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>

#include <unistd.h>

#include "core/table_file.h"
#include "shell/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const mk::TableDocument doc = mk::TableDocument::parse(text);
        for (std::size_t i = 0; i < doc.row_count() && i < 64; ++i) {
            const mk::RowReader row = doc.row(i);
            (void)row.optional_attr("conf");
            (void)row.text();
            for (std::size_t j = 0; j < row.child_count() && j < 8; ++j)
                (void)row.child(j).optional_attr("x");
        }
    } catch (const mk::TableReadError&) {
    }
    static const std::filesystem::path ini =
        std::filesystem::temp_directory_path() / ("mk-fuzz-" + std::to_string(::getpid()) + ".ini");
    std::ofstream(ini, std::ios::binary).write(text.data(), static_cast<std::streamsize>(size));
    (void)mk::read_last_project(ini);
    return 0;
}
