#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/user_error.h"
#include "firmware/output_set.h"
#include "image/banks.h"

namespace mk {

// "Cannot create file "%s". %s": the path and the system's reason.
std::string cannot_create_message(const std::filesystem::path& path, std::string_view reason);

// The text of bankg.c: banks 1 and 2 as C arrays, 2052 lines each ending in CR LF.
std::string bank_source_text(const Banks& banks);

// The names of the bank outputs in the project's bin folder: bank1.bin to bank5.bin, bankg.c.
std::vector<std::string> bank_output_names();

// The commit record of a project's outputs: bin/outputs.set.
std::filesystem::path commit_record_path(const std::filesystem::path& project_dir);

// The folders of a project's outputs and the outputs in each: the bank outputs and the commit
// record in bin, the merged images `images` in the project folder.
std::vector<OutputFolder> project_output_folders(const std::filesystem::path& project_dir,
                                                 std::vector<std::string> images);

// Adds the bank outputs to a set: bin/bank1.bin to bin/bank5.bin, 16384 bytes each, and
// bin/bankg.c in the project directory.
void add_bank_outputs(OutputSet& set, const std::filesystem::path& project_dir, const Banks& banks);

// Writes the six bank outputs as one set, with the commit record. When any of them cannot be
// written, every one keeps its previous contents and UserError "Cannot create file ..." names the
// file that failed, which ends the "Up date Device" sequence: the merge never picks up a mixture of
// two builds.
void write_bank_outputs(const std::filesystem::path& project_dir, const Banks& banks);

// "Cannot create file ..." for a failed set.
UserError output_error_message(const OutputError& e);

} // namespace mk
