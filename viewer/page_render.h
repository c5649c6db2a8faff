// Draws laid-out pages with GDI: the screen and the printer draw the same docengine::Layout,
// each through a transform from the page's twips to its device units.
//
// A page is drawn in the layout's order: filled rectangles (shading, borders, rules), then
// pictures, then text, one typeface at a time. Text is drawn with ExtTextOutW (the items of a
// line that share a format in one call) at the advances the layout measured (GdiFontMetrics),
// scaled to the device, so that lines break and end at the same places on every device;
// characters the run's face has no glyph for are drawn with the fallback face the metrics
// chose for them. Pictures are decoded once and kept in a PictureCache: PNG, JPEG and other
// bitmaps through WIC (composited onto white, so that printers without alpha blending draw
// them too), packed DIBs with StretchDIBits, EMF and
// WMF by metafile playback; what cannot be decoded is drawn as a light frame.
//
// Ownership: the renderer owns nothing beyond one call; the PictureCache owns the decoded
// pictures (and keeps the pictures' data alive while it holds them).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "docengine/layout.h"
#include "gdi_font_metrics.h"
#include "com_util.h"

namespace viewer {

// device = origin + twips * scale, per axis.
struct PageTransform {
    double scaleX = 1.0, scaleY = 1.0;
    int originX = 0, originY = 0;
    int X(std::int64_t twips) const;
    int Y(std::int64_t twips) const;
};

// A range of Layout::plainText, [start, end); empty when start == end.
struct TextSpan {
    std::size_t start = 0, end = 0;
    bool empty() const { return start >= end; }
};

class PictureCache {
public:
    PictureCache();
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;
    ~PictureCache();

    // Draws `picture` into the device rectangle; false when it could not be decoded (the
    // caller then draws a frame).
    bool Draw(HDC dc, const std::shared_ptr<const docengine::Picture>& picture, const RECT& where);
    void Clear();

private:
    struct Decoded;
    Decoded& Decode(const std::shared_ptr<const docengine::Picture>& picture);
    std::map<const docengine::Picture*, std::unique_ptr<Decoded>> decoded_;
};

// Draws page `index` of `layout` on `dc` through `transform`, with the part of the text in
// `selection` highlighted. The page's paper is not filled: the caller paints the paper.
void RenderPage(HDC dc, const docengine::Layout& layout, std::size_t index, const PageTransform& transform,
                GdiFontMetrics& fonts, PictureCache& pictures, TextSpan selection = {});

}  // namespace viewer
