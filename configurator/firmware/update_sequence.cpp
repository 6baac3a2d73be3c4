#include "firmware/update_sequence.h"

#include <string>
#include <vector>

#include "core/guard.h"
#include "core/project_state.h"
#include "firmware/bank_outputs.h"
#include "firmware/firmware_plan.h"
#include "firmware/output_set.h"
#include "image/image_builder.h"

namespace mk {

namespace fs = std::filesystem;

std::optional<ProjectLock> begin_project_build(const fs::path& project_dir, MessageSink& sink) {
    auto lock = ProjectLock::take(project_dir);
    if (!lock) {
        sink.show(kMsgBuildRunning, MessageKind::Error);
        return std::nullopt;
    }
    // Earlier versions of the merge went through a record file in bin and stage files in the
    // project folder; a killed run left their hidden temporaries, often the size of an image.
    // The files themselves are left alone: a user's file may have such a name.
    std::vector<std::string> images = {"New_" + base_image_name(0), "New_" + base_image_name(1)};
    for (int stage = 1; stage <= kBankCount; ++stage)
        images.push_back("\xC2\xB0"
                         "B" +
                         std::to_string(stage) + "\xC2\xB0.sx");
    std::vector<OutputFolder> folders = project_output_folders(project_dir, std::move(images));
    folders[0].names.push_back("Bin.sx");
    recover_interrupted_outputs(commit_record_path(project_dir), folders);
    return lock;
}

bool build_and_write_banks(const fs::path& project_dir, Banks& banks, MessageSink& sink,
                           const Clock& clock) {
    // With no project folder every path would be taken relative to whatever folder is current.
    if (project_dir.empty()) {
        sink.show(kMsgProjectNotValid, MessageKind::Error);
        return false;
    }
    const auto lock = begin_project_build(project_dir, sink);
    if (!lock)
        return false;
    return run_guarded(sink, [&] {
        build_image(project_dir, banks, sink, clock);
        write_bank_outputs(project_dir, banks);
    });
}

} // namespace mk
