#include "firmware/windows/update_device.h"

#include <QApplication>

#include "firmware/gathered_messages.h"
#include "firmware/update_sequence.h"
#include "firmware/windows/TFModifyFileSx.h"
#include "firmware/windows/gathered_messages_box.h"

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
        // Past a few boxes the messages of the run are gathered and shown in one list at its end.
        GatheringSink run(sink);
        const bool built = run_update_device_steps(state, banks, run, clock);
        QWidget* over = QApplication::activeWindow();
        show_gathered_messages(over ? over : firmware.parentWidget(), run);
        if (built)
            firmware.exec();
    };
}

} // namespace mk
