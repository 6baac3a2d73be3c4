#include "firmware/update_sequence.h"

#include "core/guard.h"
#include "core/project_state.h"
#include "firmware/bank_outputs.h"
#include "firmware/image_builder.h"

namespace mk {

bool build_and_write_banks(const std::filesystem::path& project_dir, Banks& banks,
                           MessageSink& sink, const Clock& clock) {
    // With no project folder every path would be taken relative to whatever folder is current.
    if (project_dir.empty()) {
        sink.show(kMsgProjectNotValid, MessageKind::Error);
        return false;
    }
    return run_guarded(sink, [&] {
        build_image(project_dir, banks, sink, clock);
        write_bank_files(project_dir, banks);
        write_bank_source(project_dir, banks);
    });
}

} // namespace mk
