#pragma once

#include <array>

#include "core/table_file.h"

// The layout of sdo.xml, the SDO access table: one `row` per table row.
namespace mk::sdo_file {

inline constexpr const char* conf = "conf";
inline constexpr const char* IndexA = "IndexA";
inline constexpr const char* SubindexA = "SubindexA";
inline constexpr const char* devIDB = "devIDB";
inline constexpr const char* IndexB = "IndexB";
inline constexpr const char* SubindexB = "SubindexB";
inline constexpr const char* nbyteB = "nbyteB";
inline constexpr const char* mnemonico = "mnemonico";

inline constexpr std::array<const char*, 8> attributes = {conf,   IndexA,    SubindexA, devIDB,
                                                          IndexB, SubindexB, nbyteB,    mnemonico};
inline constexpr TableSchema schema{"sdo.xml", "sdo", "row", attributes};

} // namespace mk::sdo_file
