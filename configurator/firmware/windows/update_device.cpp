#include "firmware/windows/update_device.h"

#include <QApplication>

#include "firmware/update_sequence.h"
#include "firmware/windows/TFModifyFileSx.h"

namespace mk {

bool run_update_device_steps(const ProjectState& state, Banks& banks, MessageSink& sink,
                             const Clock& clock) {
    // Let the main window repaint before the work blocks it.
    QApplication::processEvents();
    return build_and_write_banks(state.project_dir, banks, sink, clock);
}

std::function<void()> update_device_sequence(ProjectState& state, Banks& banks, MessageSink& sink,
                                             TFModifyFileSx& firmware, const Clock& clock) {
    return [&state, &banks, &sink, &firmware, &clock] {
        if (run_update_device_steps(state, banks, sink, clock))
            firmware.exec();
    };
}

} // namespace mk
