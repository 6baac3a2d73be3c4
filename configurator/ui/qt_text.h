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

// A field's text as logic keeps it: the bytes it was filled with while it still shows them, what
// the user typed otherwise. A widget shows bytes that are not UTF-8 as replacement characters;
// this keeps them as they were unless the user changes the text.
inline std::string kept(const QString& shown, const std::string& filled) {
    return shown == qs(filled) ? filled : ss(shown);
}

} // namespace mk
