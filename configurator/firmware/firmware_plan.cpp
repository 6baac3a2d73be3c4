#include "firmware/firmware_plan.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "core/file_kind.h"
#include "core/project_state.h"

namespace mk {

namespace fs = std::filesystem;

std::string base_image_name(int pdo_layout) {
    return pdo_layout != 0 ? kBaseImage8Rpdo : kBaseImage15Rpdo;
}

std::string base_image_not_found_message(const std::string& base_name,
                                         const std::vector<fs::path>& searched) {
    std::string text = "Error file " + base_name + " not found";
    if (searched.empty())
        return text;
    // Base images are device firmware and come with the device; the user must know where the
    // program looked and where one belongs.
    text += "\nLooked for in:";
    for (const fs::path& dir : searched)
        text += "\n  " + dir.string();
    text +=
        "\nCopy " + base_name + ", supplied with the device, into:\n  " + searched.back().string();
    return text;
}

std::string loader_not_found_message(const fs::path& program_dir) {
    return std::string(kMsgLoaderNotFound) + "\nLooked for in:\n  " + program_dir.string() +
           not_a_file_note(program_dir / kLoaderFileName);
}

namespace {

// The program a script's first line ("#!" and a path) names; empty for a file that is no script.
std::string interpreter_of(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line(256, '\0');
    in.read(line.data(), static_cast<std::streamsize>(line.size()));
    line.resize(static_cast<std::size_t>(in.gcount()));
    if (!line.starts_with("#!"))
        return "";
    const std::size_t start = line.find_first_not_of(" \t", 2);
    if (start == std::string::npos)
        return "";
    return line.substr(start, line.find_first_of(" \t\r\n", start) - start);
}

} // namespace

std::string loader_not_started_message(const fs::path& loader, const std::error_code& why) {
    std::string note = not_a_file_note(loader);
    if (note.empty()) {
        note.append("\n").append(loader.string()).append(": ").append(why.message());
        if (why == std::errc::permission_denied) {
            note += " (the file is not executable)";
        } else if (why == std::errc::no_such_file_or_directory) {
            // The loader is there: what is missing is the program that runs it.
            const std::string interpreter = interpreter_of(loader);
            note += interpreter.empty() ? " (a program it needs in order to run does not exist)"
                                        : " (the program its first line names, " + interpreter +
                                              ", does not exist)";
        }
    }
    return std::string(kMsgLoaderNotStarted) + note;
}

std::optional<FirmwarePlan> prepare_firmware(const std::vector<fs::path>& master_dirs,
                                             const fs::path& project_dir, int pdo_layout,
                                             MessageSink& sink, bool make_master_current) {
    FirmwarePlan plan;
    plan.base_name = base_image_name(pdo_layout);
    plan.bank_dir = project_dir / "bin";
    std::error_code ec;
    if (project_dir.empty())
        return std::nullopt;
    const auto found = std::find_if(master_dirs.begin(), master_dirs.end(), [&](const auto& dir) {
        return fs::is_regular_file(dir / plan.base_name, ec);
    });
    if (found == master_dirs.end()) {
        std::string text = base_image_not_found_message(plan.base_name, master_dirs);
        // Something of the image's name that is no file is named with what it is.
        for (const fs::path& dir : master_dirs)
            text += not_a_file_note(dir / plan.base_name);
        sink.show(text, MessageKind::Error);
        return std::nullopt;
    }
    plan.master_dir = *found;
    if (make_master_current) {
        fs::current_path(plan.master_dir, ec);
        if (ec) {
            sink.show(kMsgError, MessageKind::Error);
            return std::nullopt;
        }
    }
    plan.project_path = project_dir.string();
    if (plan.project_path.empty() || plan.project_path.back() != fs::path::preferred_separator)
        plan.project_path += fs::path::preferred_separator;
    plan.output_name = "New_" + plan.base_name;
    return plan;
}

MergeOutcome merge_firmware(const FirmwarePlan& plan, MessageSink& sink, MergeProgress& progress) {
    const MergeOutcome outcome = merge_all(plan.base_image(), plan.bank_dir, plan.project_path,
                                           plan.output_name, sink, progress);
    std::error_code ec;
    if (image_made(outcome) && !fs::exists(plan.merged_image(), ec)) {
        sink.show(kMsgSxNotFound, MessageKind::Error);
        return MergeOutcome::Failed;
    }
    return outcome;
}

std::string loader_parameters(const FirmwarePlan& plan, int port_index) {
    return "\"" + plan.project_path + plan.output_name + "\"" + "\xC2\xB6" +
           std::to_string(port_index);
}

void execute_update(const FirmwarePlan& plan, int port_index, const fs::path& program_dir,
                    MessageSink& sink, MergeProgress& progress, ProgramStarter& starter) {
    if (!image_made(merge_firmware(plan, sink, progress)))
        return;
    const fs::path loader = program_dir / kLoaderFileName;
    std::error_code ec;
    if (!fs::exists(loader, ec)) {
        sink.show(loader_not_found_message(program_dir), MessageKind::Error);
        return;
    }
    if (holds_loader_delimiter(plan.merged_image().native())) {
        sink.show(std::string(kMsgLoaderPathRefused) + "\n" + plan.merged_image().string(),
                  MessageKind::Error);
        return;
    }
    if (const std::error_code why = starter.start(loader, loader_parameters(plan, port_index)))
        sink.show(loader_not_started_message(loader, why), MessageKind::Error);
}

} // namespace mk
