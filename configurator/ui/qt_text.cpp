#include "ui/qt_text.h"

namespace mk {

namespace {

QByteArray bytesOf(std::string_view s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// How many bytes the UTF-8 character starting with `lead` has.
std::size_t sequenceLength(unsigned char lead) {
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

} // namespace

QString displayName(std::string_view bytes) {
    const QString whole = QString::fromUtf8(bytesOf(bytes));
    if (whole.toUtf8() == bytesOf(bytes))
        return whole;
    // A character is taken when it decodes to itself; anything else is shown byte by byte.
    QString out;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const QByteArray piece = bytesOf(bytes.substr(i, sequenceLength(lead)));
        const QString character = QString::fromUtf8(piece);
        if ((lead < 0x80 || (lead >= 0xC2 && lead <= 0xF4)) && character.toUtf8() == piece) {
            out += character;
            i += static_cast<std::size_t>(piece.size());
        } else {
            out += QStringLiteral("\\x") +
                   QString::number(lead, 16).toUpper().rightJustified(2, QLatin1Char('0'));
            ++i;
        }
    }
    return out;
}

} // namespace mk
