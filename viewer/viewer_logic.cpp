// The viewer's pure logic: see viewer_logic.h.
#include "viewer_logic.h"

#include <iterator>
#include <limits>
#include <stdexcept>

namespace viewer {

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// a * b / c rounded to nearest, halves away from zero; c > 0.
std::int64_t MulDivRound(std::int64_t a, std::int64_t b, std::int64_t c) {
    const std::int64_t product = a * b;
    const std::int64_t half = c / 2;
    return product >= 0 ? (product + half) / c : -((-product + half) / c);
}

}  // namespace

std::optional<std::int32_t> TryPageValueFromText(std::wstring_view s) {
    // The stored text is read as if prefixed with "0": the prefix only makes an empty text
    // (or one that starts with '.') a number; it adds no digit of value.
    std::size_t i = 0;
    std::int64_t whole = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
        whole = whole * 10 + (s[i] - L'0');
        if (whole > kInt32Max + 1) return std::nullopt;  // stays bounded however long the text
    }
    bool fractionAboveHalf = false, fractionIsHalf = false;
    if (i < s.size() && s[i] == L'.') {
        ++i;
        const std::size_t fractionStart = i;
        for (; i < s.size() && IsDigit(s[i]); ++i) {
        }
        const std::wstring_view fraction = s.substr(fractionStart, i - fractionStart);
        if (!fraction.empty()) {
            const bool restNonZero = fraction.find_first_not_of(L'0', 1) != std::wstring_view::npos;
            fractionAboveHalf = fraction[0] > L'5' || (fraction[0] == L'5' && restNonZero);
            fractionIsHalf = fraction[0] == L'5' && !restNonZero;
        }
    }
    if (i != s.size()) return std::nullopt;
    if (fractionAboveHalf || (fractionIsHalf && whole % 2 != 0)) ++whole;
    if (whole > kInt32Max) return std::nullopt;
    return static_cast<std::int32_t>(whole);
}

std::int32_t PageValueOrZero(std::wstring_view s) { return TryPageValueFromText(s).value_or(0); }

int TwipsToPixels(std::int64_t twips, int dpi) {
    return static_cast<int>(MulDivRound(twips, dpi, kTwipsPerInch));
}

std::int64_t PixelsToTwips(std::int64_t pixels, int dpi) {
    return MulDivRound(pixels, kTwipsPerInch, dpi);
}

std::int32_t WrapWidth(const PageSettings& page) {
    if (page.width <= 0 || page.width > kMaxPageTwips) return 0;
    const std::int64_t text = std::int64_t{page.width} - page.marginL - page.marginR;
    return text > 0 ? static_cast<std::int32_t>(text) : 0;
}

PageSettings EffectivePage(const PageSettings& page) {
    constexpr std::int64_t kMinText = kTwipsPerInch / 10;
    const auto usable = [&](std::int32_t size, std::int32_t a, std::int32_t b) {
        return size > 0 && size <= kMaxPageTwips && a >= 0 && b >= 0 &&
               std::int64_t{size} - a - b >= kMinText;
    };
    if (usable(page.width, page.marginL, page.marginR) &&
        usable(page.height, page.marginT, page.marginB)) {
        return page;
    }
    constexpr std::int32_t inch = kTwipsPerInch;
    return PageSettings{.width = 12240, .height = 15840,
                        .marginL = inch, .marginR = inch, .marginT = inch, .marginB = inch};
}

std::int16_t PageNumberTo16(std::int64_t pages) {
    if (pages < std::numeric_limits<std::int16_t>::min() ||
        pages > std::numeric_limits<std::int16_t>::max()) {
        throw std::overflow_error("the page count does not fit a 16-bit page number");
    }
    return static_cast<std::int16_t>(pages);
}

PageRange ClipPageRange(int first, int last, int pageCount) {
    PageRange range{first < 1 ? 1 : first, last > pageCount ? pageCount : last};
    return range;
}

std::int32_t OpenFailureStatus(OpenStep step) {
    switch (step) {
        case OpenStep::Header: return -60;
        case OpenStep::Block: return -71;
        case OpenStep::Package: return -80;
        case OpenStep::Text: return -72;
    }
    return -60;
}

std::int32_t HeaderStatus(std::int32_t docHeaderStatus) {
    return docHeaderStatus == 0 ? 0 : OpenFailureStatus(OpenStep::Header);
}
std::int32_t BlockStatus(std::int32_t readBlockStatus) {
    return readBlockStatus == 0 ? 0 : OpenFailureStatus(OpenStep::Block);
}
std::int32_t PackageStatus(std::int32_t errorNumber) {
    return errorNumber == 0 ? 0 : OpenFailureStatus(OpenStep::Package);
}
std::int32_t TextStatus(std::int32_t loadResult) {
    return loadResult != 0 ? 0 : OpenFailureStatus(OpenStep::Text);
}

std::int32_t CheckedAdd32(std::int32_t a, std::int32_t b) {
    const std::int64_t sum = std::int64_t{a} + b;
    if (sum < std::numeric_limits<std::int32_t>::min() || sum > kInt32Max) {
        throw std::overflow_error("overflow in a 32-bit file position");
    }
    return static_cast<std::int32_t>(sum);
}

std::wstring OpenFailureMessage(std::int32_t status) {
    return L"Invalid or corrupt document. (" + std::to_wstring(status) + L")";
}

std::wstring NotFoundMessage(std::wstring_view word) {
    return L"Cannot find \"" + std::wstring(word) + L"\".";
}

std::wstring AboutText() {
    static constexpr const wchar_t* kLines[] = {
        L"The Orlenne Document Viewer",
        L"Version 1.01",
        L"",
        L"Copyright (c) 2026 Orlenne contributors.",
        L"Distributed without warranty of any kind, express or implied.",
        L"",
        L"Written by the Orlenne team: Sorbel record container and Navreth viewer.",
        L"Rich text by the Windows RichEdit control.",
        L"",
        L"https://orlenne.example.org/",
    };
    std::wstring text;
    for (std::size_t i = 0; i < std::size(kLines); ++i) {
        if (i > 0) text += L"\r\n";
        text += kLines[i];
    }
    return text;
}

std::wstring FilterToDialogList(std::wstring_view filter) {
    std::wstring list;
    list.reserve(filter.size() + 2);
    for (wchar_t c : filter) list.push_back(c == L'|' ? L'\0' : c);
    list.push_back(L'\0');
    list.push_back(L'\0');
    return list;
}

std::wstring FileNameOf(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

}  // namespace viewer
