// GDI rendering of laid-out pages: see page_render.h.
#include "page_render.h"

#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <tuple>

#include "com_util.h"
#include "shape_outline.h"

namespace viewer {

namespace {

using docengine::Picture;

COLORREF ColorOf(const docengine::Color& color, COLORREF automatic) {
    return color.automatic ? automatic : RGB(color.r, color.g, color.b);
}

constexpr COLORREF kSelectionColor = RGB(0xA8, 0xCE, 0xFF);
constexpr COLORREF kFrameColor = RGB(0xC8, 0xC8, 0xC8);

// Pictures larger than this many pixels are not decoded (a corrupt size field would
// otherwise ask for gigabytes).
constexpr std::uint64_t kMaxPicturePixels = 64ull * 1024 * 1024;

}  // namespace

int PageTransform::X(std::int64_t twips) const {
    return originX + static_cast<int>(std::lround(static_cast<double>(twips) * scaleX));
}
int PageTransform::Y(std::int64_t twips) const {
    return originY + static_cast<int>(std::lround(static_cast<double>(twips) * scaleY));
}

// ---- Pictures ----------------------------------------------------------------------------------

struct PictureCache::Decoded {
    std::shared_ptr<const Picture> keep;  // the cache is keyed by the picture's address
    bool ok = false;
    // Bitmaps: top-down 32 bpp BGRA rows, or a packed DIB's own header and bits.
    std::vector<std::uint8_t> bits;
    std::vector<std::uint8_t> info;  // BITMAPINFO (header and colour table)
    UniqueEnhMetaFile metafile;
};

PictureCache::PictureCache() = default;
PictureCache::~PictureCache() = default;
void PictureCache::Clear() { decoded_.clear(); }

namespace {

// Decodes PNG, JPEG, GIF, BMP and TIFF through WIC into white-backed 32 bpp rows.
bool DecodeWithWic(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& info,
                   std::vector<std::uint8_t>& bits) {
    if (data.empty() || data.size() > 0xFFFFFFFFu) return false;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.Put())))) {
        return false;
    }
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.Put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data.data()), static_cast<DWORD>(data.size())))) {
        return false;
    }
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.Put())) ||
        FAILED(decoder->GetFrame(0, frame.Put())) || FAILED(factory->CreateFormatConverter(converter.Put())) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom))) {
        return false;
    }
    UINT width = 0, height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 ||
        std::uint64_t{width} * height > kMaxPicturePixels) {
        return false;
    }
    const UINT stride = width * 4;
    bits.resize(std::size_t{stride} * height);
    if (FAILED(converter->CopyPixels(nullptr, stride, static_cast<UINT>(bits.size()), bits.data()))) return false;
    // Composite onto the white paper: printers draw plain bitmaps, not alpha.
    for (std::size_t i = 0; i < bits.size(); i += 4) {
        const unsigned alpha = bits[i + 3];
        for (int c = 0; c < 3; ++c) bits[i + c] = static_cast<std::uint8_t>((bits[i + c] * alpha + 255 * (255 - alpha)) / 255);
        bits[i + 3] = 255;
    }
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = -static_cast<LONG>(height);  // top-down
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    info.assign(reinterpret_cast<const std::uint8_t*>(&header),
                reinterpret_cast<const std::uint8_t*>(&header) + sizeof header);
    return true;
}

// A packed DIB: BITMAPINFOHEADER, colour table, bits. Checks that the bits are all there.
bool SplitPackedDib(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& info,
                    std::vector<std::uint8_t>& bits) {
    if (data.size() < sizeof(BITMAPINFOHEADER)) return false;
    BITMAPINFOHEADER header;
    std::memcpy(&header, data.data(), sizeof header);
    if (header.biSize < sizeof header || header.biSize > data.size() || header.biWidth <= 0 ||
        header.biHeight == 0 || header.biPlanes != 1) {
        return false;
    }
    const std::uint64_t width = static_cast<std::uint64_t>(header.biWidth);
    const std::uint64_t height = static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(header.biHeight)));
    if (width * height > kMaxPicturePixels) return false;
    const unsigned bpp = header.biBitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    std::uint64_t colors = header.biClrUsed;
    if (colors == 0 && bpp <= 8) colors = 1ull << bpp;
    std::uint64_t tableBytes = colors * 4;
    if (header.biCompression == BI_BITFIELDS) tableBytes = 12;
    else if (header.biCompression != BI_RGB) return false;
    const std::uint64_t headerBytes = header.biSize + tableBytes;
    const std::uint64_t stride = ((width * bpp + 31) / 32) * 4;
    if (headerBytes > data.size() || stride * height > data.size() - headerBytes) return false;
    info.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(headerBytes));
    bits.assign(data.begin() + static_cast<std::ptrdiff_t>(headerBytes), data.end());
    return true;
}

HENHMETAFILE MetafileOf(const Picture& picture) {
    const std::vector<std::uint8_t>& data = *picture.data;
    if (data.size() > 0x7FFFFFFF) return nullptr;
    if (picture.kind == Picture::Kind::Emf) {
        return SetEnhMetaFileBits(static_cast<UINT>(data.size()), data.data());
    }
    // WMF: skip an Aldus placeable header when the file carries one.
    std::size_t skip = 0;
    if (data.size() >= 22 && data[0] == 0xD7 && data[1] == 0xCD && data[2] == 0xC6 && data[3] == 0x9A) skip = 22;
    if (data.size() - skip < 18) return nullptr;
    METAFILEPICT mfp{};
    mfp.mm = picture.metafileMapMode > 0 ? picture.metafileMapMode : MM_ANISOTROPIC;
    mfp.xExt = picture.width > 0 ? picture.width : 0;
    mfp.yExt = picture.height > 0 ? picture.height : 0;
    return SetWinMetaFileBits(static_cast<UINT>(data.size() - skip), data.data() + skip, nullptr, &mfp);
}

}  // namespace

PictureCache::Decoded& PictureCache::Decode(const std::shared_ptr<const Picture>& picture) {
    auto found = decoded_.find(picture.get());
    if (found != decoded_.end()) return *found->second;
    auto decoded = std::make_unique<Decoded>();
    decoded->keep = picture;
    if (picture->data && !picture->data->empty()) {
        switch (picture->kind) {
        case Picture::Kind::Emf:
        case Picture::Kind::Wmf:
            decoded->metafile.Reset(MetafileOf(*picture));
            decoded->ok = static_cast<bool>(decoded->metafile);
            break;
        case Picture::Kind::Dib:
            decoded->ok = SplitPackedDib(*picture->data, decoded->info, decoded->bits) ||
                          DecodeWithWic(*picture->data, decoded->info, decoded->bits);
            break;
        default:
            decoded->ok = DecodeWithWic(*picture->data, decoded->info, decoded->bits);
            break;
        }
    }
    return *decoded_.emplace(picture.get(), std::move(decoded)).first->second;
}

bool PictureCache::Draw(HDC dc, const std::shared_ptr<const Picture>& picture, const RECT& where) {
    if (!picture) return false;
    Decoded& decoded = Decode(picture);
    if (!decoded.ok) return false;
    if (decoded.metafile) {
        SavedDc saved(dc);
        return PlayEnhMetaFile(dc, decoded.metafile.Get(), &where) != FALSE;
    }
    const auto* info = reinterpret_cast<const BITMAPINFO*>(decoded.info.data());
    const int width = info->bmiHeader.biWidth;
    const int height = std::abs(info->bmiHeader.biHeight);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    return StretchDIBits(dc, where.left, where.top, where.right - where.left, where.bottom - where.top, 0, 0,
                         width, height, decoded.bits.data(), info, DIB_RGB_COLORS, SRCCOPY) != 0;
}

// ---- Pages ---------------------------------------------------------------------------------

namespace {

// Device fonts of one drawing, by face, height and style.
class DeviceFonts {
public:
    HFONT Get(HDC dc, const docengine::FontSpec& spec, const std::wstring& face, int height, bool underline,
              bool strike) {
        auto key = std::make_tuple(face, height, spec.bold, spec.italic, underline, strike, spec.scalePercent);
        auto found = fonts_.find(key);
        if (found != fonts_.end()) return found->second.Get();
        LOGFONTW lf = GdiFontMetrics::LogFont(spec, face, height);
        lf.lfUnderline = underline;
        lf.lfStrikeOut = strike;
        return fonts_.emplace(std::move(key), GdiFontMetrics::CreateScaled(dc, lf, spec.scalePercent)).first->second.Get();
    }

private:
    std::map<std::tuple<std::wstring, int, bool, bool, bool, bool, int>, UniqueFont> fonts_;
};

// The device rectangle of the page's (x, y, width, height), in twips.
RECT DeviceRect(const PageTransform& t, int x, int y, int width, int height) {
    return RECT{t.X(x), t.Y(y), t.X(std::int64_t{x} + width), t.Y(std::int64_t{y} + height)};
}

void FillDeviceRect(HDC dc, RECT r, COLORREF color) {
    if (r.right <= r.left) r.right = r.left + 1;  // hairlines stay visible at any scale
    if (r.bottom <= r.top) r.bottom = r.top + 1;
    UniqueBrush brush(CreateSolidBrush(color));
    FillRect(dc, &r, brush.Get());
}

// A shape of the layout in its device rectangle, turned clockwise about the rectangle's centre:
// an ellipse or a box with its line and fill, or a line from corner to corner with its
// arrowheads (filled triangles three line widths long, at least a few pixels). Turned shapes
// are drawn as polygons, which every device draws alike.
void DrawShape(HDC dc, const docengine::RectItem& item, const RECT& r, const PageTransform& t) {
    using Shape = docengine::RectItem::Shape;
    const COLORREF lineColor = ColorOf(item.color, RGB(0, 0, 0));
    const int penWidth = std::max(1, static_cast<int>(std::lround(item.lineWidth * t.scaleX)));
    UniquePen pen(item.lineWidth > 0 ? CreatePen(PS_SOLID, penWidth, lineColor) : nullptr);
    SelectedObject selectedPen(dc, pen ? static_cast<HGDIOBJ>(pen.Get()) : GetStockObject(NULL_PEN));
    const double angle = item.rotation * std::numbers::pi / 180, cosA = std::cos(angle), sinA = std::sin(angle);
    const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
    auto turned = [&](double x, double y) {
        return POINT{static_cast<LONG>(std::lround(cx + (x - cx) * cosA - (y - cy) * sinA)),
                     static_cast<LONG>(std::lround(cy + (x - cx) * sinA + (y - cy) * cosA))};
    };
    if (item.shape == Shape::Ellipse || item.shape == Shape::Box || item.shape == Shape::Preset) {
        UniqueBrush fill(item.fill.automatic ? nullptr : CreateSolidBrush(ColorOf(item.fill, RGB(255, 255, 255))));
        SelectedObject selectedBrush(dc, fill ? static_cast<HGDIOBJ>(fill.Get()) : GetStockObject(NULL_BRUSH));
        if (item.rotation == 0 && item.shape == Shape::Ellipse) {
            // the pen draws inside the bounds of Ellipse's box: one more pixel right and down
            Ellipse(dc, r.left, r.top, r.right + 1, r.bottom + 1);
            return;
        }
        std::vector<POINT> outline;
        if (item.shape == Shape::Box && item.rounded) {
            // each corner a quarter circle, its radius a sixth of the shorter side
            constexpr int kSteps = 6;
            const double radius = std::min(r.right - r.left, r.bottom - r.top) / 6.0;
            const double corners[4][3] = {{r.right - radius, r.top + radius, -90}, {r.right - radius, r.bottom - radius, 0},
                                          {r.left + radius, r.bottom - radius, 90}, {r.left + radius, r.top + radius, 180}};
            for (const auto& [x, y, start] : corners) {
                for (int k = 0; k <= kSteps; ++k) {
                    const double a = (start + 90.0 * k / kSteps) * std::numbers::pi / 180;
                    outline.push_back(turned(x + radius * std::cos(a), y + radius * std::sin(a)));
                }
            }
        } else if (item.shape == Shape::Box) {
            outline = {turned(r.left, r.top), turned(r.right, r.top), turned(r.right, r.bottom), turned(r.left, r.bottom)};
        } else if (item.shape == Shape::Preset) {
            // the unit outline in the box, mirrored as the shape is flipped
            const double w = r.right - r.left, h = r.bottom - r.top;
            for (const docengine::OutlinePoint& p : docengine::PresetOutline(item.preset)) {
                const double x = item.flipH ? 1 - p.x : p.x, y = item.flipV ? 1 - p.y : p.y;
                outline.push_back(turned(r.left + x * w, r.top + y * h));
            }
            if (outline.size() < 3) return;
        } else {
            constexpr int kSteps = 72;
            const double rx = (r.right - r.left) / 2.0, ry = (r.bottom - r.top) / 2.0;
            for (int k = 0; k < kSteps; ++k) {
                const double a = 2 * std::numbers::pi * k / kSteps;
                outline.push_back(turned(cx + rx * std::cos(a), cy + ry * std::sin(a)));
            }
        }
        Polygon(dc, outline.data(), static_cast<int>(outline.size()));
        return;
    }
    if (!pen) return;
    const POINT from = turned(item.flipH ? r.right : r.left, item.flipV ? r.bottom : r.top);
    const POINT to = turned(item.flipH ? r.left : r.right, item.flipV ? r.top : r.bottom);
    MoveToEx(dc, from.x, from.y, nullptr);
    LineTo(dc, to.x, to.y);
    const double dx = to.x - from.x, dy = to.y - from.y, length = std::hypot(dx, dy);
    if (item.arrows == 0 || length < 1) return;
    const double ux = dx / length, uy = dy / length, size = std::max(3.0 * penWidth, 6.0);
    UniqueBrush arrowFill(CreateSolidBrush(lineColor));
    SelectedObject selectedBrush(dc, arrowFill.Get());
    auto arrowhead = [&](POINT tip, double x, double y) {  // (x, y): the way it points
        const POINT corners[3] = {
            tip,
            {static_cast<LONG>(std::lround(tip.x - size * x - size / 2 * y)),
             static_cast<LONG>(std::lround(tip.y - size * y + size / 2 * x))},
            {static_cast<LONG>(std::lround(tip.x - size * x + size / 2 * y)),
             static_cast<LONG>(std::lround(tip.y - size * y - size / 2 * x))}};
        Polygon(dc, corners, 3);
    };
    if (item.arrows & 1) arrowhead(from, -ux, -uy);
    if (item.arrows & 2) arrowhead(to, ux, uy);
}

// WordArt: the text stretched to fill its rectangle (the font's cell as high as the rectangle,
// the letters widened or narrowed to its width) and turned with it about its centre.
void DrawShapeText(HDC dc, const docengine::Layout& layout, const docengine::RectItem& item, const RECT& r,
                   GdiFontMetrics& fonts) {
    if (item.text < 0 || static_cast<std::size_t>(item.text) >= layout.shapeTexts.size()) return;
    const docengine::ShapeTextItem& shapeText = layout.shapeTexts[static_cast<std::size_t>(item.text)];
    if (shapeText.text.empty() || shapeText.font < 0 || static_cast<std::size_t>(shapeText.font) >= layout.fonts.size())
        return;
    const int width = r.right - r.left, height = r.bottom - r.top;
    // (a box many pages long would ask the font engine for letters of that size)
    constexpr int kLargest = 1 << 15;
    if (width < 1 || height < 1 || width > kLargest || height > kLargest) return;
    const docengine::FontSpec& spec = layout.fonts[static_cast<std::size_t>(shapeText.font)];
    const std::wstring text(shapeText.text.begin(), shapeText.text.end());
    const int length = static_cast<int>(std::min<std::size_t>(text.size(), 256));
    LOGFONTW lf = GdiFontMetrics::LogFont(spec, fonts.GlyphFace(spec, shapeText.text), height);
    lf.lfHeight = height;  // positive: the cell, not the em, fills the rectangle
    SIZE natural{};
    TEXTMETRICW tm{};
    {
        UniqueFont plain(CreateFontIndirectW(&lf));
        if (!plain) return;
        SelectedObject selected(dc, plain.Get());
        if (!GetTextExtentPoint32W(dc, text.c_str(), length, &natural) || natural.cx <= 0 || !GetTextMetricsW(dc, &tm))
            return;
    }
    lf.lfWidth = std::clamp(MulDiv(std::max(1, static_cast<int>(tm.tmAveCharWidth)), width, natural.cx), 1, kLargest);
    // GDI turns text counter-clockwise, in tenths of a degree
    lf.lfEscapement = lf.lfOrientation = ((360 - item.rotation % 360) % 360) * 10;
    UniqueFont font(CreateFontIndirectW(&lf));
    if (!font) return;
    SelectedObject selected(dc, font.Get());
    SIZE drawn{};
    if (!GetTextExtentPoint32W(dc, text.c_str(), length, &drawn) || !GetTextMetricsW(dc, &tm)) return;
    // the baseline's left end, from the centre: half the text back, and below the cell's middle
    // by half the difference of ascent and descent; then turned
    const double angle = item.rotation * std::numbers::pi / 180, cosA = std::cos(angle), sinA = std::sin(angle);
    const double dx = -drawn.cx / 2.0, dy = (tm.tmAscent - tm.tmDescent) / 2.0;
    const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
    // Drawn as the letters' outlines filled, a picture rather than text, as word processors
    // draw WordArt: the document's text read from the page (copied from a PDF, say) stays
    // in its order, not interleaved with the letters of a watermark across it.
    UniqueBrush ink(CreateSolidBrush(ColorOf(shapeText.color, RGB(0, 0, 0))));
    SelectedObject selectedBrush(dc, ink.Get());
    SelectedObject selectedPen(dc, GetStockObject(NULL_PEN));
    BeginPath(dc);
    ExtTextOutW(dc, static_cast<int>(std::lround(cx + dx * cosA - dy * sinA)),
                static_cast<int>(std::lround(cy + dx * sinA + dy * cosA)), 0, nullptr, text.c_str(),
                static_cast<UINT>(length), nullptr);
    EndPath(dc);
    FillPath(dc);
}

void DrawFrame(HDC dc, const RECT& r) {
    FillDeviceRect(dc, RECT{r.left, r.top, r.right, r.top + 1}, kFrameColor);
    FillDeviceRect(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, kFrameColor);
    FillDeviceRect(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, kFrameColor);
    FillDeviceRect(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, kFrameColor);
}

bool ValidFont(const docengine::Layout& layout, const docengine::TextItem& item) {
    return item.font >= 0 && static_cast<std::size_t>(item.font) < layout.fonts.size();
}

// Right-to-left letters (Hebrew, Arabic): the system puts them in their visual order and joins
// Arabic letters, so they are drawn at the face's own advances rather than at given places.
template <typename Text>
bool HasRightToLeftLetters(const Text& text) {
    return std::any_of(text.begin(), text.end(), [](auto c) {
        return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF);
    });
}

// Items drawn in one call: the same font, colour, lines and link on the same baseline, each
// starting at or after the end of the one before.
bool SameRun(const docengine::TextItem& a, const docengine::TextItem& b) {
    return a.font == b.font && a.baseline == b.baseline && a.color == b.color && a.underline == b.underline &&
           a.underlineColor == b.underlineColor && a.strike == b.strike && a.link == b.link && a.rightToLeft == b.rightToLeft && a.quarterTurns == 0 && b.quarterTurns == 0 &&
           b.x >= a.x + a.width;
}

// The selection's part of `item`, filled behind its characters.
void DrawSelection(HDC dc, const docengine::Layout& layout, const docengine::TextItem& item, const PageTransform& t,
                   GdiFontMetrics& fonts, TextSpan selection) {
    if (item.textOffset == docengine::kNoTextOffset) return;  // leaders, readings: not the document's text
    if (item.quarterTurns != 0) return;  // turned text in a table cell is not highlighted
    const std::size_t begin = item.textOffset, end = item.textOffset + item.text.size();
    if (selection.empty() || selection.start >= end || selection.end <= begin || !ValidFont(layout, item)) return;
    const docengine::FontSpec& spec = layout.fonts[item.font];
    std::vector<int> advances;
    fonts.Advances(spec, item.text, advances);
    docengine::ApplyCharSpacing(item, advances);
    const std::size_t from = std::max(selection.start, begin) - begin;
    const std::size_t to = std::min(selection.end, end) - begin;
    std::int64_t x0 = item.x;
    for (std::size_t i = 0; i < from; ++i) x0 += advances[i];
    std::int64_t x1 = x0;
    for (std::size_t i = from; i < to; ++i) x1 += advances[i];
    if (item.rightToLeft) {  // its characters stand from its right end
        const std::int64_t right = std::int64_t{item.x} + item.width;
        std::tie(x0, x1) = std::make_pair(right - (x1 - item.x), right - (x0 - item.x));
    }
    const docengine::VerticalMetrics v = fonts.Metrics(spec);
    FillDeviceRect(dc, RECT{t.X(x0), t.Y(item.baseline - v.ascent), t.X(x1), t.Y(item.baseline + v.descent)},
                   kSelectionColor);
}

// One ExtTextOutW call: characters of one face, size, colour and lines at their device places.
struct Glyphs {
    const docengine::FontSpec* spec = nullptr;
    std::wstring face;
    int height = 0;
    bool underline = false, strike = false;
    bool rightToLeft = false;  // ETO_RTLREADING: ordered as right-to-left text
    COLORREF color = 0;
    int x = 0, baseline = 0;
    std::wstring text;
    std::vector<INT> dx;
};

// An underline drawn apart from the text: one of another style than a single line, or in a
// colour of its own. (A plain single underline is the font's own.)
struct Rule {
    int x0 = 0, x1 = 0, top = 0, thickness = 1;  // device units
    docengine::Underline style = docengine::Underline::Single;
    COLORREF color = 0;
};

// Draws `r`: a bar, two thin ones (double), one twice as thick, dots and dashes as long as the
// line is thick (dashes four times), or a zigzag wave.
void DrawRule(HDC dc, const Rule& r) {
    using docengine::Underline;
    const int t = std::max(1, r.thickness);
    UniqueBrush brush(CreateSolidBrush(r.color));
    auto bar = [&](int x0, int x1, int top, int height) {
        const RECT box{x0, top, std::max(x0 + 1, std::min(x1, r.x1)), top + height};
        FillRect(dc, &box, brush.Get());
    };
    switch (r.style) {
    case Underline::Double: bar(r.x0, r.x1, r.top, t); bar(r.x0, r.x1, r.top + 2 * t, t); break;
    case Underline::Thick: bar(r.x0, r.x1, r.top, 2 * t); break;
    case Underline::Dotted: for (int x = r.x0; x < r.x1; x += 2 * t) bar(x, x + t, r.top, t); break;
    case Underline::Dashed: for (int x = r.x0; x < r.x1; x += 6 * t) bar(x, x + 4 * t, r.top, t); break;
    case Underline::Wave: {
        std::vector<POINT> points;
        const int step = 2 * t;
        for (int x = r.x0, i = 0; x <= r.x1 && points.size() < 100000; x += step, ++i)
            points.push_back(POINT{x, r.top + (i % 2 == 0 ? 0 : 2 * t)});
        if (points.size() < 2) break;
        UniquePen pen(CreatePen(PS_SOLID, t, r.color));
        SelectedObject selected(dc, pen.Get());
        Polyline(dc, points.data(), static_cast<int>(points.size()));
        break;
    }
    default: bar(r.x0, r.x1, r.top, t); break;
    }
}

// Adds items [first, last) of one run to `out`, one entry per face, and its underline to
// `rules` where the font's own will not do. Each character's device advance is the difference
// of rounded positions, so rounding never accumulates along a line; the last character of an
// item reaches to where the next item starts.
void CollectRun(const docengine::Layout& layout, const docengine::TextItem* first, const docengine::TextItem* last,
                const PageTransform& t, GdiFontMetrics& fonts, std::vector<Glyphs>& out, std::vector<Rule>& rules) {
    const docengine::FontSpec& spec = layout.fonts[first->font];
    std::u16string text;
    std::vector<int> deviceX;  // each character's start, then the run's end
    std::vector<int> advances;
    for (const docengine::TextItem* item = first; item != last; ++item) {
        advances.clear();
        fonts.Advances(spec, item->text, advances);
        docengine::ApplyCharSpacing(*item, advances);
        std::int64_t at = item->x;
        for (std::size_t i = 0; i < item->text.size(); ++i) {
            deviceX.push_back(t.X(at));
            at += advances[i];
        }
        text += item->text;
        if (item + 1 == last) deviceX.push_back(t.X(at));
    }
    if (text.empty()) return;

    // What every segment of the run shares.
    Glyphs run;
    run.spec = &spec;
    run.height = std::max(1, static_cast<int>(std::lround(spec.sizeTwips * t.scaleY)));
    run.underline = first->underline != docengine::Underline::None;
    run.strike = first->strike;
    run.rightToLeft = first->rightToLeft;
    run.color = ColorOf(first->color, RGB(0, 0, 0));  // links too: a document colours its links itself
    run.baseline = t.Y(first->baseline);
    const std::size_t ruleColor = first->underlineColor;
    if (run.underline && (first->underline != docengine::Underline::Single || ruleColor != 0)) {
        // A tenth of the size below the baseline, a twentieth thick, as text faces have theirs.
        run.underline = false;
        Rule rule;
        rule.style = first->underline;
        rule.top = t.Y(std::int64_t{first->baseline} + spec.sizeTwips / 10);
        rule.thickness = std::max(1, static_cast<int>(std::lround(spec.sizeTwips / 20 * t.scaleY)));
        rule.color = ruleColor != 0 && ruleColor <= layout.underlineColors.size()
                         ? ColorOf(layout.underlineColors[ruleColor - 1], run.color)
                         : run.color;
        // Words only: each stretch of characters other than spaces and tabs.
        const bool words = rule.style == docengine::Underline::Words;
        const auto gap = [&](std::size_t k) { return words && (text[k] == u' ' || text[k] == u'\t' || text[k] == 0xA0); };
        for (std::size_t i = 0; i < text.size();) {
            while (i < text.size() && gap(i)) ++i;
            std::size_t j = i;
            while (j < text.size() && !gap(j)) ++j;
            if (j > i) {
                rule.x0 = deviceX[i];
                rule.x1 = deviceX[j];
                rules.push_back(rule);
            }
            i = j;
        }
    }
    const std::u16string_view view = text;
    std::size_t i = 0;
    while (i < view.size()) {
        // A segment: the characters drawn with one face.
        const std::wstring& face = fonts.GlyphFace(spec, view.substr(i));
        std::size_t j = i;
        while (j < view.size()) {
            const std::size_t units = (view[j] >= 0xD800 && view[j] < 0xDC00 && j + 1 < view.size()) ? 2 : 1;
            if (j > i && fonts.GlyphFace(spec, view.substr(j)) != face) break;
            j += units;
        }
        Glyphs& g = out.emplace_back(run);
        g.face = face;
        g.x = deviceX[i];
        g.text.assign(view.begin() + static_cast<std::ptrdiff_t>(i), view.begin() + static_cast<std::ptrdiff_t>(j));
        // Right-to-left letters are left to the face's own advances: advances given in the
        // text's order would space the wrong letters.
        if (!HasRightToLeftLetters(g.text))
            for (std::size_t k = i; k < j; ++k) g.dx.push_back(deviceX[k + 1] - deviceX[k]);
        i = j;
    }
}

// A run turned with its table cell's text (TextItem::quarterTurns), drawn on its own with a font turned
// as much, at its face's own advances along the turned line.
void DrawTurnedText(HDC dc, const docengine::Layout& layout, const docengine::TextItem& item, const PageTransform& t,
                    GdiFontMetrics& fonts) {
    const docengine::FontSpec& spec = layout.fonts[static_cast<std::size_t>(item.font)];
    LOGFONTW lf = GdiFontMetrics::LogFont(spec, fonts.GlyphFace(spec, item.text),
                                          std::max(1, static_cast<int>(std::lround(spec.sizeTwips * t.scaleY))));
    lf.lfUnderline = item.underline != docengine::Underline::None;
    lf.lfStrikeOut = item.strike;
    lf.lfEscapement = lf.lfOrientation = (item.quarterTurns % 4) * 900;
    UniqueFont font = GdiFontMetrics::CreateScaled(dc, lf, spec.scalePercent);
    if (!font) return;
    SelectedObject selected(dc, font.Get());
    SetTextColor(dc, ColorOf(item.color, RGB(0, 0, 0)));
    const std::wstring text(item.text.begin(), item.text.end());
    ExtTextOutW(dc, t.X(item.x), t.Y(item.baseline), 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
}

// Draws a page's text grouped by typeface and style, in the layout's order within each group.
// Text is drawn transparently and lines do not overlap, so the order changes nothing on the
// page; but a PostScript driver downloads a font each time the page switches to a face it has
// dropped, and Wine's keeps only two at a time: a page that alternates between three faces
// word by word would send the font data again at every switch.
void DrawGlyphs(HDC dc, std::vector<Glyphs>& glyphs, DeviceFonts& deviceFonts) {
    std::stable_sort(glyphs.begin(), glyphs.end(), [](const Glyphs& a, const Glyphs& b) {
        return std::tie(a.face, a.spec->bold, a.spec->italic) < std::tie(b.face, b.spec->bold, b.spec->italic);
    });
    for (const Glyphs& g : glyphs) {
        SetTextColor(dc, g.color);
        SelectedObject font(dc, deviceFonts.Get(dc, *g.spec, g.face, g.height, g.underline, g.strike));
        ExtTextOutW(dc, g.x, g.baseline, g.rightToLeft ? ETO_RTLREADING : 0, nullptr, g.text.c_str(),
                    static_cast<UINT>(g.text.size()),
                    g.dx.empty() ? nullptr : g.dx.data());
    }
}

}  // namespace

void RenderPage(HDC dc, const docengine::Layout& layout, std::size_t index, const PageTransform& transform,
                GdiFontMetrics& fonts, PictureCache& pictures, TextSpan selection) {
    if (index >= layout.pages.size()) return;
    const docengine::Page& page = layout.pages[index];
    SavedDc saved(dc);
    IntersectClipRect(dc, transform.X(0), transform.Y(0), transform.X(page.width), transform.Y(page.height));
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);

    for (const docengine::RectItem& r : page.rects) {
        const RECT where = DeviceRect(transform, r.x, r.y, r.width, r.height);
        if (r.shape == docengine::RectItem::Shape::Fill) FillDeviceRect(dc, where, ColorOf(r.color, RGB(0, 0, 0)));
        else if (r.shape == docengine::RectItem::Shape::Text) DrawShapeText(dc, layout, r, where, fonts);
        else DrawShape(dc, r, where, transform);
    }
    for (const docengine::PictureItem& p : page.pictures) {
        const RECT where = DeviceRect(transform, p.x, p.y, p.width, p.height);
        if (where.right <= where.left || where.bottom <= where.top) continue;
        if (!pictures.Draw(dc, p.picture, where)) DrawFrame(dc, where);
    }
    for (const docengine::TextItem& item : page.texts) DrawSelection(dc, layout, item, transform, fonts, selection);
    std::vector<Glyphs> glyphs;
    std::vector<Rule> rules;
    const docengine::TextItem* items = page.texts.data();
    const std::size_t count = page.texts.size();
    for (std::size_t i = 0; i < count;) {
        // An item holding right-to-left letters is drawn on its own: with no places given for
        // its characters, items after it in the same call would follow on from its end instead
        // of standing where they belong (a table row's cells ran together).
        std::size_t j = i + 1;
        if (!HasRightToLeftLetters(items[i].text))
            while (j < count && SameRun(items[j - 1], items[j]) && !HasRightToLeftLetters(items[j].text)) ++j;
        if (ValidFont(layout, items[i]) && items[i].quarterTurns != 0) DrawTurnedText(dc, layout, items[i], transform, fonts);
        else if (ValidFont(layout, items[i])) CollectRun(layout, items + i, items + j, transform, fonts, glyphs, rules);
        i = j;
    }
    DeviceFonts deviceFonts;
    DrawGlyphs(dc, glyphs, deviceFonts);
    for (const Rule& rule : rules) DrawRule(dc, rule);
}

}  // namespace viewer
