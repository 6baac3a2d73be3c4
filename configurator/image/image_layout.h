#pragma once

#include <cstddef>
#include <cstdint>

#include "image/banks.h"

// Where the configuration image keeps what: the builder writes by these places and sizes, and
// the image reader reads by the same ones.
namespace mk {

// Fixed places in bank 2. The EMCY, register and receive-PDO tables must end at or before the
// parameter block; the transmit-PDO table follows the block and runs to the end of the bank.
inline constexpr std::size_t kParameterBlockOffset = 16184;
inline constexpr std::size_t kDateWordOffset = 16205;
inline constexpr std::size_t kTableDirectoryOffset = 16249;
inline constexpr std::size_t kTransmitTableOffset = 16293;
inline constexpr std::size_t kDirectoryWords = 19;
inline constexpr std::size_t kBank2TablesEnd = kParameterBlockOffset;

// The fields of the parameter block, by their offset in bank 2, in the order they are written.
namespace param_offset {
inline constexpr std::size_t ser = 16184;        // 1 byte
inline constexpr std::size_t baudmodbus = 16185; // 2, high byte first
inline constexpr std::size_t parity = 16187;     // 1
inline constexpr std::size_t devid = 16188;      // 1
inline constexpr std::size_t BoudA = 16189;      // 2, high byte first
inline constexpr std::size_t idA = 16191;        // 1
inline constexpr std::size_t BoudB = 16192;      // 2, high byte first
inline constexpr std::size_t idB = 16194;        // 1
inline constexpr std::size_t timeoutsdo = 16195; // 2, high byte first
inline constexpr std::size_t devnetip = 16197;   // 4 octets
inline constexpr std::size_t devnetsubnetmask = 16201;
inline constexpr std::size_t date_word = kDateWordOffset; // 2, low byte first
inline constexpr std::size_t time_word = 16207;           // 2, low byte first
inline constexpr std::size_t read_community = 16209;      // name field
inline constexpr std::size_t write_community = 16223;     // name field
inline constexpr std::size_t snmptrap_ip1 = 16237;        // 4 octets each
inline constexpr std::size_t snmptrap_ip2 = 16241;
inline constexpr std::size_t snmptrap_ip3 = 16245;
inline constexpr std::size_t directory = kTableDirectoryOffset; // 19 words, high byte first
inline constexpr std::size_t operational_at_start = 16287;      // flags, 1 byte each
inline constexpr std::size_t network_start = 16288;
inline constexpr std::size_t network_start_modbus = 16289;
inline constexpr std::size_t modbus_start_address = 16290; // 2, high byte first
inline constexpr std::size_t delay_network_start = 16292;  // 1
} // namespace param_offset

// A community name: up to 13 characters, one byte each, then zero bytes up to 14.
inline constexpr std::size_t kNameFieldSize = 14;
inline constexpr std::size_t kNameLength = 13;

// Row sizes of the tables.
inline constexpr std::size_t kSdoEntrySize = 9;
inline constexpr std::size_t kStoredPdoRowSize = 5;
inline constexpr std::size_t kEmcyRecordHeadSize = 5; // then 3 bytes per mapping
inline constexpr std::size_t kEmcyMappingSize = 3;
inline constexpr std::size_t kEmcyRegisterRowSize = 6;
inline constexpr std::size_t kReceivePdoRowSize = 6;
inline constexpr std::size_t kTransmitPdoRowSize = 5; // after one count byte

// An EMCY byte selection names message bytes 1 to 5; 0 is none.
inline constexpr int kEmcyMessageBytes = 5;
// A register row's byte slot when its nibble is 0.
inline constexpr std::uint16_t kNoByteSlot = 0xFFFF;

// The words of the table directory, numbered from 1 as the device reads them.
namespace dir_word {
inline constexpr int sdo_start = 1;
inline constexpr int sdo_count = 2;
inline constexpr int sdo_size = 3;
inline constexpr int reserved = 4;
inline constexpr int emcy_start = 5;
inline constexpr int emcy_count = 6;
inline constexpr int emcy_start_copy = 7;
inline constexpr int emcy_count_copy = 8;
inline constexpr int register_start = 9;
inline constexpr int register_count = 10;
inline constexpr int register_start_copy = 11;
inline constexpr int register_count_copy = 12;
inline constexpr int receive_start = 13;
inline constexpr int receive_count = 14;
inline constexpr int receive_end = 15;
inline constexpr int receive_count_copy = 16;
inline constexpr int stored_start = 17;
inline constexpr int stored_count = 18;
inline constexpr int stored_end = 19;
} // namespace dir_word

} // namespace mk
