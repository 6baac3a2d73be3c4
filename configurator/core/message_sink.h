#pragma once

#include <deque>
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
    // A question the user answers with "Yes" or "No"; true for "Yes". A sink that cannot ask
    // shows the question as a warning and takes "No", the answer that changes nothing.
    virtual bool ask(std::string_view question) {
        show(question, MessageKind::Warning);
        return false;
    }
};

// Drops every message, for readers whose caller wants no messages at all.
class NullSink : public MessageSink {
public:
    void show(std::string_view, MessageKind) override {}
};

// Keeps every message, for tests and for callers that show them later. A question is kept among
// the messages (as a warning) and in `questions`, and takes the next of `answers`, or "No" when
// none is left.
class RecordingSink : public MessageSink {
public:
    struct Entry {
        std::string text;
        MessageKind kind;
    };
    void show(std::string_view text, MessageKind kind) override {
        entries.push_back({std::string(text), kind});
    }
    bool ask(std::string_view question) override {
        entries.push_back({std::string(question), MessageKind::Warning});
        questions.emplace_back(question);
        if (answers.empty())
            return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& e : entries)
            out.push_back(e.text);
        return out;
    }
    std::vector<Entry> entries;
    std::vector<std::string> questions;
    std::deque<bool> answers;
};

} // namespace mk
