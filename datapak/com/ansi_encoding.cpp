// Text to bytes and back in the system ANSI code page.
//
// The fast path converts the whole text in one call. It is only taken when
// the result has exactly one byte per unit (or one unit per byte); otherwise
// (a surrogate pair collapsing to one '?', a double-byte character) each unit
// or byte is converted on its own so that the one-to-one rule holds or the
// overflow is detected.
#include "ansi_encoding.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace sorbel::com {
namespace {

class AnsiEncoding final : public TextEncoding {
public:
    void Encode(std::u16string_view text, std::uint8_t* out) const override {
        if (text.empty()) return;
        if (text.size() > INT_MAX) throw std::overflow_error("text too long for the ANSI conversion");
        const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
        auto* narrow = reinterpret_cast<char*>(out);
        const int n = static_cast<int>(text.size());
        if (WideCharToMultiByte(CP_ACP, 0, wide, n, nullptr, 0, nullptr, nullptr) == n &&
            WideCharToMultiByte(CP_ACP, 0, wide, n, narrow, n, nullptr, nullptr) == n) {
            return;
        }
        for (int i = 0; i < n; ++i) {
            char bytes[8];
            const int written = WideCharToMultiByte(CP_ACP, 0, wide + i, 1, bytes, sizeof bytes, nullptr, nullptr);
            if (written > 1) throw std::overflow_error("a character does not fit in one byte of the ANSI code page");
            narrow[i] = written == 1 ? bytes[0] : '?';
        }
    }

    void Decode(std::span<const std::uint8_t> bytes, char16_t* out) const override {
        if (bytes.empty()) return;
        if (bytes.size() > INT_MAX) throw std::overflow_error("data too long for the ANSI conversion");
        const auto* narrow = reinterpret_cast<const char*>(bytes.data());
        auto* wide = reinterpret_cast<wchar_t*>(out);
        const int n = static_cast<int>(bytes.size());
        if (MultiByteToWideChar(CP_ACP, 0, narrow, n, nullptr, 0) == n &&
            MultiByteToWideChar(CP_ACP, 0, narrow, n, wide, n) == n) {
            return;
        }
        // A double-byte code page pairs lead bytes with the next byte; decoding
        // byte by byte keeps one character per byte. A lead byte on its own
        // has no character and keeps its own code.
        for (int i = 0; i < n; ++i) {
            wchar_t unit[2];
            const int written = MultiByteToWideChar(CP_ACP, 0, narrow + i, 1, unit, 2);
            wide[i] = written == 1 ? unit[0] : static_cast<wchar_t>(bytes[i]);
        }
    }
};

}  // namespace

const TextEncoding& AnsiCodePage() {
    static const AnsiEncoding encoding;
    return encoding;
}

}  // namespace sorbel::com
