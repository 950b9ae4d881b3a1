#pragma once

#include <QByteArray>
#include <QString>

// Bytes as text in an encoding as Qt names it ("UTF-8", "windows-1252"), or with an empty name
// in the system's 8-bit code page: the ANSI code page on Windows, elsewhere the locale's (always
// UTF-8 with Qt 6). Qt 5 and Qt 6 offer this differently; both give the same text here. Every
// character is kept, a U+FEFF at the start too; what is no valid character, also at the end,
// becomes U+FFFD. valid tells whether there was none; an encoding this Qt does not know gives
// an empty text that is not valid.
QString decodeText(const QByteArray &bytes, const QByteArray &encoding, bool *valid = nullptr);
