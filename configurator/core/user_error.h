#pragma once

#include <stdexcept>
#include <string>

namespace mk {

// An error that ends an operation and whose text is meant for the user, exactly as it stands.
// Window handlers catch it at their boundary and show the text in the standard error box.
class UserError : public std::runtime_error {
public:
    explicit UserError(const std::string& text) : std::runtime_error(text) {}
};

} // namespace mk
