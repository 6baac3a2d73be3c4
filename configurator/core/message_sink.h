#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mk {

enum class MessageKind { Information, Warning, Error };

// Where logic sends the messages the user must read, in the order they must be read.
// The program shows them in message boxes; tests record them.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void show(std::string_view text, MessageKind kind) = 0;
};

// Drops every message, for readers whose caller wants no messages at all.
class NullSink : public MessageSink {
public:
    void show(std::string_view, MessageKind) override {}
};

// Keeps every message, for tests and for callers that show them later.
class RecordingSink : public MessageSink {
public:
    struct Entry {
        std::string text;
        MessageKind kind;
    };
    void show(std::string_view text, MessageKind kind) override {
        entries.push_back({std::string(text), kind});
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& e : entries)
            out.push_back(e.text);
        return out;
    }
    std::vector<Entry> entries;
};

} // namespace mk
