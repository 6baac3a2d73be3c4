#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/image_reader.h"

namespace mk {

// A configuration image as a person or a script reads it: named parameters and tables whose
// columns carry the editors' titles. Text output, JSON output and the comparison of two images
// all work from this one view.

// How a cell's number is written in text: decimal, "0x" and hexadecimal digits (at least
// `width`), the name of a choice (the number itself when it has no name), or an EMCY byte slot
// ("none" for 0xFFFF).
enum class CellForm { Decimal, Hex, Choice, Slot };

struct ImageColumn {
    std::string_view title;
    CellForm form = CellForm::Decimal;
    int width = 0;                                          // hexadecimal digits
    const std::vector<std::string_view>* choices = nullptr; // names by number
};

struct ImageTable {
    std::string_view title; // heading in text output
    std::string_view key;   // member name in JSON output
    std::vector<ImageColumn> columns;
    std::vector<std::vector<std::uint32_t>> rows;
};

// A parameter's value: `text` for people, `json` a JSON value (number, string or boolean).
struct ImageParameter {
    std::string_view key;
    std::string_view label;
    std::string text;
    std::string json;
};

struct ImageView {
    std::vector<ImageParameter> parameters; // the build date and time included
    std::vector<ImageTable> tables;
};

ImageView view_of(const ConfigurationImage& image);

// The text of one cell as its column writes it.
std::string cell_text(const ImageColumn& column, std::uint32_t value);

// A JSON string: quotes, backslashes and control characters escaped; the text is UTF-8.
std::string json_string(std::string_view text);

// The key of the build date and time parameters, which tell builds apart but are no setting.
bool is_build_stamp(std::string_view key);

} // namespace mk
