#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>

#include "core/message_sink.h"
#include "core/table_file.h"

namespace mk {

// Four octet texts of a dotted address, b1 to b4.
using OctetTexts = std::array<std::string, 4>;

// Positions in "Baudrate" (serial) and "Parity" of no selected item.
inline constexpr int kNoListItem = -1;

// Serial line types, in the order the window offers them.
enum class SerialLine { Rs232 = 0, Rs485 = 1 };

inline constexpr std::array<const char*, 9> kBusBaudRates = {"10",  "20",  "50",  "100", "125",
                                                             "250", "500", "800", "1000"};
inline constexpr std::array<const char*, 8> kSerialBaudRates = {
    "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
inline constexpr std::array<const char*, 3> kParities = {"NO PARITY", "EVEN", "ODD"};

// The gateway's communication parameters, one record kept in pargen.xml as the 22 children of
// ParametriGenerali, always taken by position. Plain fields hold the text as the user typed it;
// the image builder converts them. The defaults are those of a window shown for the first time.
struct TParGen {
    std::string idA = "1";                      // 0: node-ID on bus A
    std::string boudA = "10";                   // 1: bit rate on bus A, kbit/s, any text
    std::string idB = "1";                      // 2
    std::string boudB = "250";                  // 3
    std::string timeoutsdo = "1000";            // 4: SDO timeout in 1/10 ms
    int baudmodbus = 3;                         // 5: position in kSerialBaudRates, or kNoListItem
    int parity = 0;                             // 6: position in kParities, or kNoListItem
    SerialLine ser = SerialLine::Rs485;         // 7: written "1" whatever it holds
    std::string devid = "1";                    // 8: Modbus device address
    OctetTexts devnetip = {"0", "0", "0", "0"}; // 9
    OctetTexts devnetsubnetmask = {"255", "255", "255", "0"}; // 10
    std::string readCommunity = "harbor";                     // 11
    std::string writeCommunity = "lantern";                   // 12
    OctetTexts snmptrapIp1 = {"0", "0", "0", "0"};            // 13
    OctetTexts snmptrapIp2 = {"0", "0", "0", "0"};            // 14
    OctetTexts snmptrapIp3 = {"0", "0", "0", "0"};            // 15
    bool operationalAtStart = false;                          // 16
    bool networkStart = false;                                // 17
    bool networkStartModbus = false;                          // 18
    std::string modbusStartAddress = "1";                     // 19: "Add. Word modbus "
    int delay = 0;                                            // 20: seconds, 0 to 255
    int typePdo = 0; // 21: 0 "15 RPDO and 3 TPDO", 1 "8 RPDO and 8 TPDO"

    bool operator==(const TParGen&) const = default;
};

inline constexpr int kMaxStartDelay = 255;

// How a load ended.
enum class ParGenLoad { Loaded, FileMissing, ReadError };

// Loads pargen.xml into the record in place. A missing file shows "File XML not found" and keeps
// every value; a failure in positions 0 to 15 shows "Error in reading file XML" and stops there,
// keeping what was read so far, and notes the file in `incomplete`. Positions 16 to 21 each fall
// back silently, so files written before those parameters existed still load. The serial line
// type is "485" in every case.
ParGenLoad load_pargen(const std::filesystem::path& path, TParGen& record, MessageSink& sink,
                       IncompleteFiles* incomplete = nullptr);

// The document as it is written: all 22 children in position order.
std::string serialize_pargen(const TParGen& record);

// Writes the record over pargen.xml through a temporary file; throws UserError on failure.
void save_pargen(const std::filesystem::path& path, const TParGen& record);

// Whether a flag attribute is set: its text, in lower case, is "true". Absent means cleared.
bool is_true_text(const std::optional<std::string>& text);

// The PDO layout option held in a loaded pargen.xml: attribute "type_PDO" of position 21 as
// integer text, 0 when absent or not a number.
int pdo_layout_of(const TableDocument& doc);

// The PDO layout option of a project, read from its pargen.xml. A missing or unreadable file, a
// file with fewer positions or a missing attribute all give 0, without a message.
int load_pdo_layout(const std::filesystem::path& project_dir);

// The device address the main window shows: the four "IP" octets joined by ".".
std::string device_address_of(const TParGen& record);

} // namespace mk
