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

// A file or folder name (or a text holding one) for the eye: UTF-8 as it is, and each byte that
// is not UTF-8 as \xE9, so that a name made on another system is shown whole and two such names
// never look alike. Paths themselves never go through QString: it cannot hold such bytes.
QString displayName(std::string_view bytes);

// A field's text as logic keeps it: the bytes it was filled with while it still shows them, what
// the user typed otherwise. A widget shows bytes that are not UTF-8 as replacement characters;
// this keeps them as they were unless the user changes the text.
inline std::string kept(const QString& shown, const std::string& filled) {
    return shown == qs(filled) ? filled : ss(shown);
}

} // namespace mk
