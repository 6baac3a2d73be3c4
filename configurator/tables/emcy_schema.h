#pragma once

#include <array>

#include "core/table_file.h"

// The layout of emcydef.xml, the EMCY translation table: one `row` per EMCY.
namespace mk::emcy_file {

inline constexpr const char* ID_EMCY = "ID_EMCY";
inline constexpr const char* EMCY_Error_Code = "EMCY_Error_Code";
inline constexpr const char* Error_Register = "Error_Register";

inline constexpr std::array<const char*, 3> attributes = {ID_EMCY, EMCY_Error_Code, Error_Register};
inline constexpr TableSchema schema{"emcydef.xml", "EMCY", "row", attributes};

} // namespace mk::emcy_file
