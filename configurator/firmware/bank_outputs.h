#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "firmware/banks.h"

namespace mk {

// "Cannot create file "%s". %s": the path and the system's reason.
std::string cannot_create_message(const std::filesystem::path& path, std::string_view reason);

// Writes bin/bank1.bin to bin/bank5.bin in the project directory, 16384 bytes each. A bank file
// that cannot be written stops with UserError "Cannot create file ..." rather than leaving the
// file of an earlier build in place for the merge to pick up unnoticed.
void write_bank_files(const std::filesystem::path& project_dir, const Banks& banks);

// The text of bankg.c: banks 1 and 2 as C arrays, 2052 lines each ending in CR LF.
std::string bank_source_text(const Banks& banks);

// Writes bin/bankg.c in the project directory; throws UserError "Cannot create file ..." when it
// cannot be written, which ends the "Up date Device" sequence.
void write_bank_source(const std::filesystem::path& project_dir, const Banks& banks);

} // namespace mk
