#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace mk {

// Logic keeps text as UTF-8 std::string; widgets take QString.
inline QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string ss(const QString& s) {
    return s.toStdString();
}

} // namespace mk
