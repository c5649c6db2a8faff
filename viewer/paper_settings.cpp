// Printer settings for the document's paper: see paper_settings.h.
#include "paper_settings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace viewer {

std::vector<BYTE> PaperSettings(const BYTE* settings, std::size_t size, const PageSettings& page) {
    if (!settings || size < offsetof(DEVMODEW, dmPrintQuality)) return {};
    if (page.width <= 0 || page.height <= 0 || page.width > kMaxPageTwips || page.height > kMaxPageTwips) {
        return {};
    }
    // The paper standing: the short side across.
    const bool landscape = page.width > page.height;
    const std::int32_t across = landscape ? page.height : page.width;
    const std::int32_t down = landscape ? page.width : page.height;

    struct Paper {
        short number;
        std::int32_t across, down;  // twips
    };
    static constexpr Paper kPapers[] = {
        {DMPAPER_LETTER, 12240, 15840}, {DMPAPER_LEGAL, 12240, 20160},
        {DMPAPER_EXECUTIVE, 10440, 15120}, {DMPAPER_A3, 16838, 23811},
        {DMPAPER_A4, 11906, 16838}, {DMPAPER_A5, 8391, 11906},
        {DMPAPER_B5, 10319, 14571},  // JIS B5, 182 x 257 mm
    };
    constexpr std::int32_t kSlackTwips = 8;  // rounding of millimetre sizes to twips
    short number = DMPAPER_USER;
    for (const Paper& paper : kPapers) {
        if (std::abs(paper.across - across) <= kSlackTwips && std::abs(paper.down - down) <= kSlackTwips) {
            number = paper.number;
            break;
        }
    }

    std::vector<BYTE> result(settings, settings + size);
    DEVMODEW mode{};
    std::memcpy(&mode, result.data(), std::min(size, sizeof mode));
    // Tenths of a millimetre, rounded: 1440 twips to 254 tenths.
    const auto tenths = [](std::int32_t twips) { return static_cast<short>((twips * 254LL + 720) / 1440); };
    mode.dmPaperSize = number;
    mode.dmPaperWidth = tenths(across);
    mode.dmPaperLength = tenths(down);
    mode.dmOrientation = landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    mode.dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_ORIENTATION;
    // A standard paper's dimensions are the driver's; naming the size is enough.
    if (number != DMPAPER_USER) mode.dmFields &= ~static_cast<DWORD>(DM_PAPERWIDTH | DM_PAPERLENGTH);
    mode.dmFields &= ~static_cast<DWORD>(DM_FORMNAME);  // a form name would override the size
    std::memcpy(result.data(), &mode, std::min(size, sizeof mode));
    return result;
}

}  // namespace viewer
