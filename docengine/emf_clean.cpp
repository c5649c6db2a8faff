// Enhanced metafiles (EMF) rebuilt from their sound records before the platform plays them.
//
// An EMF is a sequence of records, all little-endian:
//   record   := type:u32 size:u32 fields...   (size counts all of it, a multiple of 4)
//   metafile := header(type 1) record* eof(type 14)
//   header   := bounds:rect frame:rect signature:u32(" EMF") version:u32 bytes:u32 records:u32
//               handles:u16 reserved:u16 descriptionLength:u32 descriptionOffset:u32
//               paletteEntries:u32 device:size millimetres:size [pixel format, OpenGL, micrometres]
// The cleaner copies the header, then every record of a kind it knows whose counts, offsets
// and object numbers all lie within the record and the object table, then an EOF record of
// its own; it sets the header's byte and record counts to what it wrote. Records it does not
// know, or that carry what it does not check (palettes, comments, compressed bitmaps, masks),
// are left out: the picture may lose some drawing, never the process its memory.

#include "metafile_clean.h"

#include <cstddef>
#include <cstring>

#include "little_endian.h"

namespace docengine {
namespace {

constexpr std::uint32_t kSignature = 0x464D4520;  // " EMF"
constexpr std::uint32_t kHeaderSize = 88;
constexpr std::uint32_t kMaxRecords = 1u << 22;
constexpr std::uint64_t kMaxPixels = 1ull << 26;
constexpr std::uint32_t kStockBit = 0x80000000u;
constexpr std::uint32_t kLastStockObject = 19;  // DC_PEN

// One record, `size` bytes from `p`; the fields read are within `size` once Has() said so.
struct Record {
    const std::uint8_t* p;
    std::uint32_t size;
    bool Has(std::uint32_t bytes) const { return size >= bytes; }
    std::uint32_t U(std::uint32_t at) const { return ReadLe32(p + at); }
    std::int32_t I(std::uint32_t at) const { return static_cast<std::int32_t>(ReadLe32(p + at)); }
    // `count` items of `each` bytes from `at` lie within the record.
    bool Fits(std::uint64_t at, std::uint64_t count, std::uint64_t each) const {
        return at <= size && count <= (size - at) / (each ? each : 1);
    }
};

class Cleaner {
public:
    explicit Cleaner(std::uint32_t handles) : handles_(handles) {}

    bool Sound(const Record& r, std::uint32_t type) const {
        switch (type) {
        // Fixed fields only: the record holds them.
        case 9: case 10: case 11: case 12: case 13: case 26: case 27: case 54:  // extents, origins, moves
            return r.Has(16);
        case 15: return r.Has(20);                                      // SETPIXELV
        case 16: case 17: case 18: case 19: case 20: case 21: case 22:  // modes
        case 24: case 25: case 34: case 57: case 58: case 67: case 98: case 115:
            return r.Has(12);
        case 23: case 35: return r.Has(32);                             // colour adjustment, world transform
        case 36: return r.Has(36);                                      // MODIFYWORLDTRANSFORM
        case 28: case 33: case 59: case 60: case 61: case 65: case 66: case 68:  // paths, SAVEDC
            return r.Has(8);
        case 29: case 30: case 42: case 43: case 53: case 62: case 63: case 64:  // clip rects, shapes, fills
            return r.Has(24);
        case 31: case 32:  // SCALE*EXTEX: numerators and denominators, which must not be 0
            return r.Has(24) && r.I(12) != 0 && r.I(20) != 0;
        case 41: return r.Has(28);                             // ANGLEARC
        case 44: return r.Has(32);                             // ROUNDRECT
        case 45: case 46: case 47: case 55: return r.Has(40);  // ARC, CHORD, PIE, ARCTO

        // Points: bounds, count, points of 8 (or 16-bit: 4) bytes.
        case 2: case 3: case 4: case 5: case 6: return r.Has(28) && r.Fits(28, r.U(24), 8);
        case 85: case 86: case 87: case 88: case 89: return r.Has(28) && r.Fits(28, r.U(24), 4);
        case 7: case 8: return PolyPoly(r, 8);
        case 90: case 91: return PolyPoly(r, 4);
        case 56: return r.Has(28) && r.Fits(28, r.U(24), 9);  // POLYDRAW: points, then a type byte each
        case 92: return r.Has(28) && r.Fits(28, r.U(24), 5);

        // Objects.
        case 37: return r.Has(12) && Selectable(r.U(8));  // SELECTOBJECT: a stock object or one of the table
        case 40: return r.Has(12) && Slot(r.U(8));        // DELETEOBJECT: only one of the table
        case 38: return r.Has(28) && Slot(r.U(8));                 // CREATEPEN
        case 39:  // CREATEBRUSHINDIRECT: solid, hollow or hatched (the other kinds name memory)
            return r.Has(24) && Slot(r.U(8)) && PlainBrush(r.U(12), r.U(20));
        case 82: return r.Has(104) && Slot(r.U(8));  // EXTCREATEFONTINDIRECTW: a whole LOGFONTW
        case 95:  // EXTCREATEPEN with a plain brush, its style entries within the record
            return r.Has(52) && Slot(r.U(8)) && r.U(16) == 0 && r.U(24) == 0 && PlainBrush(r.U(36), r.U(44)) &&
                   r.U(48) <= 16 && r.Fits(52, r.U(48), 4);
        case 93: case 94:  // CREATEMONOBRUSH, CREATEDIBPATTERNBRUSHPT
            return r.Has(32) && Slot(r.U(8)) && r.U(12) <= 1 && Bitmap(r, r.U(16), r.U(20), r.U(24), r.U(28), r.U(12));

        // Text.
        case 83: case 84: return Text(r, type == 84 ? 2 : 1);

        // Bitmaps.
        case 76: return Blit(r, 100, false);  // BITBLT
        case 77: case 114: case 116: return Blit(r, 108, type != 77);  // STRETCHBLT, ALPHABLEND, TRANSPARENTBLT
        case 80:  // SETDIBITSTODEVICE
            return r.Has(76) && r.U(64) <= 1 && Bitmap(r, r.U(48), r.U(52), r.U(56), r.U(60), r.U(64)) &&
                   r.U(72) <= Rows(r, r.U(48));
        case 81:  // STRETCHDIBITS
            return r.Has(80) && r.U(64) <= 1 && Bitmap(r, r.U(48), r.U(52), r.U(56), r.U(60), r.U(64));

        // Regions.
        case 75:  // EXTSELECTCLIPRGN: no region only to reset the clip
            return r.Has(16) && r.U(12) >= 1 && r.U(12) <= 5 && r.Fits(16, r.U(8), 1) &&
                   (r.U(8) == 0 ? r.U(12) == 5 : Region(r, 16, r.U(8)));
        case 71: return r.Has(32) && Selectable(r.U(28)) && r.Fits(32, r.U(24), 1) && Region(r, 32, r.U(24));
        case 72: return r.Has(40) && Selectable(r.U(28)) && r.Fits(40, r.U(24), 1) && Region(r, 40, r.U(24));
        case 73: case 74: return r.Has(28) && r.Fits(28, r.U(24), 1) && Region(r, 28, r.U(24));

        case 118: return Gradient(r);
        default: return false;
        }
    }

private:
    // An object number a record may create: within the table, past its slot 0 (the metafile).
    bool Slot(std::uint32_t index) const { return index >= 1 && index < handles_; }
    bool Selectable(std::uint32_t index) const {
        return (index & kStockBit) ? (index & ~kStockBit) <= kLastStockObject : Slot(index);
    }

    // A solid, hollow or hatched brush, with one of the six hatches.
    static bool PlainBrush(std::uint32_t style, std::uint32_t hatch) { return style <= 1 || (style == 2 && hatch <= 5); }

    static bool PolyPoly(const Record& r, std::uint64_t pointBytes) {
        if (!r.Has(32)) return false;
        const std::uint32_t polys = r.U(24), points = r.U(28);
        if (!r.Fits(32, polys, 4)) return false;
        const std::uint64_t pointsAt = 32 + std::uint64_t(polys) * 4;
        if (!r.Fits(pointsAt, points, pointBytes)) return false;
        std::uint64_t sum = 0;
        for (std::uint32_t i = 0; i < polys; ++i) sum += r.U(32 + i * 4);
        return sum <= points;
    }

    static bool Text(const Record& r, std::uint32_t charBytes) {
        if (!r.Has(76)) return false;
        const std::uint32_t chars = r.U(44), stringAt = r.U(48), options = r.U(52), dxAt = r.U(72);
        if (chars == 0) return true;
        if (chars > (1u << 20) || !r.Fits(stringAt, chars, charBytes)) return false;
        const std::uint64_t dxBytes = (options & 0x2000) ? 8 : 4;  // ETO_PDY: x and y per character
        return r.Fits(dxAt, chars, dxBytes);
    }

    static bool Blit(const Record& r, std::uint32_t fixed, bool needBitmap) {
        if (!r.Has(fixed) || r.U(80) > 1) return false;
        const std::uint32_t bmiAt = r.U(84), bmiBytes = r.U(88), bitsAt = r.U(92), bitsBytes = r.U(96);
        // A pattern or colour fill has no source: then nothing at all may point at one.
        if (!needBitmap && bmiAt == 0 && bmiBytes == 0 && bitsAt == 0 && bitsBytes == 0) return true;
        return Bitmap(r, bmiAt, bmiBytes, bitsAt, bitsBytes, r.U(80));
    }

    // The rows of the bitmap whose header is at `bmiAt` (checked by Bitmap before).
    static std::uint32_t Rows(const Record& r, std::uint32_t bmiAt) {
        const std::int32_t height = r.I(bmiAt + 8);
        return height < 0 ? 0u - static_cast<std::uint32_t>(height) : static_cast<std::uint32_t>(height);
    }

    // A device-independent bitmap in the record: a BITMAPINFOHEADER (or larger) with its colour
    // table in [bmiAt, bmiAt + bmiBytes), its uncompressed rows in [bitsAt, bitsAt + bitsBytes).
    static bool Bitmap(const Record& r, std::uint32_t bmiAt, std::uint32_t bmiBytes, std::uint32_t bitsAt,
                       std::uint32_t bitsBytes, std::uint32_t usage) {
        if (bmiBytes < 40 || !r.Fits(bmiAt, bmiBytes, 1) || !r.Fits(bitsAt, bitsBytes, 1)) return false;
        const std::uint32_t headerBytes = r.U(bmiAt);
        const std::int32_t width = r.I(bmiAt + 4);
        const std::uint32_t rows = Rows(r, bmiAt);
        const std::uint32_t planesAndBits = r.U(bmiAt + 12);
        const std::uint32_t planes = planesAndBits & 0xFFFF, bpp = planesAndBits >> 16;
        const std::uint32_t compression = r.U(bmiAt + 16), used = r.U(bmiAt + 32);
        if (headerBytes < 40 || headerBytes > bmiBytes || width <= 0 || rows == 0 || rows > (1u << 30) || planes != 1)
            return false;
        if (std::uint64_t(width) * rows > kMaxPixels) return false;
        if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
        if (compression != 0 && !(compression == 3 && (bpp == 16 || bpp == 32))) return false;  // BI_RGB, BI_BITFIELDS
        std::uint64_t colors = used;
        if (bpp <= 8) {
            if (used > (1u << bpp)) return false;
            if (used == 0) colors = 1u << bpp;
        }
        std::uint64_t table = colors * (usage == 1 ? 2 : 4);
        if (compression == 3 && headerBytes == 40) table += 12;  // the three masks
        if (table > bmiBytes - headerBytes) return false;
        const std::uint64_t stride = (std::uint64_t(width) * bpp + 31) / 32 * 4;
        return stride * rows <= bitsBytes;
    }

    // Region data: a 32-byte header, then rectangles of 16 bytes.
    static bool Region(const Record& r, std::uint32_t at, std::uint32_t bytes) {
        if (bytes < 32) return false;
        const std::uint32_t headerSize = r.U(at), kind = r.U(at + 4), count = r.U(at + 8);
        return headerSize == 32 && kind == 1 && count <= (bytes - 32) / 16;
    }

    static bool Gradient(const Record& r) {
        if (!r.Has(36)) return false;
        const std::uint32_t vertices = r.U(24), shapes = r.U(28), mode = r.U(32);
        if (mode > 2 || !r.Fits(36, vertices, 16)) return false;
        const std::uint32_t corners = mode == 2 ? 3 : 2;  // triangles, or rectangles
        const std::uint64_t shapesAt = 36 + std::uint64_t(vertices) * 16;
        if (!r.Fits(shapesAt, shapes, corners * 4)) return false;
        for (std::uint64_t i = 0; i < std::uint64_t(shapes) * corners; ++i)
            if (r.U(static_cast<std::uint32_t>(shapesAt + i * 4)) >= vertices) return false;
        return true;
    }

    std::uint32_t handles_;
};

}  // namespace

bool CleanEmf(std::vector<std::uint8_t>& emf) {
    auto fail = [&] {
        emf.clear();
        return false;
    };
    if (emf.size() < kHeaderSize) return fail();
    const std::uint8_t* data = emf.data();
    const std::uint32_t headerSize = ReadLe32(data + 4);
    if (ReadLe32(data) != 1 || ReadLe32(data + 40) != kSignature || headerSize < kHeaderSize || headerSize % 4 != 0 ||
        headerSize > emf.size()) {
        return fail();
    }
    std::vector<std::uint8_t> out(data, data + headerSize);
    // What the header points at within itself: dropped when it does not lie there.
    const std::uint32_t descriptionChars = ReadLe32(data + 60), descriptionAt = ReadLe32(data + 64);
    const Record header{data, headerSize};
    if (!header.Fits(descriptionAt, descriptionChars, 2)) {
        WriteLe32(out.data() + 60, 0);
        WriteLe32(out.data() + 64, 0);
    }
    if (headerSize >= 100 && !header.Fits(ReadLe32(data + 92), ReadLe32(data + 88), 1)) {
        WriteLe32(out.data() + 88, 0);
        WriteLe32(out.data() + 92, 0);
    }
    WriteLe32(out.data() + 68, 0);  // no palette: the EOF written below carries none
    std::uint32_t handles = ReadLe32(data + 56) & 0xFFFF;
    if (handles == 0) {
        handles = 1;
        out[56] = 1;
        out[57] = 0;
    }

    Cleaner cleaner(handles);
    std::uint32_t records = 1;
    std::size_t at = headerSize;
    while (emf.size() - at >= 8 && records < kMaxRecords) {
        const std::uint32_t type = ReadLe32(data + at), size = ReadLe32(data + at + 4);
        if (size < 8 || size % 4 != 0 || size > emf.size() - at) break;
        if (type == 14) break;  // EOF
        const Record r{data + at, size};
        if (cleaner.Sound(r, type)) {
            out.insert(out.end(), data + at, data + at + size);
            ++records;
        }
        at += size;
    }
    const std::uint8_t eof[20] = {14, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 20, 0, 0, 0};
    out.insert(out.end(), eof, eof + sizeof eof);
    ++records;
    if (out.size() > 0xFFFFFFFFu) return fail();
    WriteLe32(out.data() + 48, static_cast<std::uint32_t>(out.size()));
    WriteLe32(out.data() + 52, records);
    emf = std::move(out);
    return true;
}

bool EmbeddedEmf(const std::vector<std::uint8_t>& wmf, std::vector<std::uint8_t>& emf) {
    // record := size:u32(words) function:u16 ...; the comment: function 0x0626 (escape), escape
    // 15 (comment), byte count:u16, "WMFC", type 1 (EMF), version:u32, checksum:u16, flags:u32,
    // chunks:u32, this chunk's size:u32, bytes left:u32, EMF size:u32, the chunk.
    constexpr std::uint32_t kWmfc = 0x43464D57, kMaxEmbedded = 1u << 28;
    emf.clear();
    std::size_t at = 0;
    if (wmf.size() >= 22 && ReadLe32(wmf.data()) == 0x9AC6CDD7u) at = 22;  // the placeable header
    if (wmf.size() - at < 18) return false;
    at += 18;
    std::uint32_t total = 0;
    while (wmf.size() - at >= 6) {
        const std::uint8_t* p = wmf.data() + at;
        const std::uint64_t size = std::uint64_t(ReadLe32(p)) * 2;
        if (size < 6 || size > wmf.size() - at) break;
        const unsigned function = ReadLe16(p + 4);
        if (function == 0) break;  // EOF
        if (function == 0x0626 && size >= 44 && ReadLe16(p + 6) == 15 && ReadLe32(p + 10) == kWmfc &&
            ReadLe32(p + 14) == 1) {
            const std::uint32_t chunk = ReadLe32(p + 32), whole = ReadLe32(p + 40);
            if (whole < kHeaderSize || whole > kMaxEmbedded || (total != 0 && whole != total)) return false;
            total = whole;
            if (chunk > size - 44 || chunk > total - emf.size()) return false;
            emf.insert(emf.end(), p + 44, p + 44 + chunk);
            if (emf.size() == total) return true;
        }
        at += static_cast<std::size_t>(size);
    }
    emf.clear();
    return false;
}

}  // namespace docengine
