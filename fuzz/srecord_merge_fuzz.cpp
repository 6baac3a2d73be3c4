// The S-record merge over arbitrary base image text: any line, line end or length must end in a
// pass result or the merge's message, never in a read past a line or a crash.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

#include "firmware/banks.h"
#include "firmware/srecord_merge.h"

namespace {

namespace fs = std::filesystem;

const fs::path& work_dir() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "mk-merge-fuzz-XXXXXX").string();
        const fs::path d = ::mkdtemp(pattern.data());
        fs::create_directory(d / "bin");
        for (int n = 1; n <= mk::kBankCount; ++n)
            std::ofstream(d / "bin" / ("bank" + std::to_string(n) + ".bin"), std::ios::binary)
                << std::string(mk::kBankSize, '\x5A');
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& dir = work_dir();
    std::ofstream(dir / "base.sx", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    mk::RecordingSink sink;
    mk::NoProgress progress;
    const int result =
        mk::merge_bank(1, dir / "base.sx", dir / "out.sx", dir / "bin", sink, progress);
    if (result < -1 || result > 1)
        __builtin_trap();
    mk::merge_all(dir / "base.sx", dir / "bin", dir, "New.sx", sink, progress);
    return 0;
}
