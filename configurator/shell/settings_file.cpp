#include "shell/settings_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <string_view>

#include "core/atomic_file.h"

namespace mk {

namespace {

// The settings file holds one short line of interest; anything much larger is not ours.
constexpr std::uintmax_t kMaxSettingsSize = 64 * 1024;

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::string read_last_project(const std::filesystem::path& ini_path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(ini_path, ec);
    if (ec || size > kMaxSettingsSize)
        return {};
    std::ifstream in(ini_path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream content;
    content << in.rdbuf();
    const std::string text = content.str();

    bool in_section = false;
    std::istringstream lines(text);
    std::string raw;
    while (std::getline(lines, raw)) {
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            in_section = close != std::string_view::npos &&
                         same_name(trim(line.substr(1, close - 1)), "lastproj");
            continue;
        }
        const auto eq = line.find('=');
        if (in_section && eq != std::string_view::npos &&
            same_name(trim(line.substr(0, eq)), "projectname")) {
            // The value is kept as written, spaces included, since project names are taken
            // exactly as typed; only the line end is dropped.
            std::string_view value = raw;
            if (!value.empty() && value.back() == '\r')
                value.remove_suffix(1);
            value = value.substr(value.find('=') + 1);
            // A name with bytes that cannot belong to a folder name is no project of ours.
            if (value.find('\0') != std::string_view::npos)
                return {};
            return std::string(value);
        }
    }
    return {};
}

void write_last_project(const std::filesystem::path& ini_path, const std::string& project_name) {
    write_file_atomically(ini_path, "[lastproj]\r\nprojectname=" + project_name + "\r\n");
}

} // namespace mk
