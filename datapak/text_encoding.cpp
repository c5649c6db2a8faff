// Windows-1252, the portable stand-in for the system ANSI code page.
//
// Decoding is a 256-entry table. Bytes 0x00-0x7F and 0xA0-0xFF are their own
// code points; 0x80-0x9F hold the typographic characters of 1252, and the five
// positions 1252 leaves undefined (0x81 0x8D 0x8F 0x90 0x9D) decode to the C1
// control of the same code, so every byte survives a decode and re-encode.
// Encoding reverses the table and, for characters 1252 lacks, writes an
// unaccented look-alike where an obvious one exists (Latin Extended-A, a few
// punctuation marks, full-width ASCII) and '?' otherwise.
#include "text_encoding.h"

#include <array>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorbel {
namespace {

// Code points of bytes 0x80 to 0x9F.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Look-alikes for U+0100 to U+017F, one per code point; '?' where there is
// none. Positions whose character 1252 has (Œ œ Š š Ÿ Ž ž) never get here.
constexpr std::string_view kLatinExtendedA =
    "AaAaAaCcCcCcCcDd"
    "DdEeEeEeEeEeGgGg"
    "GgGgHhHhIiIiIiIi"
    "Ii??JjKkkLlLlLlL"
    "lLlNnNnNnnNnOoOo"
    "OoOoRrRrRrSsSsSs"
    "SsTtTtTtUuUuUuUu"
    "UuUuWwYyYZzZzZzs";
static_assert(kLatinExtendedA.size() == 0x80);

constexpr std::uint8_t kSubstitute = '?';

class Windows1252Encoding final : public TextEncoding {
public:
    constexpr Windows1252Encoding() {
        for (unsigned b = 0; b < 256; ++b) {
            decode_[b] = (b >= 0x80 && b < 0xA0) ? kHighControls[b - 0x80] : static_cast<char16_t>(b);
        }
    }

    void Encode(std::u16string_view text, std::uint8_t* out) const override {
        // ASCII runs, eight characters at a time without a branch per character
        // (keys are mostly ASCII); the rest one by one.
        const char16_t* in = text.data();
        std::size_t n = text.size();
#if defined(__SSE2__)
        const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
        while (n >= 8) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, high), _mm_setzero_si128())) != 0xFFFF) break;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(units, units));
            in += 8;
            out += 8;
            n -= 8;
        }
#else
        while (n >= 8) {
            char16_t any = 0;
            for (int k = 0; k < 8; ++k) any |= in[k];
            if (any >= 0x80) break;
            for (int k = 0; k < 8; ++k) out[k] = static_cast<std::uint8_t>(in[k]);
            in += 8;
            out += 8;
            n -= 8;
        }
#endif
        for (; n != 0; --n) {
            const char16_t c = *in++;
            *out++ = (c < 0x80) ? static_cast<std::uint8_t>(c) : EncodeOther(c);
        }
    }

    void Decode(std::span<const std::uint8_t> bytes, char16_t* out) const override {
        for (std::uint8_t b : bytes) {
            *out++ = decode_[b];
        }
    }

private:
    static std::uint8_t EncodeOther(char16_t c) {
        if (c >= 0xA0 && c <= 0xFF) {
            return static_cast<std::uint8_t>(c);
        }
        for (std::size_t i = 0; i < kHighControls.size(); ++i) {
            if (kHighControls[i] == c) {
                return static_cast<std::uint8_t>(0x80 + i);
            }
        }
        return BestFit(c);
    }

    static std::uint8_t BestFit(char16_t c) {
        if (c >= 0x100 && c < 0x180) {
            return static_cast<std::uint8_t>(kLatinExtendedA[c - 0x100]);
        }
        if (c >= 0xFF01 && c <= 0xFF5E) {  // full-width ASCII
            return static_cast<std::uint8_t>(c - 0xFEE0);
        }
        if (c >= 0x2000 && c <= 0x200A) {  // typographic spaces
            return ' ';
        }
        switch (c) {
        case 0x2010: case 0x2011: case 0x2012: case 0x2015: case 0x2212:
            return '-';
        case 0x2032: return '\'';
        case 0x2033: return '"';
        case 0x2044: case 0x2215: return '/';
        case 0x2024: return '.';
        default: break;
        }
        return kSubstitute;
    }

    std::array<char16_t, 256> decode_{};
};

}  // namespace

const TextEncoding& Windows1252() {
    static const Windows1252Encoding encoding;
    return encoding;
}

}  // namespace sorbel
