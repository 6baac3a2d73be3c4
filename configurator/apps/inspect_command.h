#pragma once

#include <cstddef>
#include <filesystem>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "apps/build_command.h"
#include "image/image_tables.h"

namespace mk {

// The image inspector:
//   mosaicor-inspect [--json] SOURCE
//   mosaicor-inspect --diff A B
struct InspectOptions {
    bool json = false;
    bool diff = false;
    std::vector<std::filesystem::path> sources; // one, or two with --diff
};

using InspectCommand = std::variant<InspectOptions, HelpRequest, UsageError>;

// Exit statuses. Showing an image: 0 shown, 1 the source could not be read as an image, 2 usage.
// Comparing: 0 equal, 1 different, 2 a source could not be read, or usage.
inline constexpr int kInspectShown = 0;
inline constexpr int kInspectUnreadable = 1;
inline constexpr int kInspectEqual = 0;
inline constexpr int kInspectDifferent = 1;
inline constexpr int kInspectError = 2;

std::string inspect_command_usage();

InspectCommand parse_inspect_command(int argc, const char* const argv[]);

// The configuration in aligned text columns.
std::string image_text(const ImageView& view, const std::string& source);
// The configuration as one JSON object: "source", "parameters" (an object) and one array per
// table, each row an object keyed by the column titles.
std::string image_json(const ImageView& view, const std::string& source);

// The differences between two images, table by table and row by row, changed fields shown
// old → new. The build date and time are shown but are not counted as a difference.
struct ImageDifferences {
    std::string text;
    std::size_t count = 0;
};
// `file_differences` are differences of the bank files that the configurations do not show; they
// are listed under "Bank files" and counted.
ImageDifferences compare_images(const ImageView& a, const ImageView& b, const std::string& name_a,
                                const std::string& name_b,
                                const std::vector<std::string>& file_differences = {});

// Runs the command: the result goes to `out`, errors to `err`. Returns the exit status.
int run_inspect_command(const InspectOptions& options, std::ostream& out, std::ostream& err);

} // namespace mk
