// The viewer's pure logic, kept free of Windows so that it builds and is tested natively:
// page-value conversion, twips and pixels, page layout rules, the 16-bit page numbers of
// the print dialog, the statuses of the document-open steps, and the fixed message texts.
// Nothing here owns resources; every function is a plain value computation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace viewer {

inline constexpr int kTwipsPerInch = 1440;

// ---- Page values -------------------------------------------------------------------------

// Converts a stored page value to a 32-bit number of twips. The text read from the document
// is prefixed with "0" (so that an empty value gives 0) and must then be decimal digits with
// an optional fractional part after a '.', which is rounded to the nearest whole number,
// ties to the even one. Anything else (letters, a sign, spaces, a second '.') or a result
// beyond the signed 32-bit range does not convert: the result is then empty.
std::optional<std::int32_t> TryPageValueFromText(std::wstring_view s);

// The value a page setting takes from a stored text: the converted value, or 0 when the text
// does not convert, exactly as for an absent key. A document's layout therefore never depends
// on which document was open before it.
std::int32_t PageValueOrZero(std::wstring_view s);

// ---- Twips and pixels ----------------------------------------------------------------------

// px = twips * dpi / 1440, rounded to the nearest pixel (halves away from zero).
int TwipsToPixels(std::int64_t twips, int dpi);
// twips = px * 1440 / dpi, rounded the same way. REQUIRES: dpi > 0.
std::int64_t PixelsToTwips(std::int64_t pixels, int dpi);

// ---- Page layout -----------------------------------------------------------------------------

// A page's size and margins in twips, as the document stores them.
struct PageSettings {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t marginL = 0;
    std::int32_t marginR = 0;
    std::int32_t marginT = 0;
    std::int32_t marginB = 0;
    bool operator==(const PageSettings&) const = default;
};

// Page dimensions above this (100 inches) are taken as nonsense, not as a page.
inline constexpr std::int32_t kMaxPageTwips = 100 * kTwipsPerInch;

// The width, in twips, at which the view wraps its lines: the page width less both side
// margins. 0 means "wrap at the window's width", which is what a page without a usable
// width (zero, negative text width, or beyond kMaxPageTwips) gets.
std::int32_t WrapWidth(const PageSettings& page);

// The page used to paginate and print: the document's own when it leaves a text area of at
// least a tenth of an inch each way within kMaxPageTwips, otherwise a US Letter page with
// one-inch margins (so that a document without page settings still paginates sensibly).
PageSettings EffectivePage(const PageSettings& page);

// ---- The print dialog's page numbers --------------------------------------------------------

// Converts a page count to the dialog's 16-bit page number. Throws std::overflow_error when
// it does not fit (more than 32767 pages), as the dialog cannot take such a number.
std::int16_t PageNumberTo16(std::int64_t pages);

// The pages to print of a document of `pageCount` pages for the range asked: clipped to
// 1..pageCount. Empty (first > last) when nothing of the range exists.
struct PageRange {
    int first = 1;
    int last = 0;
    bool empty() const { return first > last; }
};
PageRange ClipPageRange(int first, int last, int pageCount);

// ---- Opening a document -----------------------------------------------------------------------

// The steps of loading a document, in order, each with the status it reports when it fails.
enum class OpenStep {
    Header,   // the document header locates the package
    Block,    // the package bytes are read (including the sum P + 1)
    Package,  // the package is loaded into the record container
    Text,     // the view loads the rich text (including the sum P + L + 1)
};
std::int32_t OpenFailureStatus(OpenStep step);

// The status of a step from what the step reported: 0 when the reader's status (or the
// container's error number) is 0 and, for the text, when the view loaded something;
// otherwise the step's failure status.
std::int32_t HeaderStatus(std::int32_t docHeaderStatus);
std::int32_t BlockStatus(std::int32_t readBlockStatus);
std::int32_t PackageStatus(std::int32_t errorNumber);
std::int32_t TextStatus(std::int32_t loadResult);

// 32-bit signed sum that throws std::overflow_error when it leaves the range (P + 1, P + L + 1).
std::int32_t CheckedAdd32(std::int32_t a, std::int32_t b);

// ---- Texts ---------------------------------------------------------------------------------------

inline constexpr wchar_t kWindowCaption[] = L"Orlenne Document Viewer v 1.01";
inline constexpr wchar_t kTitleNote[] = L"Click \"Open\" to view an Orlenne document.";
inline constexpr wchar_t kOpenFilter[] = L"Orlenne Document (*.orl)|*.orl|All Files (*.*)|*.*";
inline constexpr wchar_t kOpenDialogTitle[] = L"Open Orlenne Document";
inline constexpr wchar_t kOpenTitle[] = L"Open Document";
inline constexpr wchar_t kFindTitle[] = L"Find";
inline constexpr wchar_t kFindNoDocument[] =
    L"A document must first be opened before you can perform a search.";
inline constexpr wchar_t kPrintTitle[] = L"Print Document";
inline constexpr wchar_t kPrintNoDocument[] = L"A document must first be opened before you can print.";
inline constexpr wchar_t kAboutTitle[] = L"About";
inline constexpr wchar_t kErrorTitle[] = L"Navreth";

// "Invalid or corrupt document. (-60)" for the status -60.
std::wstring OpenFailureMessage(std::int32_t status);
// Cannot find "WORD".
std::wstring NotFoundMessage(std::wstring_view word);
// The About box's ten lines joined by CR LF, without a break after the last.
std::wstring AboutText();

// A filter in the "description|pattern|description|pattern" form turned into the
// NUL-separated, double-NUL-terminated list of the file dialogs.
std::wstring FilterToDialogList(std::wstring_view filter);

// The last component of a path (after the last '\\' or '/'); the whole text when it has none.
std::wstring FileNameOf(std::wstring_view path);

}  // namespace viewer
