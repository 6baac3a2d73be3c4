#pragma once

#include <array>

#include "core/table_file.h"

// The layout of emcyword.xml, the EMCY word table: one `EMCY_ROW` group per EMCY row of
// emcydef.xml (paired by position), each holding one `Dati` element per register mapping.
namespace mk::emcy_word_file {

inline constexpr const char* mapping_element = "Dati";
inline constexpr const char* Dati_Word = "Dati_Word";
inline constexpr const char* Dati_Byte = "Dati_Byte";

// The groups carry no attributes; these are the attributes of a mapping, in file order.
inline constexpr std::array<const char*, 2> attributes = {Dati_Word, Dati_Byte};
inline constexpr TableSchema schema{"emcyword.xml", "EMCY_Word", "EMCY_ROW", attributes};

} // namespace mk::emcy_word_file
