#include "apps/build_command.h"

#include <chrono>
#include <cstdio>
#include <string_view>

#include "core/guard.h"
#include "firmware/bank_outputs.h"
#include "firmware/firmware_plan.h"
#include "firmware/output_set.h"
#include "firmware/update_sequence.h"
#include "image/banks.h"
#include "image/image_builder.h"
#include "tables/emcy_schema.h"
#include "tables/emcy_word_schema.h"
#include "tables/pargen_schema.h"
#include "tables/pargen_table.h"
#include "tables/rpdo_schema.h"
#include "tables/sdo_schema.h"
#include "tables/sdopdo_schema.h"
#include "tables/tpdo_schema.h"

namespace mk {

namespace fs = std::filesystem;

std::string build_command_usage() {
    return "Usage: mosaicor-build [--master DIR] [--time YYYY-MM-DDTHH:MM:SS] [--no-merge] "
           "PROJECT_DIR\n"
           "\n"
           "Builds the configuration image of a project as \"Up date Device\" does: the bank\n"
           "files bin/bank1.bin to bin/bank5.bin, the bank source bin/bankg.c and, unless\n"
           "--no-merge is given, the merged image New_<base image> in the project folder.\n"
           "The loader is never started.\n"
           "\n"
           "  --master DIR  take the base image from the folder DIR\n"
           "  --time T      build date and time to stamp (local time otherwise), so that two\n"
           "                builds of the same project are byte-identical\n"
           "  --no-merge    write the bank files and the bank source only\n"
           "  -h, --help    show this text\n"
           "\n"
           "The base image, RZ41902_15_3.sx or RZ41902_8_8.sx by the project's PDO layout,\n"
           "comes with the device. Without --master it is looked for in the MASTER folder\n"
           "beside this program and then, when this program's folder is not writable (an\n"
           "installed program), in $XDG_DATA_HOME/Mosaicor_Kv/MASTER, that is\n"
           "~/.local/share/Mosaicor_Kv/MASTER when XDG_DATA_HOME is not set.\n"
           "\n"
           "The outputs are replaced as one set: when the build cannot deliver all of them,\n"
           "every file of an earlier build stays as it was. The commit record\n"
           "bin/outputs.set, put in place last, names the set with the size and a hash of\n"
           "each file; a build cut off before it is put back by the next build.\n"
           "\n"
           "Every line of the base image is checked before anything is written, and the\n"
           "merged image is read back: it must hold the banks in their pages and the base\n"
           "image's bytes everywhere else.\n"
           "\n"
           "Messages go to standard error, one per line; a message's further lines are\n"
           "indented.\n"
           "\n"
           "Exit status:\n"
           "  0  completed: every output written, both banks in the merged image\n"
           "  1  nothing written: the build stopped, the base image is missing or damaged, or\n"
           "     an output could not be written\n"
           "  2  usage error\n"
           "  3  nothing written: the base image has no records in the page of either bank\n"
           "  4  every output written, but the base image has no records in the page of one bank,\n"
           "     so the merged image lacks that bank (named on standard error)\n"
           "  5  nothing written: PROJECT_DIR holds none of the project's table files\n"
           "  130  interrupted by SIGINT, and\n"
           "  143  by SIGTERM: the outputs are those of the earlier build (or, when the signal\n"
           "     came while the new set was put in place, the new set); no temporary file is\n"
           "     left\n";
}

std::optional<BuildStamp> parse_build_time(const std::string& text) {
    // Fixed layout: digits at every place but the separators.
    constexpr std::string_view layout = "dddd-dd-ddTdd:dd:dd";
    if (text.size() != layout.size())
        return std::nullopt;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (layout[i] == 'd' ? !digit : text[i] != layout[i])
            return std::nullopt;
    }
    auto number = [&](std::size_t at, std::size_t len) { return std::stoi(text.substr(at, len)); };
    BuildStamp s{number(0, 4),  number(5, 2),  number(8, 2),
                 number(11, 2), number(14, 2), number(17, 2)};
    // A day the calendar does not have (30 February) is a typing error, not a build time.
    const std::chrono::year_month_day date{std::chrono::year(s.year),
                                           std::chrono::month(static_cast<unsigned>(s.month)),
                                           std::chrono::day(static_cast<unsigned>(s.day))};
    if (!date.ok() || s.hour > 23 || s.minute > 59 || s.second > 59)
        return std::nullopt;
    return s;
}

ParsedCommand parse_build_command(int argc, const char* const argv[]) {
    BuildOptions options;
    bool have_project = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc)
                return std::nullopt;
            return std::string(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            return HelpRequest{};
        } else if (arg == "--no-merge") {
            options.merge = false;
        } else if (arg == "--master") {
            const auto dir = value();
            if (!dir || dir->empty())
                return UsageError{"--master needs a folder"};
            options.master_dir = fs::path(*dir);
        } else if (arg == "--time") {
            const auto text = value();
            const auto stamp = text ? parse_build_time(*text) : std::nullopt;
            if (!stamp)
                return UsageError{"--time needs a date and time as YYYY-MM-DDTHH:MM:SS"};
            options.time = stamp;
        } else if (arg.starts_with("-") && arg.size() > 1) {
            return UsageError{"unknown option " + std::string(arg)};
        } else if (have_project) {
            return UsageError{"only one PROJECT_DIR may be given"};
        } else {
            options.project_dir = fs::path(std::string(arg));
            have_project = true;
        }
    }
    if (!have_project || options.project_dir.empty())
        return UsageError{"PROJECT_DIR is missing"};
    return options;
}

namespace {

// The table files of a project, in the order the message names them.
constexpr const TableSchema* kTableFiles[] = {
    &pargen_file::schema, &sdo_file::schema,       &rpdo_file::schema, &sdopdo_file::schema,
    &emcy_file::schema,   &emcy_word_file::schema, &tpdo_file::schema};

// A project folder holds at least one of its table files; any other folder is refused before
// anything is written into it or its bin folder.
bool holds_a_table_file(const fs::path& dir) {
    std::error_code ec;
    for (const TableSchema* t : kTableFiles)
        if (fs::exists(t->path_in(dir), ec))
            return true;
    return false;
}

std::string not_a_project_message(const fs::path& dir) {
    std::string names;
    for (const TableSchema* t : kTableFiles)
        names += std::string(names.empty() ? "" : ", ") + t->file_name;
    return dir.string() + " is not a project folder: it holds none of " + names +
           ". Nothing was written.";
}

int exit_status(MergeOutcome outcome) {
    switch (outcome) {
    case MergeOutcome::Merged:
        return kExitCompleted;
    case MergeOutcome::MergedWithoutABank:
        return kExitBankMissing;
    case MergeOutcome::NoBankInserted:
        return kExitNoBankInserted;
    case MergeOutcome::Failed:
        break;
    }
    return kExitFailed;
}

} // namespace

int run_build_command(const BuildOptions& options, const std::vector<fs::path>& default_masters,
                      MessageSink& sink) {
    std::error_code ec;
    const fs::path project_dir = fs::absolute(options.project_dir, ec).lexically_normal();
    if (ec || !fs::is_directory(project_dir, ec)) {
        sink.show("Project folder " + options.project_dir.string() + " not found",
                  MessageKind::Error);
        return kExitFailed;
    }
    // A trailing separator would leave an empty last component; the project is the folder.
    const fs::path project = project_dir.has_filename() ? project_dir : project_dir.parent_path();
    if (!holds_a_table_file(project)) {
        sink.show(not_a_project_message(project), MessageKind::Error);
        return kExitNotAProject;
    }
    const auto lock = begin_project_build(project, sink);
    if (!lock)
        return kExitFailed;

    Banks banks;
    const FixedClock fixed(options.time.value_or(BuildStamp{}));
    const Clock& clock = options.time ? static_cast<const Clock&>(fixed) : local_clock();
    OutputSet outputs;
    MergeOutcome outcome = MergeOutcome::Merged;
    fs::path image_path;
    if (!run_guarded(sink, [&] {
            build_image(project, banks, sink, clock);
            add_bank_outputs(outputs, project, banks);
        }))
        return kExitFailed;
    if (options.merge) {
        // The merge takes the banks as they are about to be written, so the bank files and the
        // image are one set: either all of them are replaced or none.
        const int layout = load_pdo_layout(project);
        std::vector<fs::path> masters = default_masters;
        if (options.master_dir)
            masters = {fs::absolute(*options.master_dir, ec)};
        const auto plan = prepare_firmware(masters, project, layout, sink, false);
        if (!plan)
            return kExitFailed;
        std::error_code why;
        const auto base = read_file_limited(plan->base_image(), kMaxImageSize, &why);
        if (!base) {
            sink.show(cannot_read_message(plan->base_image(), why), MessageKind::Error);
            return kExitFailed;
        }
        NoProgress progress;
        MergedImage image =
            merge_image_text(*base, plan->base_name, banks.bank(1), banks.bank(2), sink, progress);
        outcome = image.outcome;
        if (!image_made(outcome))
            return exit_status(outcome);
        image_path = plan->merged_image();
        outputs.add(image_path, std::move(image.text));
    }
    outputs.record_in(commit_record_path(project));
    try {
        outputs.commit();
    } catch (const OutputError& e) {
        if (e.target() == image_path)
            sink.show(output_not_created_message(e), MessageKind::Error);
        else
            sink.show(output_error_message(e).what(), MessageKind::Error);
        return kExitFailed;
    }
    return exit_status(outcome);
}

} // namespace mk
