#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/image_layout.h"

namespace mk {

// The configuration image read back from banks 1 and 2: the inverse of build_image. Every value
// is the number the image holds, before any naming or formatting.

struct ImageParameters {
    std::uint8_t ser = 0;
    std::uint16_t baudmodbus = 0;
    std::uint8_t parity = 0;
    std::uint8_t devid = 0;
    std::uint16_t BoudA = 0;
    std::uint8_t idA = 0;
    std::uint16_t BoudB = 0;
    std::uint8_t idB = 0;
    std::uint16_t timeoutsdo = 0;
    std::array<std::uint8_t, 4> devnetip{};
    std::array<std::uint8_t, 4> devnetsubnetmask{};
    std::uint16_t date_word = 0;
    std::uint16_t time_word = 0;
    // The name fields as UTF-8 (each byte is one Latin-1 character), up to the first zero byte.
    std::string read_community;
    std::string write_community;
    std::array<std::array<std::uint8_t, 4>, 3> snmptrap_ip{};
    std::uint8_t operational_at_start = 0;
    std::uint8_t network_start = 0;
    std::uint8_t network_start_modbus = 0;
    std::uint16_t modbus_start_address = 0;
    std::uint8_t delay_network_start = 0;

    bool operator==(const ImageParameters&) const = default;
};

// The build date and time as their words hold them.
struct ImageStamp {
    int year = 0; // within the century, 0 to 99
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0; // always even: the word keeps seconds halved
};
ImageStamp decode_stamp(std::uint16_t date_word, std::uint16_t time_word);

struct SdoEntry {
    std::uint8_t conf = 0; // Hi Word in bits 5 to 7, R/W in bit 4, Lo Word in bits 0 to 2
    std::uint16_t IndexA = 0;
    std::uint8_t SubindexA = 0;
    std::uint8_t devIDB = 0;
    std::uint16_t IndexB = 0;
    std::uint8_t SubindexB = 0;
    std::uint8_t nbyteB = 0;
    bool operator==(const SdoEntry&) const = default;
};

struct StoredPdoRow {
    std::uint16_t index = 0;
    std::uint8_t subindex = 0;
    std::uint8_t nrpdo = 0;
    std::uint8_t poscomp = 0;
    bool operator==(const StoredPdoRow&) const = default;
};

// One register mapping of an EMCY record, joined with the register row it names.
struct EmcyMapping {
    std::uint16_t register_row = 0;
    std::uint8_t selection = 0; // Dati_Byte
    std::uint16_t reg = 0;      // Dati_Word, from the register row
    std::uint16_t hi_slot = kNoByteSlot;
    std::uint16_t lo_slot = kNoByteSlot;
    bool operator==(const EmcyMapping&) const = default;
};

struct EmcyRecord {
    std::uint8_t id = 0;
    std::uint16_t error_code = 0;
    std::uint8_t error_register = 0;
    std::vector<EmcyMapping> mappings;
    bool operator==(const EmcyRecord&) const = default;
};

struct ReceivePdoRow {
    std::uint16_t cobid = 0;
    std::uint8_t id_dev_orig = 0;
    std::uint8_t dimension = 0;
    std::uint8_t posind = 0;
    std::uint8_t n_tpdo = 0;
    bool operator==(const ReceivePdoRow&) const = default;
};

struct TransmitPdoRow {
    std::uint16_t cob_id = 0;
    std::uint8_t dimension = 0;
    std::uint16_t sma = 0;
    bool operator==(const TransmitPdoRow&) const = default;
};

struct ConfigurationImage {
    ImageParameters parameters;
    std::array<std::uint16_t, kDirectoryWords> directory{};
    // The rows the directory counts, as the device reads them.
    std::vector<SdoEntry> sdo;
    std::vector<StoredPdoRow> stored_pdo;
    std::vector<EmcyRecord> emcy;
    std::vector<ReceivePdoRow> receive_pdo;
    std::vector<TransmitPdoRow> transmit_pdo;
};

// An image that cannot be read as a configuration: the text names the place (bank and offset,
// directory word, or the line of an S-record file) and what is wrong there.
class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the configuration from banks 1 and 2, which must be exactly kBankSize bytes each.
// Checks that every table the directory names lies inside its bank (the bank 2 tables before the
// parameter block), that no two tables overlap, that the directory's repeated and derived words
// agree, that every EMCY mapping names an existing register row, and that the transmit-PDO
// count fits in the bank. Throws ImageError otherwise; never reads outside the two spans.
ConfigurationImage read_image(std::span<const std::uint8_t> bank1,
                              std::span<const std::uint8_t> bank2);

} // namespace mk
