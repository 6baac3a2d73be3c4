#include "apps/inspect_command.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "firmware/image_source.h"
#include "image/image_layout.h"
#include "image/image_reader.h"

namespace mk {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kArrow = " \xE2\x86\x92 "; // " → "

// Columns that only number the rows: text shows them, JSON and the comparison go by position.
bool is_row_number(const ImageColumn& c) {
    return c.title == "N";
}

// Display width of UTF-8 text: one per character.
std::size_t width(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string padded(std::string_view text, std::size_t to) {
    std::string out(text);
    out.append(to > width(text) ? to - width(text) : 0, ' ');
    return out;
}

std::string rows_note(std::size_t rows) {
    if (rows == 0)
        return "no rows";
    return std::to_string(rows) + (rows == 1 ? " row" : " rows");
}

void table_text(std::string& out, const ImageTable& t) {
    out += "\n" + std::string(t.title) + " (" + rows_note(t.rows.size()) + ")\n";
    if (t.rows.empty())
        return;
    std::vector<std::vector<std::string>> cells;
    std::vector<std::size_t> widths;
    for (const ImageColumn& c : t.columns)
        widths.push_back(width(c.title));
    for (const auto& row : t.rows) {
        std::vector<std::string> line;
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            line.push_back(cell_text(t.columns[i], row[i]));
            widths[i] = std::max(widths[i], width(line.back()));
        }
        cells.push_back(std::move(line));
    }
    const auto put_line = [&](const std::vector<std::string>& line) {
        std::string text = " ";
        for (std::size_t i = 0; i < line.size(); ++i)
            text += " " + padded(line[i], i + 1 < line.size() ? widths[i] + 1 : 0);
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out += text + "\n";
    };
    std::vector<std::string> titles;
    for (const ImageColumn& c : t.columns)
        titles.emplace_back(c.title);
    put_line(titles);
    for (const auto& line : cells)
        put_line(line);
}

std::string json_key(std::string_view text) {
    return json_string(text);
}

std::string row_fields(const ImageTable& t, const std::vector<std::uint32_t>& row) {
    std::string out;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        if (is_row_number(t.columns[i]))
            continue;
        out += (out.empty() ? "" : ", ") + std::string(t.columns[i].title) + " " +
               cell_text(t.columns[i], row[i]);
    }
    return out;
}

const ImageParameter* find_parameter(const ImageView& v, std::string_view key) {
    for (const ImageParameter& p : v.parameters)
        if (p.key == key)
            return &p;
    return nullptr;
}

std::string stamp_of(const ImageView& v) {
    const ImageParameter* date = find_parameter(v, "build_date");
    const ImageParameter* time = find_parameter(v, "build_time");
    return date && time ? date->text + " " + time->text : "";
}

struct Inspected {
    ImageBanks banks;
    ImageView view;
};

// Loads and reads one source; an error is written to `err` naming the source.
std::optional<Inspected> inspect_source(const fs::path& source, std::ostream& err) {
    try {
        ImageBanks banks = load_image_source(source);
        try {
            ImageView view = view_of(read_image(banks.bank1, banks.bank2));
            return Inspected{std::move(banks), std::move(view)};
        } catch (const ImageError& e) {
            // The reader knows places in the banks only; the source is named here.
            err << "mosaicor-inspect: " << source.string() << ": " << e.what() << "\n";
            return std::nullopt;
        }
    } catch (const ImageError& e) {
        err << "mosaicor-inspect: " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        err << "mosaicor-inspect: " << source.string() << ": not enough memory to read it\n";
    }
    return std::nullopt;
}

// The bank files of two folders, byte for byte: banks 3 to 5 always; banks 1 and 2 when the
// configurations are equal, for bytes that no table holds (the build date and time left out).
std::vector<std::string> bank_file_differences(const ImageBanks& a, const ImageBanks& b,
                                               bool configurations_equal) {
    std::vector<std::string> out;
    const auto compare = [&](int bank, const std::vector<std::uint8_t>& x,
                             const std::vector<std::uint8_t>& y, const char* what) {
        if (x.size() != y.size()) {
            out.push_back("bank" + std::to_string(bank) +
                          ".bin: " + (x.empty() ? "only in the second" : "only in the first"));
            return;
        }
        std::size_t count = 0, first = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const bool stamp =
                bank == 2 && i >= param_offset::date_word && i < param_offset::time_word + 2;
            if (x[i] != y[i] && !stamp && count++ == 0)
                first = i;
        }
        if (count > 0)
            out.push_back("bank" + std::to_string(bank) + ".bin: " + std::to_string(count) +
                          (count == 1 ? " byte differs" : " bytes differ") + what +
                          ", the first at offset " + std::to_string(first));
    };
    if (configurations_equal) {
        compare(1, a.bank1, b.bank1, " outside the tables");
        compare(2, a.bank2, b.bank2, " outside the tables");
    }
    for (std::size_t i = 0; i < a.more_banks.size() && i < b.more_banks.size(); ++i)
        compare(static_cast<int>(i) + 3, a.more_banks[i], b.more_banks[i], "");
    return out;
}

} // namespace

std::string inspect_command_usage() {
    return "Usage: mosaicor-inspect [--json] SOURCE\n"
           "  or:  mosaicor-inspect --diff A B\n"
           "\n"
           "Shows the configuration a firmware image carries: the communication parameters,\n"
           "the build date and time, and every table the image's table directory names (SDO\n"
           "access, stored-PDO, EMCY, EMCY word, receive-PDO and transmit-PDO), in text\n"
           "columns headed as in the table editors.\n"
           "\n"
           "SOURCE is a merged firmware image in S-record form (New_RZ41902_15_3.sx, ...)\n"
           "whose bank 1 and bank 2 pages are read, or a folder holding bank1.bin and\n"
           "bank2.bin: a project's bin folder, or the project folder itself.\n"
           "\n"
           "  --json       print the configuration as one JSON object for scripts: the\n"
           "               parameters, and one array per table whose rows are keyed by the\n"
           "               column titles; numbers are plain numbers\n"
           "  --diff A B   show what differs between two sources, table by table and row by\n"
           "               row (old -> new); the build date and time are shown but do not\n"
           "               count as a difference. Two folders are also compared file by\n"
           "               file: bank3.bin to bank5.bin, and bank1.bin and bank2.bin outside\n"
           "               the tables\n"
           "  -h, --help   show this text\n"
           "\n"
           "A source that is not a readable image (a bad S-record checksum, a file cut short,\n"
           "no bank pages, a table directory pointing outside its bank, a folder whose files\n"
           "come from two builds) is reported on standard error with the place of the fault.\n"
           "The files of a folder are one set when each holds what the commit record\n"
           "bin/outputs.set names and bankg.c holds bank1.bin and bank2.bin.\n"
           "\n"
           "Exit status: showing, 0 shown, 1 the source could not be read, 2 usage error;\n"
           "with --diff, 0 equal, 1 different, 2 a source could not be read or usage error.\n";
}

InspectCommand parse_inspect_command(int argc, const char* const argv[]) {
    InspectOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return HelpRequest{};
        if (arg == "--json")
            options.json = true;
        else if (arg == "--diff")
            options.diff = true;
        else if (arg.starts_with("-") && arg.size() > 1)
            return UsageError{"unknown option " + std::string(arg)};
        else
            options.sources.emplace_back(std::string(arg));
    }
    if (options.diff && options.json)
        return UsageError{"--json does not go with --diff"};
    if (options.diff && options.sources.size() != 2)
        return UsageError{"--diff needs two sources"};
    if (!options.diff && options.sources.size() != 1)
        return UsageError{options.sources.empty() ? "SOURCE is missing"
                                                  : "only one SOURCE may be given"};
    for (const fs::path& s : options.sources)
        if (s.empty())
            return UsageError{"a SOURCE may not be empty"};
    return options;
}

std::string image_text(const ImageView& view, const std::string& source) {
    std::string out = "Source: " + source + "\n\nCommunication parameters\n";
    std::size_t key_width = 0;
    std::size_t label_width = 0;
    for (const ImageParameter& p : view.parameters) {
        key_width = std::max(key_width, width(p.key));
        label_width = std::max(label_width, width(p.label));
    }
    for (const ImageParameter& p : view.parameters)
        out +=
            "  " + padded(p.key, key_width + 2) + padded(p.label, label_width + 2) + p.text + "\n";
    for (const ImageTable& t : view.tables)
        table_text(out, t);
    return out;
}

std::string image_json(const ImageView& view, const std::string& source) {
    std::string out = "{\n  \"source\": " + json_string(source);
    out += ",\n  \"parameters\": {";
    for (std::size_t i = 0; i < view.parameters.size(); ++i) {
        const ImageParameter& p = view.parameters[i];
        out += (i ? ",\n    " : "\n    ") + json_key(p.key) + ": " + p.json;
    }
    out += "\n  }";
    for (const ImageTable& t : view.tables) {
        out += ",\n  " + json_key(t.key) + ": [";
        for (std::size_t r = 0; r < t.rows.size(); ++r) {
            out += r ? ",\n    {" : "\n    {";
            bool first = true;
            for (std::size_t i = 0; i < t.columns.size(); ++i) {
                if (is_row_number(t.columns[i]))
                    continue;
                out += (first ? "" : ", ") + json_key(t.columns[i].title) + ": " +
                       std::to_string(t.rows[r][i]);
                first = false;
            }
            out += "}";
        }
        out += t.rows.empty() ? "]" : "\n  ]";
    }
    return out + "\n}\n";
}

ImageDifferences compare_images(const ImageView& a, const ImageView& b, const std::string& name_a,
                                const std::string& name_b,
                                const std::vector<std::string>& file_differences) {
    ImageDifferences d;
    std::string& out = d.text;
    out = "Comparing " + name_a + " (built " + stamp_of(a) + ")\n     with " + name_b + " (built " +
          stamp_of(b) + ")\n";

    std::string section;
    for (const ImageParameter& pa : a.parameters) {
        const ImageParameter* pb = find_parameter(b, pa.key);
        if (!pb || pb->text == pa.text || is_build_stamp(pa.key))
            continue;
        section += "  " + std::string(pa.key) + " (" + std::string(pa.label) + "): " + pa.text +
                   std::string(kArrow) + pb->text + "\n";
        ++d.count;
    }
    if (!section.empty())
        out += "\nCommunication parameters\n" + section;

    for (std::size_t ti = 0; ti < a.tables.size() && ti < b.tables.size(); ++ti) {
        const ImageTable& ta = a.tables[ti];
        const ImageTable& tb = b.tables[ti];
        section.clear();
        const std::size_t rows = std::max(ta.rows.size(), tb.rows.size());
        for (std::size_t r = 0; r < rows; ++r) {
            const std::string row = "  row " + std::to_string(r);
            if (r >= tb.rows.size()) {
                section += row + " removed: " + row_fields(ta, ta.rows[r]) + "\n";
            } else if (r >= ta.rows.size()) {
                section += row + " added: " + row_fields(tb, tb.rows[r]) + "\n";
            } else {
                std::string changes;
                for (std::size_t c = 0; c < ta.columns.size(); ++c) {
                    if (is_row_number(ta.columns[c]) || ta.rows[r][c] == tb.rows[r][c])
                        continue;
                    changes += (changes.empty() ? "" : ", ") + std::string(ta.columns[c].title) +
                               " " + cell_text(ta.columns[c], ta.rows[r][c]) + std::string(kArrow) +
                               cell_text(ta.columns[c], tb.rows[r][c]);
                }
                if (changes.empty())
                    continue;
                section += row + ": " + changes + "\n";
            }
            ++d.count;
        }
        if (!section.empty())
            out += "\n" + std::string(ta.title) + "\n" + section;
    }
    if (!file_differences.empty()) {
        out += "\nBank files\n";
        for (const std::string& line : file_differences)
            out += "  " + line + "\n";
        d.count += file_differences.size();
    }
    out += d.count == 0 ? "\nThe configurations are equal.\n"
                        : "\n" + std::to_string(d.count) +
                              (d.count == 1 ? " difference.\n" : " differences.\n");
    return d;
}

int run_inspect_command(const InspectOptions& options, std::ostream& out, std::ostream& err) {
    if (options.diff) {
        const auto a = inspect_source(options.sources[0], err);
        const auto b = a ? inspect_source(options.sources[1], err) : std::nullopt;
        if (!a || !b)
            return kInspectError;
        const std::string name_a = options.sources[0].string();
        const std::string name_b = options.sources[1].string();
        const bool equal = compare_images(a->view, b->view, name_a, name_b).count == 0;
        const ImageDifferences d = compare_images(a->view, b->view, name_a, name_b,
                                                  bank_file_differences(a->banks, b->banks, equal));
        out << d.text;
        return d.count == 0 ? kInspectEqual : kInspectDifferent;
    }
    const auto source = inspect_source(options.sources[0], err);
    if (!source)
        return kInspectUnreadable;
    const std::string name = options.sources[0].string();
    out << (options.json ? image_json(source->view, name) : image_text(source->view, name));
    return kInspectShown;
}

} // namespace mk
