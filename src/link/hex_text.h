#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

class CMSComm;

// Hex text: each byte two uppercase hex digits; in multi-byte texts each pair is followed by one
// separator (command constants such as "41 46" have none after the last pair).

// '0'-'9', 'A'-'F', 'a'-'f' give 0..15; anything else is invalid.
std::optional<int> HexDigitValue(QChar c);

// Digit pairs without separators; stops at the first invalid pair, ignores a lone last digit.
// Fills `bytes` and returns how many bytes were written.
int HexTextToBytes(const QString& text, QByteArray& bytes);

// Sends each pair of a separated text as its own write, in order; an invalid pair sends nothing.
void SendHexText(CMSComm& comm, const QString& text);

// The bytes SendHexText would write, one entry per write (pure).
QList<QByteArray> HexTextWrites(const QString& text);

// A decimal text (digits only; callers pass texts they built or checked) to even-length
// uppercase hex without separators. Unsigned 64-bit arithmetic.
QString DecimalToHexText(const QString& decimal);

// Uppercase hex digits without separators to a value ('A'-'F' 10..15, any other character its
// code minus '0'). Used on digits taken from received text.
std::uint64_t HexTextToValue(const QString& text);

// "%02X " of every byte: the received-text form (3 characters per byte).
QString BytesToHexText(const QByteArray& bytes);
QString ByteText(unsigned char byte);
