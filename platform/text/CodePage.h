#pragma once
// Single- and multi-byte Windows code pages, for RTF text and for files kept
// in the ANSI code page. Pure functions, usable from any thread.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <string_view>

// The ANSI code page of the program: the texts are written for Windows-1251.
[[nodiscard]] int AnsiCodePage();
void SetAnsiCodePage(int codePage);

// Decodes `bytes` in `codePage`. 1250, 1251 and 1252 use built-in tables
// (undefined bytes give the C1 control of the same value, so nothing is
// lost); 65001 is UTF-8, 20127 ASCII, 28591 Latin-1; other code pages go
// through Qt's converters when they know the name, else through 1252.
[[nodiscard]] QString DecodeCodePage(int codePage, std::string_view bytes);
// Encodes in `codePage` (1250, 1251, 1252, 65001, 28591; others as 1252);
// characters the code page lacks become '?'.
[[nodiscard]] QByteArray EncodeCodePage(int codePage, QStringView text);

// The code page of a font character set number (the RTF \fcharset and
// LOGFONT values): 204 gives 1251, 238 1250, 0 the ANSI code page passed
// in; 2 (symbol) and unknown sets give `ansiCodePage` as well.
[[nodiscard]] int CodePageOfCharset(int charset, int ansiCodePage);
