#pragma once

// Random valid projects for round-trip tests: the table files as text, and the configuration
// their build must carry, worked out from the texts by the builder's field-value rule.

#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/integer_text.h"
#include "core/message_sink.h"
#include "firmware_test_support.h"
#include "image/build_clock.h"
#include "image/field_value.h"
#include "image/image_reader.h"
#include "tables/emcy_schema.h"
#include "tables/emcy_word_schema.h"
#include "tables/pargen_schema.h"
#include "tables/rpdo_schema.h"
#include "tables/sdo_schema.h"
#include "tables/sdopdo_schema.h"
#include "tables/tpdo_schema.h"

namespace mk::test {

struct RandomProject {
    std::map<std::string, std::string> files; // file name -> content
    BuildStamp stamp;
    ConfigurationImage expected; // the directory is not predicted
    int pdo_layout = 0;
};

class ProjectGenerator {
public:
    explicit ProjectGenerator(std::uint32_t start_value) : rng_(start_value) {}

    RandomProject next() {
        RandomProject p;
        p.pdo_layout = chance(2) ? 0 : 1;
        p.stamp = {2000 + pick(0, 99), pick(1, 12), pick(1, 28),
                   pick(0, 23),        pick(0, 59), pick(0, 59)};
        // Each size class: empty, small, or up to the place the table has.
        const bool has_pargen = !chance(20);
        sdo(p);
        stored(p);
        emcy(p);
        receive(p);
        if (has_pargen)
            pargen(p);
        transmit(p, has_pargen);
        if (!has_pargen) {
            // Without the parameter block the directory stays zero: the image names no table.
            p.expected = {};
            p.expected.parameters = {};
        }
        return p;
    }

    // Field text whose field value is `value`, in one of the forms integer text allows.
    std::string form(std::uint32_t value, bool strict = false) {
        const auto v16 = value & 0xFFFFu;
        char buffer[32];
        switch (pick(0, strict ? 8 : 10)) {
        case 0:
            std::snprintf(buffer, sizeof buffer, "0x%X", value);
            break;
        case 1:
            std::snprintf(buffer, sizeof buffer, "0X%x", value);
            break;
        case 2:
            std::snprintf(buffer, sizeof buffer, "x%X", value);
            break;
        case 3:
            std::snprintf(buffer, sizeof buffer, "X%04X", value);
            break;
        case 4:
            std::snprintf(buffer, sizeof buffer, "$%x", value);
            break;
        case 5:
            std::snprintf(buffer, sizeof buffer, "  +%u", value);
            break;
        case 6: // the same low bits as a negative number
            std::snprintf(buffer, sizeof buffer, "-%u", 65536u - v16);
            break;
        case 7: // higher bits that the field drops
            std::snprintf(buffer, sizeof buffer, "%u",
                          v16 + 65536u * static_cast<unsigned>(pick(1, 100)));
            break;
        case 9:
            std::snprintf(buffer, sizeof buffer, " %u \t", value);
            break;
        case 10:
            std::snprintf(buffer, sizeof buffer, "\t0x%X  ", value);
            break;
        default:
            std::snprintf(buffer, sizeof buffer, "%u", value);
            break;
        }
        return buffer;
    }

    // A field text: mostly a number in some form, now and then empty or a word.
    std::string field(std::uint32_t max) {
        const int r = pick(0, 40);
        if (r == 0)
            return "";
        if (r == 1)
            return "abc";
        return form(static_cast<std::uint32_t>(pick(0, static_cast<int>(max))));
    }

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int one_in) { return pick(1, one_in) == 1; }

    // Row count: empty, a few, or full up to `full`.
    std::size_t rows(std::size_t full) {
        const int r = pick(0, 9);
        if (r == 0 || full == 0)
            return 0;
        if (r == 1)
            return full;
        return static_cast<std::size_t>(pick(1, static_cast<int>(std::min<std::size_t>(full, 12))));
    }

    std::uint16_t fv(const std::string& text) { return field_value(text, sink_); }
    std::uint8_t fv8(const std::string& text) { return static_cast<std::uint8_t>(fv(text)); }

    static std::string escaped(const std::string& text) {
        std::string out;
        for (const char c : text) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\t':
                out += "&#9;";
                break;
            default:
                out += c;
            }
        }
        return out;
    }

    static std::string attr(const char* name, const std::string& value) {
        return std::string(" ") + name + "=\"" + escaped(value) + "\"";
    }

    static std::string document(const TableSchema& s, const std::string& rows) {
        return std::string("<") + s.root_element + ">" + rows + "</" + s.root_element + ">";
    }

    void sdo(RandomProject& p) {
        if (chance(15))
            return;
        using namespace sdo_file;
        // Full: the 1500 rows of the grid; the stored-PDO rows then share what is left of bank 1.
        sdo_rows_ = rows(1500);
        std::string xml;
        for (std::size_t i = 0; i < sdo_rows_; ++i) {
            const bool skipped = chance(30);
            const std::string packed =
                skipped ? "" : std::to_string(pick(0, 4) * 32 + pick(0, 1) * 16 + pick(0, 4));
            const std::string a = field(65535), s = chance(10) ? field(255) : "0", d = field(127),
                              x = field(65535), sx = field(255), n = field(4);
            xml += "<row" + attr(conf, packed) + attr(IndexA, a) + attr(SubindexA, s) +
                   attr(devIDB, d) + attr(IndexB, x) + attr(SubindexB, sx) + attr(nbyteB, n) +
                   attr(mnemonico, "m&" + std::to_string(i)) + "/>";
            if (!skipped)
                p.expected.sdo.push_back(
                    {fv8(packed), fv(a), fv8(s), fv8(d), fv(x), fv8(sx), fv8(n)});
        }
        p.files[schema.file_name] = document(schema, xml);
    }

    void stored(RandomProject& p) {
        if (chance(15))
            return;
        using namespace sdopdo_file;
        const std::size_t room =
            (kBankSize - kSdoEntrySize * p.expected.sdo.size()) / kStoredPdoRowSize;
        const std::size_t n = std::min(rows(room), room);
        std::string xml;
        std::vector<StoredPdoRow> written;
        std::size_t counted = 0;
        for (std::size_t i = 0; i < n; ++i) {
            // Mostly the PDO numbers the editor writes; now and then one with bit 7 set.
            const std::string nr = chance(12) ? form(128u + static_cast<unsigned>(pick(0, 127)))
                                              : form(static_cast<std::uint32_t>(pick(1, 15)));
            const std::string ix = field(65535), sub = "0", pos = field(0x88);
            xml += "<row" + attr(index, ix) + attr(subindex, sub) + attr(nrpdo, nr) +
                   attr(poscomp, pos) + "/>";
            written.push_back({fv(ix), fv8(sub), fv8(nr), fv8(pos)});
            counted += (fv(nr) & 0x80) == 0;
        }
        // The device reads as many rows as the directory counts, from the first one.
        written.resize(counted);
        p.expected.stored_pdo = written;
        p.files[schema.file_name] = document(schema, xml);
    }

    void emcy(RandomProject& p) {
        bank2_used_ = 0;
        if (chance(15))
            return;
        const std::size_t defs = rows(40);
        const std::size_t groups = chance(5) ? rows(40) : defs;
        std::string def_xml, word_xml;
        std::uint16_t register_row = 0;
        std::uint16_t slot_counter = 0;
        for (std::size_t i = 0; i < std::max(defs, groups); ++i) {
            const std::uint32_t id = static_cast<std::uint32_t>(pick(1, 127));
            const std::uint32_t code = static_cast<std::uint32_t>(pick(0, 0xFFFF));
            const std::uint32_t reg = static_cast<std::uint32_t>(pick(0, 0xFF));
            const std::string tid = form(id, true), tcode = form(code, true),
                              treg = form(reg, true);
            if (i < defs)
                def_xml += "<row" + attr(emcy_file::ID_EMCY, tid) +
                           attr(emcy_file::EMCY_Error_Code, tcode) +
                           attr(emcy_file::Error_Register, treg) + "/>";
            if (i >= groups)
                continue;
            EmcyRecord record{static_cast<std::uint8_t>(str_to_int(tid)),
                              static_cast<std::uint16_t>(str_to_int(tcode)),
                              static_cast<std::uint8_t>(str_to_int(treg)),
                              {}};
            int slot[kEmcyMessageBytes + 1] = {-1, -1, -1, -1, -1, -1};
            const auto slot_of = [&](int byte) -> std::uint16_t {
                if (byte == 0)
                    return kNoByteSlot;
                if (slot[byte] < 0)
                    slot[byte] = slot_counter++;
                return static_cast<std::uint16_t>(slot[byte]);
            };
            word_xml += std::string("<") + emcy_word_file::schema.row_element + ">";
            const std::size_t mappings = chance(6) ? 0 : static_cast<std::size_t>(pick(1, 6));
            for (std::size_t j = 0; j < mappings; ++j) {
                const int hi = pick(0, kEmcyMessageBytes), lo = pick(0, kEmcyMessageBytes);
                const std::uint32_t selection = static_cast<std::uint32_t>(hi * 16 + lo);
                const std::uint32_t word = static_cast<std::uint32_t>(pick(0, 65535));
                const std::string tw = form(word, true), tb = form(selection, true);
                word_xml += std::string("<") + emcy_word_file::mapping_element +
                            attr(emcy_word_file::Dati_Word, tw) +
                            attr(emcy_word_file::Dati_Byte, tb) + "/>";
                EmcyMapping m;
                m.register_row = register_row++;
                m.selection = static_cast<std::uint8_t>(selection);
                m.reg = static_cast<std::uint16_t>(str_to_int(tw));
                m.lo_slot = slot_of(lo);
                m.hi_slot = slot_of(hi);
                record.mappings.push_back(m);
            }
            word_xml += std::string("</") + emcy_word_file::schema.row_element + ">";
            if (i < defs) {
                bank2_used_ +=
                    kEmcyRecordHeadSize + (kEmcyMappingSize + kEmcyRegisterRowSize) * mappings;
                p.expected.emcy.push_back(std::move(record));
            }
        }
        p.files[emcy_file::schema.file_name] = document(emcy_file::schema, def_xml);
        p.files[emcy_word_file::schema.file_name] = document(emcy_word_file::schema, word_xml);
    }

    void receive(RandomProject& p) {
        if (chance(15))
            return;
        using namespace rpdo_file;
        const std::size_t n = std::min(rows(p.pdo_layout == 0 ? 15 : 8),
                                       (kBank2TablesEnd - bank2_used_) / kReceivePdoRowSize);
        std::string xml;
        std::vector<ReceivePdoRow> written;
        std::size_t counted = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::string cob = chance(12) ? "0" : field(0x7FF);
            const std::string dev = field(127), dim = field(8), pos = "0", tp = "0";
            xml += "<row" + attr(cobid, cob) + attr(id_dev_orig, dev) + attr(dimension, dim) +
                   attr(posind, pos) + attr(n_tpdo, tp) + "/>";
            written.push_back({fv(cob), fv8(dev), fv8(dim), fv8(pos), fv8(tp)});
            counted += fv(cob) != 0;
        }
        written.resize(counted);
        p.expected.receive_pdo = written;
        p.files[schema.file_name] = document(schema, xml);
    }

    void octets(std::string& xml, pargen_file::Position at, std::array<std::uint8_t, 4>& out) {
        xml += std::string("<") + pargen_file::elements[at];
        for (std::size_t i = 0; i < 4; ++i) {
            const std::string t = field(255);
            xml += attr(pargen_file::octets[i], t);
            out[i] = fv8(t);
        }
        xml += "/>";
    }

    std::string community(std::string& utf8_text) {
        // ASCII with now and then a Latin-1 letter, up to 20 characters; the field keeps 13.
        static const char* const extra[] = {"\xC3\xA9", "\xC3\xBC", "\xC2\xB0"};
        std::string text, kept;
        const int length = pick(0, 20);
        for (int i = 0; i < length; ++i) {
            const std::string c =
                chance(8) ? extra[pick(0, 2)] : std::string(1, static_cast<char>(pick(0x20, 0x7E)));
            text += c;
            if (i < static_cast<int>(kNameLength))
                kept += c;
        }
        utf8_text = text;
        return kept;
    }

    void pargen(RandomProject& p) {
        using namespace pargen_file;
        ImageParameters& e = p.expected.parameters;
        std::string xml;
        const auto text_child = [&](Position at, std::uint32_t max) {
            const std::string t = field(max);
            xml += std::string("<") + elements[at] + ">" + escaped(t) + "</" + elements[at] + ">";
            return t;
        };
        e.idA = fv8(text_child(idA, 127));
        e.BoudA = fv(text_child(BoudA, 1000));
        e.idB = fv8(text_child(idB, 127));
        e.BoudB = fv(text_child(BoudB, 1000));
        e.timeoutsdo = fv(text_child(timeoutsdo, 65535));
        e.baudmodbus = fv(text_child(baudmodbus, 7));
        e.parity = fv8(text_child(parity, 2));
        e.ser = fv8(text_child(ser, 1));
        e.devid = fv8(text_child(devid, 247));
        octets(xml, devnetip, e.devnetip);
        octets(xml, devnetsubnetmask, e.devnetsubnetmask);
        for (const Position at : {read_community, write_community}) {
            std::string full;
            const std::string kept = community(full);
            xml += std::string("<") + elements[at] + attr(name, full) + "/>";
            (at == read_community ? e.read_community : e.write_community) = kept;
        }
        octets(xml, snmptrap_ip1, e.snmptrap_ip[0]);
        octets(xml, snmptrap_ip2, e.snmptrap_ip[1]);
        octets(xml, snmptrap_ip3, e.snmptrap_ip[2]);
        static const char* const flags[] = {"true", "True", "TRUE", "false", "yes", "1", ""};
        for (const Position at : {operational_at_start, network_start, network_start_modbus}) {
            std::uint8_t value = 0;
            if (chance(8)) { // an older file without the attribute
                xml += std::string("<") + elements[at] + "/>";
            } else {
                const int f = pick(0, 6);
                value = f < 3 ? 1 : 0;
                xml += std::string("<") + elements[at] + attr(start, flags[f]) + "/>";
            }
            (at == operational_at_start ? e.operational_at_start
             : at == network_start      ? e.network_start
                                        : e.network_start_modbus) = value;
        }
        const std::string a = field(65535), d = field(255);
        xml += std::string("<") + elements[modbus_start_address] + attr(address, a) + "/>";
        xml += std::string("<") + elements[delay_network_start] + attr(delay, d) + "/>";
        xml += std::string("<") + elements[network_type_PDO] +
               attr(type_PDO, std::to_string(p.pdo_layout)) + "/>";
        e.modbus_start_address = fv(a);
        e.delay_network_start = fv8(d);
        e.date_word = build_date_word(p.stamp);
        e.time_word = build_time_word(p.stamp);
        p.files[schema.file_name] = document(schema, xml);
    }

    void transmit(RandomProject& p, bool after_parameters) {
        if (chance(15))
            return;
        using namespace tpdo_file;
        // The editor shows 3 or 8 rows; the place after the parameter block holds 18.
        const std::size_t n = chance(10) ? 18 : rows(p.pdo_layout == 0 ? 3 : 8);
        std::string xml;
        for (std::size_t i = 0; i < n; ++i) {
            const std::string c = field(0x7FF), d = field(8), s = field(65535);
            xml += "<row" + attr(COB_ID, c) + attr(Dimension, d) + attr(SMA, s) + "/>";
            if (after_parameters)
                p.expected.transmit_pdo.push_back({fv(c), fv8(d), fv(s)});
        }
        p.files[schema.file_name] = document(schema, xml);
    }

    std::mt19937 rng_;
    NullSink sink_;
    std::size_t sdo_rows_ = 0;
    std::size_t bank2_used_ = 0;
};

} // namespace mk::test
