// The receive-PDO and transmit-PDO readers, checks and writers on any file content: a reading
// error or a conversion error at most, never a crash, and a grid exactly as tall as it reads.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/integer_text.h"
#include "tables/rpdo_table.h"
#include "tables/tpdo_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    mk::NullSink sink;
    const mk::RpdoTable rpdo = mk::parse_rpdo_table(text, 8, sink);
    if (rpdo.size() < 8 || rpdo.extent() > rpdo.size())
        std::abort();
    try {
        (void)mk::serialize_rpdo_table(rpdo);
    } catch (const mk::ConversionError&) {
    }
    const mk::TpdoTable tpdo = mk::parse_tpdo_table(text, 3, sink);
    if (mk::check_tpdo_table(tpdo).size() > mk::kMaxTpdoMessages + 1)
        std::abort();
    (void)mk::serialize_tpdo_table(tpdo);
    return 0;
}
