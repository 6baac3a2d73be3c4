#pragma once

#include <string_view>

namespace rp {

// How a text reaches the user of the test master.
enum class MessageKind {
    Plain,       // a plain message box with the program's title and an OK button
    ErrorDialog, // a message dialog of the error kind: error icon, title "Error", one OK button
    ErrorBox,    // the standard error box showing an error that ended an action
};

// Where the window sends what the user must read; the program shows message boxes, tests
// record the texts.
class Messages {
public:
    virtual ~Messages() = default;
    virtual void show(std::string_view text, MessageKind kind) = 0;
};

} // namespace rp
