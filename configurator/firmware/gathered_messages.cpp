#include "firmware/gathered_messages.h"

namespace mk {

namespace {

// Distinct lines kept for the list; a run beyond this many is only counted.
constexpr std::size_t kMaxGatheredLines = 10000;

} // namespace

void GatheringSink::show(std::string_view text, MessageKind kind) {
    if (passed_ < limit_) {
        ++passed_;
        shown_.show(text, kind);
        return;
    }
    ++gathered_;
    if (!runs_.empty() && runs_.back().text == text) {
        ++runs_.back().count;
    } else if (runs_.size() < kMaxGatheredLines) {
        runs_.push_back({std::string(text), 1});
    } else {
        ++dropped_;
    }
}

std::string GatheringSink::heading() const {
    return std::to_string(gathered_) + (gathered_ == 1 ? " more message" : " more messages") +
           " of this run:";
}

std::string GatheringSink::gathered_text() const {
    std::string out;
    for (const Run& r : runs_) {
        out += r.text;
        if (r.count > 1)
            out += " (" + std::to_string(r.count) + " times)";
        out += '\n';
    }
    if (dropped_ > 0)
        out += "... and " + std::to_string(dropped_) + " more\n";
    return out;
}

} // namespace mk
