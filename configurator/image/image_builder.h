#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/message_sink.h"
#include "image/banks.h"
#include "image/build_clock.h"
#include "image/image_layout.h"

namespace mk {

// Messages of the builder for table files that are not in the project directory. Each skips
// only its own section; the build goes on.
inline constexpr std::string_view kMsgSdoXmlNotFound = "File SDO xml not found";
inline constexpr std::string_view kMsgSdoPdoXmlNotFound = "File SDO PDO xml not found";
inline constexpr std::string_view kMsgEmcyXmlNotFound = "File EMCY xml not found";
inline constexpr std::string_view kMsgEmcyWordXmlNotFound = "File EMCY Word xml not found";
inline constexpr std::string_view kMsgReaderPdoXmlNotFound = "File reader PDO xml not found";
inline constexpr std::string_view kMsgParametresXmlNotFound = "File Parametres xml not found";
inline constexpr std::string_view kMsgTransmitPdoXmlNotFound = "File Transmit PDO xml not found";

// "EMCY tables of different length: emcydef.xml has 3 rows, emcyword.xml 2 groups. The image
// holds the 2 EMCY entries paired by position; 1 row of emcydef.xml was left out."
std::string emcy_left_out_message(std::size_t paired, std::size_t rows_left,
                                  std::size_t groups_left);

// Fills banks 1 and 2 from the seven table files of the project directory, section by section:
// SDO access table and stored-PDO table in bank 1; EMCY tables, receive-PDO table, parameter
// block with the table directory, and transmit-PDO table in bank 2.
//
// Banks 1 and 2 are cleared first, so the image depends on the project alone and not on what an
// earlier build of the same run left behind; banks 3 to 5 are never written.
//
// Missing files, field texts that are not numbers and EMCY rows or groups without a partner in
// the other EMCY file are reported through the sink and the build
// goes on. An error that stops the build (a file that is not XML, an absent attribute, a number
// of the EMCY files that is not integer text, a table that does not fit where it belongs) is
// thrown as UserError with the user's text; the banks then hold what was written before it.
// Nothing is ever written outside the banks.
void build_image(const std::filesystem::path& project_dir, Banks& banks, MessageSink& sink,
                 const Clock& clock);

// A table file's document standing in for the file on disk: the table an editor is about to save.
struct TableStandIn {
    std::string_view file_name;
    std::string_view document;
};
// The same build with `stand_in` read in place of its file.
void build_image(const std::filesystem::path& project_dir, Banks& banks, MessageSink& sink,
                 const Clock& clock, const TableStandIn& stand_in);

// The 19 words of the table directory as a build stored them (word 1 at index 0).
std::array<std::uint16_t, kDirectoryWords> read_table_directory(const Banks& banks);

} // namespace mk
