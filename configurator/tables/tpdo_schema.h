#pragma once

#include <array>

#include "core/table_file.h"

// The layout of Transmit_Pdo.xml, the transmit-PDO table: one `row` per PDO. The file name keeps
// its capitals and the root element is spelled without the n.
namespace mk::tpdo_file {

inline constexpr const char* COB_ID = "COB-ID";
inline constexpr const char* Dimension = "Dimension";
inline constexpr const char* SMA = "SMA";

inline constexpr std::array<const char*, 3> attributes = {COB_ID, Dimension, SMA};
inline constexpr TableSchema schema{"Transmit_Pdo.xml", "Trasmit_PDO", "row", attributes};

} // namespace mk::tpdo_file
