#include "shell/settings_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/atomic_file.h"

namespace mk {

namespace {

// The settings file holds one short line of interest; anything much larger is not ours, and is
// neither read nor rewritten.
constexpr std::uintmax_t kMaxSettingsSize = 1024 * 1024;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kSection = "lastproj";
constexpr std::string_view kKey = "projectname";

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The file's bytes, or nothing when it is missing, unreadable or too large to be ours.
std::optional<std::string> read_whole(const std::filesystem::path& path, std::error_code& ec) {
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return std::nullopt;
    if (size > kMaxSettingsSize) {
        ec = std::make_error_code(std::errc::file_too_large);
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ec = std::make_error_code(std::errc::permission_denied);
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// One line of the file as it stands, its line end included.
struct Line {
    std::string_view text; // without the line end
    std::string_view end;  // "\r\n", "\n" or "" for a last line without one
};

std::vector<Line> split_lines(std::string_view content) {
    std::vector<Line> lines;
    while (!content.empty()) {
        const auto nl = content.find('\n');
        std::string_view text = content.substr(0, nl);
        std::string_view end;
        if (nl != std::string_view::npos) {
            const bool cr = !text.empty() && text.back() == '\r';
            if (cr)
                text.remove_suffix(1);
            end = content.substr(text.size(), cr ? 2 : 1);
            content.remove_prefix(nl + 1);
        } else {
            content = {};
        }
        lines.push_back({text, end});
    }
    return lines;
}

// Where the name lives in the file, found as INI files are read: blanks around section names,
// keys and values do not count, nor does the case of section and key; a byte-order mark before
// the first line is no part of it; the first key of the first matching section wins.
struct Layout {
    std::optional<std::size_t> key_line;
    std::optional<std::size_t> section_line;
    std::size_t section_end = 0; // one past the last non-blank line of that section
};

std::string_view without_bom(std::string_view text, std::size_t line) {
    if (line == 0 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        text.remove_prefix(kByteOrderMark.size());
    return text;
}

Layout find_name(const std::vector<Line>& lines) {
    Layout layout;
    bool in_section = false;
    bool in_first_section = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = trim(without_bom(lines[i].text, i));
        if (line.empty())
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            in_section = close != std::string_view::npos &&
                         same_name(trim(line.substr(1, close - 1)), kSection);
            in_first_section = in_section && !layout.section_line;
            if (in_first_section) {
                layout.section_line = i;
                layout.section_end = i + 1;
            }
            continue;
        }
        if (in_first_section)
            layout.section_end = i + 1;
        if (!in_section || line.front() == ';')
            continue;
        const auto eq = line.find('=');
        if (eq != std::string_view::npos && same_name(trim(line.substr(0, eq)), kKey)) {
            layout.key_line = i;
            return layout;
        }
    }
    return layout;
}

// The value as INI readers give it: without blanks around it, and without one pair of quotes
// around the whole, which is how a name with blanks at its ends is kept.
std::string value_of(std::string_view line) {
    std::string_view value = trim(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string quoted_if_needed(const std::string& name) {
    const bool blank_ends = !name.empty() && (is_blank(name.front()) || is_blank(name.back()));
    const bool quoted = name.size() >= 2 && name.front() == '"' && name.back() == '"';
    return blank_ends || quoted ? '"' + name + '"' : name;
}

} // namespace

std::string read_last_project(const std::filesystem::path& ini_path) {
    std::error_code ec;
    const auto content = read_whole(ini_path, ec);
    if (!content)
        return {};
    const std::vector<Line> lines = split_lines(*content);
    const Layout layout = find_name(lines);
    if (!layout.key_line)
        return {};
    const std::string value = value_of(without_bom(lines[*layout.key_line].text, *layout.key_line));
    // A name with bytes that cannot belong to a folder name is no project of ours.
    if (value.find('\0') != std::string::npos)
        return {};
    return value;
}

bool can_remember(const std::string& project_name) {
    return project_name.find_first_of("\r\n") == std::string::npos;
}

std::string settings_not_written_message(const std::filesystem::path& ini_path,
                                         const std::string& reason) {
    return "The last project could not be stored: \"" + ini_path.string() +
           "\" cannot be written (" + reason + ").";
}

void write_last_project(const std::filesystem::path& ini_path, const std::string& project_name) {
    std::error_code ec;
    std::string content;
    if (auto existing = read_whole(ini_path, ec))
        content = std::move(*existing);
    else if (ec != std::errc::no_such_file_or_directory)
        // A file that cannot be read (or is far too large to be ours) is left as it is.
        throw std::system_error(ec, ini_path.string());

    const std::vector<Line> lines = split_lines(content);
    const Layout layout = find_name(lines);
    // New lines take the line end the file already uses; a new file gets CR LF.
    std::string eol = "\r\n";
    if (!lines.empty() && !lines.front().end.empty())
        eol = std::string(lines.front().end);
    const std::string key_line = std::string(kKey) + "=" +
                                 (can_remember(project_name) ? quoted_if_needed(project_name) : "");

    std::string out;
    const auto append = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            out += lines[i].text;
            out += lines[i].end;
        }
    };
    if (layout.key_line) {
        // Only the value changes; a byte-order mark in front of the line stays.
        const std::size_t at = *layout.key_line;
        append(0, at);
        const std::string_view text = lines[at].text;
        out += text.substr(0, text.size() - without_bom(text, at).size());
        out += key_line;
        out += lines[at].end.empty() ? std::string_view(eol) : lines[at].end;
        append(at + 1, lines.size());
    } else if (layout.section_line) {
        append(0, layout.section_end);
        if (!out.empty() && out.back() != '\n')
            out += eol;
        out += key_line + eol;
        append(layout.section_end, lines.size());
    } else {
        out = content;
        if (!out.empty() && out.back() != '\n')
            out += eol;
        out += "[" + std::string(kSection) + "]" + eol + key_line + eol;
    }
    // Start-up makes the folder of the settings file; when it could not, making it now says why
    // (a home that cannot be written) rather than that the file's folder is missing.
    if (ini_path.has_parent_path() &&
        !std::filesystem::create_directories(ini_path.parent_path(), ec) && ec)
        throw std::system_error(ec, ini_path.string());
    write_file_atomically(ini_path, out);
}

} // namespace mk
