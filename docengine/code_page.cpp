// Single-byte code pages from built-in tables; double-byte ones handed to the platform.
#include "code_page.h"

#include <algorithm>
#include <cstdint>

namespace docengine {
namespace {

struct SingleByteTable {
    int codePage;
    const char16_t* high;  // bytes 0x80-0xFF; 0x00-0x7F are ASCII
};

#include "code_page_tables.inc"

const char16_t* HighHalf(int codePage) {
    for (const auto& table : kSingleByteTables) {
        if (table.codePage == codePage) return table.high;
    }
    return nullptr;
}

// The Mac's East Asian code pages are the national standards that the Windows ones extend:
// Mac Japanese is Shift-JIS, Mac Traditional Chinese Big5, Mac Korean EUC-KR and Mac
// Simplified Chinese GB2312. Their text decodes through the Windows code page, which has the
// same characters at the same codes.
int WindowsDoubleByte(int codePage) {
    switch (codePage) {
        case 10001: return 932;
        case 10002: return 950;
        case 10003: return 949;
        case 10008: return 936;
        default: return codePage;
    }
}

// Mac Japanese has five single bytes of its own where Shift-JIS has none.
char16_t MacJapaneseSingle(unsigned char b) {
    switch (b) {
        case 0x80: return u'\\';
        case 0xA0: return u'\u00A0';
        case 0xFD: return u'\u00A9';
        case 0xFE: return u'\u2122';
        case 0xFF: return u'\u2026';
        default: return 0;
    }
}

}  // namespace

int CodePageOfCharset(int charset) {
    switch (charset) {
        case 2: return kSymbolCodePage;
        case 77: return 10000;   // Mac Roman
        case 78: return 10001;   // Mac Japanese
        case 79: return 10003;   // Mac Korean
        case 80: return 10008;   // Mac Simplified Chinese
        case 81: return 10002;   // Mac Traditional Chinese
        case 83: return 10005;   // Mac Hebrew
        case 84: return 10004;   // Mac Arabic
        case 85: return 10006;   // Mac Greek
        case 86: return 10081;   // Mac Turkish
        case 87: return 10021;   // Mac Thai
        case 88: return 10029;   // Mac Central European
        case 89: return 10007;   // Mac Cyrillic
        case 128: return 932;    // Shift-JIS
        case 129: return 949;    // Hangul
        case 130: return 1361;   // Johab
        case 134: return 936;    // GB2312 / GBK
        case 136: return 950;    // Big5
        case 161: return 1253;   // Greek
        case 162: return 1254;   // Turkish
        case 163: return 1258;   // Vietnamese
        case 177: return 1255;   // Hebrew
        case 178: return 1256;   // Arabic
        case 186: return 1257;   // Baltic
        case 204: return 1251;   // Cyrillic
        case 222: return 874;    // Thai
        case 238: return 1250;   // Eastern European
        case 254: return 437;    // PC 437
        case 255: return 850;    // OEM
        default: return 0;       // 0 ANSI, 1 default, and anything unknown
    }
}

bool IsDoubleByteCodePage(int codePage) {
    switch (codePage) {
        case 932: case 936: case 949: case 950: case 1361:
        case 10001: case 10002: case 10003: case 10008: return true;
        default: return false;
    }
}

bool IsLeadByte(int codePage, unsigned char byte) {
    switch (WindowsDoubleByte(codePage)) {
        case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936: case 949: case 950: return byte >= 0x81 && byte <= 0xFE;
        case 1361: return byte >= 0x84 && byte <= 0xF9;
        default: return false;
    }
}

void AppendDecoded(int codePage, std::string_view bytes, std::u16string& out) {
    if (bytes.empty()) return;
    if (codePage == 10001) {
        // Its own single bytes between runs that decode as Shift-JIS
        std::size_t run = 0;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            if (IsLeadByte(932, b)) {
                if (i + 1 < bytes.size()) ++i;
            } else if (const char16_t single = MacJapaneseSingle(b)) {
                AppendDecoded(932, bytes.substr(run, i - run), out);
                out.push_back(single);
                run = i + 1;
            }
        }
        AppendDecoded(932, bytes.substr(run), out);
        return;
    }
    if (IsDoubleByteCodePage(codePage)) {
        codePage = WindowsDoubleByte(codePage);
        // Plain ASCII needs no platform call; most text in such documents is markup-free ASCII
        // between the escapes anyway.
        bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (!ascii && AppendDecodedByPlatform(codePage, bytes, out)) return;
        if (!ascii) codePage = 1252;
    }
    const std::size_t start = out.size();
    out.resize(start + bytes.size());
    char16_t* dest = out.data() + start;
    if (codePage == kSymbolCodePage) {
        for (char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            *dest++ = b < 0x20 ? char16_t(b) : char16_t(0xF000 + b);
        }
        return;
    }
    const char16_t* high = HighHalf(codePage);
    if (high == nullptr) high = HighHalf(1252);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *dest++ = b < 0x80 ? char16_t(b) : high[b - 0x80];
    }
}

}  // namespace docengine
