#include "shell/pdo_layout.h"

#include "tables/integer_text.h"
#include "tables/table_file.h"

namespace mk {

int load_pdo_layout(const std::filesystem::path& pargen_path) {
    constexpr std::size_t kTypePdoPosition = 21;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(pargen_path, ec))
        return 0;
    try {
        const TableDocument doc = TableDocument::load(pargen_path);
        const auto text = doc.row(kTypePdoPosition).optional_attr("type_PDO");
        return text ? str_to_int_def(*text, 0) : 0;
    } catch (const TableReadError&) {
        return 0;
    }
}

} // namespace mk
