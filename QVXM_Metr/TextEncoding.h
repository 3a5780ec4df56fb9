#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// Conversions between Qt text and the byte encodings a settings file may use.
namespace TextEncoding {

// Decodes code page 1251; a byte that has no character there (0x98) becomes U+FFFD.
QString decodeCp1251(QByteArrayView bytes);

// Encodes into code page 1251; std::nullopt when a character has no place in it.
std::optional<QByteArray> encodeCp1251(QStringView text);

// True when the bytes form valid UTF-8 (ASCII included).
bool isValidUtf8(QByteArrayView bytes);

// True when no byte is above 0x7F.
bool isAscii(QByteArrayView bytes);

} // namespace TextEncoding
