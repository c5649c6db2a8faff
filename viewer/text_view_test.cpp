// Tests of the text view on a real RichEdit control (Windows builds, run under Wine): loading
// rich text from a 1-based position in a file, what counts as nothing loaded, the page
// settings and page count it publishes, and the operations it refuses.
#include "text_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace viewer {
namespace {

constexpr char kRtf[] = "{\\rtf1\\ansi{\\fonttbl\\f0 Arial;}\\f0 Hello viewer.\\par}";

class TextViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = CreateWindowExW(0, L"Static", L"", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        view_ = std::make_unique<TextView>(parent_, 100, 0, 435, 9465, 3675);
    }
    void TearDown() override {
        if (view_) view_->RemoveProperties();
        view_.reset();
        if (parent_) DestroyWindow(parent_);
        for (const std::wstring& path : files_) DeleteFileW(path.c_str());
    }

    // A file holding `bytes`, removed after the test.
    std::wstring File(const std::string& bytes) {
        wchar_t dir[MAX_PATH], path[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        GetTempFileNameW(dir, L"tvt", 0, path);
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        files_.push_back(path);
        return path;
    }

    std::wstring Text() const {
        const int n = GetWindowTextLengthW(view_->Handle());
        std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
        GetWindowTextW(view_->Handle(), text.data(), n + 1);
        text.resize(static_cast<std::size_t>(n));
        return text;
    }

    std::intptr_t Prop(const wchar_t* name) const {
        return reinterpret_cast<std::intptr_t>(GetPropW(view_->Handle(), name));
    }

    HWND parent_ = nullptr;
    std::unique_ptr<TextView> view_;
    std::vector<std::wstring> files_;
};

TEST_F(TextViewTest, LoadsFromTheOneBasedPositionAfterALeadingPart) {
    const std::string leading(37, 'x');
    const std::wstring path = File(leading + kRtf + "trailing bytes after the text");
    EXPECT_GT(view_->LoadText(path, 38), 0);
    EXPECT_NE(Text().find(L"Hello viewer."), std::wstring::npos);
    EXPECT_EQ(Text().find(L"trailing"), std::wstring::npos);
}

TEST_F(TextViewTest, OneByteOffIsNotRichText) {
    const std::wstring path = File(std::string(20, 'x') + kRtf);
    EXPECT_EQ(view_->LoadText(path, 20), 0);  // starts at the last byte before the text
    EXPECT_EQ(view_->LoadText(path, 22), 0);  // starts inside "{\rtf"
    EXPECT_GT(view_->LoadText(path, 21), 0);
}

TEST_F(TextViewTest, NothingLoadedGivesZero) {
    const std::string text = kRtf;
    const std::wstring path = File(text);
    EXPECT_EQ(view_->LoadText(path, 0), 0);
    EXPECT_EQ(view_->LoadText(path, -5), 0);
    EXPECT_EQ(view_->LoadText(path, static_cast<std::int32_t>(text.size()) + 1), 0);  // at the end
    EXPECT_EQ(view_->LoadText(path, 2147483647), 0);
    EXPECT_EQ(view_->LoadText(File("plain text, not rich text"), 1), 0);
    EXPECT_EQ(view_->LoadText(File(""), 1), 0);
    EXPECT_EQ(view_->LoadText(File("{\\rtf1 }"), 1), 0);  // rich text without any text
    EXPECT_EQ(view_->LoadText(L"Z:\\no\\such\\directory\\file.orl", 1), 0);
}

TEST_F(TextViewTest, PageSettingsArePublishedInTwips) {
    view_->PageMarginL(1440);
    view_->PageMarginR(720);
    view_->PageMarginT(1080);
    view_->PageMarginB(360);
    view_->PageHeight(15840);
    view_->PageWidth(12240);
    EXPECT_EQ(Prop(L"Navreth.MarginL"), 1440);
    EXPECT_EQ(Prop(L"Navreth.MarginR"), 720);
    EXPECT_EQ(Prop(L"Navreth.MarginT"), 1080);
    EXPECT_EQ(Prop(L"Navreth.MarginB"), 360);
    EXPECT_EQ(Prop(L"Navreth.PageHeight"), 15840);
    EXPECT_EQ(Prop(L"Navreth.PageWidth"), 12240);
    EXPECT_EQ(Prop(L"Navreth.PageCount"), 0);  // nothing loaded yet
}

TEST_F(TextViewTest, PageCountFollowsThePageSize) {
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl\\f0 Arial;}\\f0\\fs24 ";
    for (int i = 0; i < 120; ++i) rtf += "Line " + std::to_string(i) + " of a text long enough for pages.\\par ";
    rtf += "}";
    ASSERT_GT(view_->LoadText(File(rtf), 1), 0);
    view_->PageWidth(12240);
    view_->PageHeight(15840);
    view_->PageMarginL(1440);
    view_->PageMarginR(1440);
    view_->PageMarginT(1440);
    view_->PageMarginB(1440);
    const std::int32_t letter = view_->PageCount();
    EXPECT_GE(letter, 2);
    EXPECT_EQ(Prop(L"Navreth.PageCount"), letter);
    view_->PageHeight(15840 / 2 + 1440);  // half the text height per page
    const std::int32_t half = view_->PageCount();
    EXPECT_GE(half, 2 * letter - 1);
    EXPECT_LE(half, 2 * letter + 1);
    EXPECT_EQ(Prop(L"Navreth.PageCount"), half);
}

TEST_F(TextViewTest, RefusesWhatItCannotDo) {
    EXPECT_THROW(view_->Search(2), ComError);
    EXPECT_THROW(view_->Print(L"C:\\doc.orl", 1, 1, 1), ComError);  // no print device
}

TEST_F(TextViewTest, VisibilityIsTheWindowsOwn) {
    view_->Visible(true);
    EXPECT_TRUE(view_->Visible());
    EXPECT_TRUE(GetWindowLongW(view_->Handle(), GWL_STYLE) & WS_VISIBLE);
    view_->Visible(false);
    EXPECT_FALSE(view_->Visible());
}

// Printer settings for the document's paper: the dialog's settings with the paper size and
// orientation replaced, its driver data kept.
DEVMODEW PaperOf(const std::vector<BYTE>& settings) {
    DEVMODEW mode{};
    std::memcpy(&mode, settings.data(), sizeof mode);
    return mode;
}

TEST(PaperSettingsTest, AsksForTheDocumentsPaper) {
    // A printer's settings: A4 portrait by form name, with eight bytes of driver data.
    std::vector<BYTE> printer(sizeof(DEVMODEW) + 8, 0xA5);
    DEVMODEW a4{};
    a4.dmSize = sizeof a4;
    a4.dmDriverExtra = 8;
    a4.dmFields = DM_PAPERSIZE | DM_ORIENTATION | DM_FORMNAME | DM_COPIES;
    a4.dmPaperSize = DMPAPER_A4;
    a4.dmOrientation = DMORIENT_PORTRAIT;
    a4.dmCopies = 3;
    std::memcpy(printer.data(), &a4, sizeof a4);

    // US Letter, one-inch margins: the standard size by number, portrait; the rest untouched.
    const std::vector<BYTE> letter =
        PaperSettings(printer.data(), printer.size(), PageSettings{12240, 15840, 1440, 1440, 1440, 1440});
    ASSERT_EQ(letter.size(), printer.size());
    DEVMODEW mode = PaperOf(letter);
    EXPECT_EQ(mode.dmPaperSize, DMPAPER_LETTER);
    EXPECT_EQ(mode.dmOrientation, DMORIENT_PORTRAIT);
    EXPECT_TRUE(mode.dmFields & DM_PAPERSIZE);
    EXPECT_TRUE(mode.dmFields & DM_ORIENTATION);
    EXPECT_FALSE(mode.dmFields & DM_FORMNAME) << "the form name would override the size";
    EXPECT_EQ(mode.dmCopies, 3);
    EXPECT_TRUE(std::equal(letter.begin() + sizeof mode, letter.end(), printer.begin() + sizeof mode))
        << "the driver's own data is kept";

    // A5 landscape (11906 x 8391 twips): A5 turned, within the rounding of millimetres.
    mode = PaperOf(PaperSettings(printer.data(), printer.size(), PageSettings{11906, 8391, 720, 720, 720, 720}));
    EXPECT_EQ(mode.dmPaperSize, DMPAPER_A5);
    EXPECT_EQ(mode.dmOrientation, DMORIENT_LANDSCAPE);
    mode = PaperOf(PaperSettings(printer.data(), printer.size(), PageSettings{11904, 8395, 720, 720, 720, 720}));
    EXPECT_EQ(mode.dmPaperSize, DMPAPER_A5);

    // Any other size: a custom paper in tenths of a millimetre, given standing up.
    mode = PaperOf(PaperSettings(printer.data(), printer.size(), PageSettings{14400, 7200, 720, 720, 720, 720}));
    EXPECT_EQ(mode.dmPaperSize, DMPAPER_USER);
    EXPECT_EQ(mode.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(mode.dmPaperWidth, 1270);   // 5 inches across
    EXPECT_EQ(mode.dmPaperLength, 2540);  // 10 inches down
    EXPECT_EQ(mode.dmFields & (DM_PAPERWIDTH | DM_PAPERLENGTH), DWORD{DM_PAPERWIDTH | DM_PAPERLENGTH});

    // No settings to adjust, or no page to fit: nothing to ask for.
    EXPECT_TRUE(PaperSettings(nullptr, 0, PageSettings{12240, 15840, 0, 0, 0, 0}).empty());
    EXPECT_TRUE(PaperSettings(printer.data(), 16, PageSettings{12240, 15840, 0, 0, 0, 0}).empty());
    EXPECT_TRUE(PaperSettings(printer.data(), printer.size(), PageSettings{0, 15840, 0, 0, 0, 0}).empty());
    EXPECT_TRUE(PaperSettings(printer.data(), printer.size(), PageSettings{12240, -5, 0, 0, 0, 0}).empty());
}

}  // namespace
}  // namespace viewer
