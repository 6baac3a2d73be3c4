// The image builder over arbitrary table files: the first byte picks the file that gets the rest
// of the input, beside well-formed files of the other tables. Every outcome is a message or a
// UserError; nothing may be written outside the banks.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

#include "core/user_error.h"
#include "image/image_builder.h"

namespace {

namespace fs = std::filesystem;

const char* const kFiles[] = {"sdo.xml",     "sdopdo.xml", "emcydef.xml",     "emcyword.xml",
                              "rpdodef.xml", "pargen.xml", "Transmit_Pdo.xml"};

const fs::path& work_dir() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "mk-build-fuzz-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    return dir;
}

void write(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const fs::path& dir = work_dir();
    write(dir / "emcydef.xml", "<EMCY><row ID_EMCY=\"5\" EMCY_Error_Code=\"1\" "
                               "Error_Register=\"1\"/></EMCY>");
    write(dir / "emcyword.xml",
          "<EMCY_Word><EMCY_ROW><Dati Dati_Word=\"1\" Dati_Byte=\"33\"/></EMCY_ROW></EMCY_Word>");
    write(dir / kFiles[data[0] % 7],
          std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    mk::Banks banks;
    mk::RecordingSink sink;
    try {
        mk::build_image(dir, banks, sink, mk::FixedClock({2024, 3, 5, 14, 37, 9}));
    } catch (const mk::UserError&) {
    }
    for (const char* f : kFiles)
        fs::remove(dir / f);
    return 0;
}
