#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/message_sink.h"

namespace mk {

// How many messages of one run are shown one by one, each in its own box.
inline constexpr std::size_t kMessagesShownPerRun = 10;

// The messages of one run ("Up date Device", "Execute update firmware"): the first ones go on to
// the user one by one, as always; the rest are gathered, so a table full of bad texts gives a
// handful of boxes and one list at the end instead of thousands of boxes in a row.
class GatheringSink : public MessageSink {
public:
    explicit GatheringSink(MessageSink& shown, std::size_t shown_limit = kMessagesShownPerRun)
        : shown_(shown), limit_(shown_limit) {}

    void show(std::string_view text, MessageKind kind) override;

    // The number of messages gathered rather than shown.
    std::size_t gathered_count() const { return gathered_; }
    // "N more messages of this run:" (or "1 more message of this run:").
    std::string heading() const;
    // The gathered messages, one line each in the order they came; a message repeated in a row
    // is one line with its count, as "Error in conversion string (12590 times)".
    std::string gathered_text() const;

private:
    struct Run {
        std::string text;
        std::size_t count;
    };
    MessageSink& shown_;
    std::size_t limit_;
    std::size_t passed_ = 0;
    std::size_t gathered_ = 0;
    std::size_t dropped_ = 0;
    std::vector<Run> runs_;
};

} // namespace mk
