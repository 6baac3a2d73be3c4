#pragma once

#include <array>

#include "core/table_file.h"

// The layout of sdopdo.xml, the stored-PDO table: one `row` per stored entry, over all PDOs.
namespace mk::sdopdo_file {

inline constexpr const char* index = "index";
inline constexpr const char* subindex = "subindex";
inline constexpr const char* nrpdo = "nrpdo";
inline constexpr const char* poscomp = "poscomp";

inline constexpr std::array<const char*, 4> attributes = {index, subindex, nrpdo, poscomp};
inline constexpr TableSchema schema{"sdopdo.xml", "sdopdo", "row", attributes};

} // namespace mk::sdopdo_file
