#pragma once

#include <array>

#include "core/table_file.h"

// The layout of rpdodef.xml, the receive-PDO translation table: one `row` per PDO.
namespace mk::rpdo_file {

inline constexpr const char* cobid = "cobid";
inline constexpr const char* id_dev_orig = "id_dev_orig";
inline constexpr const char* dimension = "dimension";
inline constexpr const char* posind = "posind";
inline constexpr const char* n_tpdo = "n_tpdo";

inline constexpr std::array<const char*, 5> attributes = {cobid, id_dev_orig, dimension, posind,
                                                          n_tpdo};
inline constexpr TableSchema schema{"rpdodef.xml", "rpdodef", "row", attributes};

} // namespace mk::rpdo_file
