// Decoding bytes of a Windows code page to UTF-16, as RTF text needs it (\ansicpgN, \fcharsetN,
// \cpgN, \mac, \pc, \pca). Single-byte code pages come from built-in tables, so that they
// decode alike everywhere; the double-byte ones of East Asia (932, 936, 949, 950, and the Mac's
// 10001, 10002, 10003, 10008 as those) go through the platform (iconv on Linux,
// MultiByteToWideChar on Windows).
#pragma once

#include <string>
#include <string_view>

namespace docengine {

// The code page that text of an RTF character set (\fcharsetN) is written in; 0 when the
// character set says nothing of its own (ANSI, default), so the document's code page applies.
// The symbol character set gives kSymbolCodePage.
int CodePageOfCharset(int charset);

// Symbol fonts: byte b stands for U+F000 + b, where symbol fonts keep their glyphs.
constexpr int kSymbolCodePage = 42;

// Appends the UTF-16 of `bytes`, written in `codePage`, to `out`. Code pages with no table
// here decode as Windows-1252. A byte sequence the code page does not define becomes U+FFFD;
// a lead byte cut off at the end of `bytes` too.
void AppendDecoded(int codePage, std::string_view bytes, std::u16string& out);

// True for the double-byte code pages decoded by the platform.
bool IsDoubleByteCodePage(int codePage);

// True when `byte` starts a two-byte character in `codePage` (always false in single-byte
// code pages).
bool IsLeadByte(int codePage, unsigned char byte);

// The platform's decoder for double-byte code pages (code_page_iconv.cpp,
// code_page_win32.cpp): appends the UTF-16 of `bytes`, U+FFFD for what does not decode.
// Returns false when the platform does not know the code page (nothing appended).
bool AppendDecodedByPlatform(int codePage, std::string_view bytes, std::u16string& out);

}  // namespace docengine
