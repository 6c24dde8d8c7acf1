#include "link/hex_text.h"

#include "link/ms_comm.h"

std::optional<int> HexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    if (u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    return std::nullopt;
}

int HexTextToBytes(const QString& text, QByteArray& bytes) {
    bytes.resize(text.size() / 2);
    int count = 0;
    for (int i = 0; i + 1 < text.size(); i += 2) {
        const auto hi = HexDigitValue(text[i]);
        const auto lo = HexDigitValue(text[i + 1]);
        if (!hi || !lo) {
            break;
        }
        bytes[count++] = static_cast<char>(*hi * 16 + *lo);
    }
    bytes.resize(count);
    return count;
}

QList<QByteArray> HexTextWrites(const QString& text) {
    QList<QByteArray> writes;
    for (int i = 0; i + 1 < text.size(); i += 3) {
        QByteArray one;
        if (HexTextToBytes(text.mid(i, 2), one) > 0) {
            writes.append(one);
        }
    }
    return writes;
}

void SendHexText(CMSComm& comm, const QString& text) {
    for (const QByteArray& one : HexTextWrites(text)) {
        comm.SetOutput(one);
    }
}

QString DecimalToHexText(const QString& decimal) {
    std::uint64_t value = 0;
    for (const QChar c : decimal) {
        value = 10 * value + static_cast<std::uint64_t>(c.unicode() - u'0');
    }
    QString hex = QString::number(value, 16).toUpper();
    if (hex.size() % 2 != 0) {
        hex.prepend(QLatin1Char('0'));
    }
    return hex;
}

std::uint64_t HexTextToValue(const QString& text) {
    std::uint64_t value = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const std::uint64_t d = (u >= u'A' && u <= u'F') ? std::uint64_t(u - u'A' + 10)
                                                         : std::uint64_t(u) - std::uint64_t(u'0');
        value = 16 * value + d;
    }
    return value;
}

QString ByteText(unsigned char byte) {
    static const char digits[] = "0123456789ABCDEF";
    QString text(3, QLatin1Char(' '));
    text[0] = QLatin1Char(digits[byte >> 4]);
    text[1] = QLatin1Char(digits[byte & 0xF]);
    return text;
}

QString BytesToHexText(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char b : bytes) {
        text += ByteText(static_cast<unsigned char>(b));
    }
    return text;
}
