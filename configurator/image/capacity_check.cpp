#include "image/capacity_check.h"

#include "core/message_sink.h"
#include "image/banks.h"
#include "image/build_clock.h"
#include "image/image_builder.h"
#include "image/image_writer.h"

namespace mk {

std::optional<std::string> capacity_refusal(const std::filesystem::path& table_file,
                                            std::string_view document) {
    Banks banks;
    NullSink quiet; // missing files and texts that are no numbers are the build's to report
    const FixedClock clock(BuildStamp{});
    const std::string file_name = table_file.filename().string();
    try {
        build_image(table_file.parent_path(), banks, quiet, clock, {file_name, document});
    } catch (const ImageCapacityError& e) {
        return std::string(e.what());
    } catch (const UserError&) {
        // Stopped for another reason before any table ran out of room.
    }
    return std::nullopt;
}

} // namespace mk
