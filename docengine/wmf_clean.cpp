// Rebuilding a Windows metafile from its sound records (see metafile_clean.h).
//
// The metafile is walked record by record and written out again with only the records whose
// kind is known and whose parameters are all there and make sense; the header's size fields
// are recomputed for what is written. Object numbers are followed through a simulation of the
// player's object table, so that no record names a slot that is out of the table or empty.
#include "metafile_clean.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>

#include "little_endian.h"

namespace docengine {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22;
constexpr std::size_t kHeaderSize = 18;       // METAHEADER
constexpr std::size_t kRecordHeaderSize = 6;  // size in words, then function

// Record functions.
enum : std::uint16_t {
    kEof = 0x0000,
    kSetBkColor = 0x0201, kSetBkMode = 0x0102, kSetMapMode = 0x0103, kSetRop2 = 0x0104,
    kSetPolyFillMode = 0x0106, kSetStretchBltMode = 0x0107, kSetTextCharExtra = 0x0108,
    kSetTextColor = 0x0209, kSetTextJustification = 0x020A, kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C, kSetViewportOrg = 0x020D, kSetViewportExt = 0x020E,
    kOffsetWindowOrg = 0x020F, kScaleWindowExt = 0x0410, kOffsetViewportOrg = 0x0211,
    kScaleViewportExt = 0x0412, kLineTo = 0x0213, kMoveTo = 0x0214, kExcludeClipRect = 0x0415,
    kIntersectClipRect = 0x0416, kArc = 0x0817, kEllipse = 0x0418, kFloodFill = 0x0419,
    kPie = 0x081A, kRectangle = 0x041B, kRoundRect = 0x061C, kPatBlt = 0x061D, kSaveDc = 0x001E,
    kSetPixel = 0x041F, kOffsetClipRgn = 0x0220, kTextOut = 0x0521, kPolygon = 0x0324,
    kPolyline = 0x0325, kRestoreDc = 0x0127, kSelectObject = 0x012D, kSetTextAlign = 0x012E,
    kChord = 0x0830, kSetMapperFlags = 0x0231, kExtTextOut = 0x0A32, kSetDibToDev = 0x0D33,
    kSelectPalette = 0x0234, kRealizePalette = 0x0035, kSetPalEntries = 0x0037,
    kPolyPolygon = 0x0538, kExtFloodFill = 0x0548, kDeleteObject = 0x01F0,
    kCreatePalette = 0x00F7, kCreatePatternBrush = 0x01F9, kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB, kCreateBrushIndirect = 0x02FC, kCreateRegion = 0x06FF,
    kDibCreatePatternBrush = 0x0142, kDibBitBlt = 0x0940, kDibStretchBlt = 0x0B41,
    kStretchDib = 0x0F43, kSetLayout = 0x0149,
};

constexpr std::uint16_t kEtoOpaque = 0x0002, kEtoClipped = 0x0004, kEtoPdy = 0x2000;
constexpr std::uint16_t kBsSolid = 0, kBsNull = 1, kBsHatched = 2, kBsPattern = 3;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Little-endian reads from a run of bytes; every read checks its length against what is left.
class Reader {
public:
    explicit Reader(Bytes bytes) : bytes_(bytes) {}
    std::size_t Remaining() const { return bytes_.size() - pos_; }
    bool Skip(std::uint64_t n) {
        if (n > Remaining()) return false;
        pos_ += static_cast<std::size_t>(n);
        return true;
    }
    bool Take(std::uint64_t n, Bytes& taken) {
        if (n > Remaining()) return false;
        taken = bytes_.subspan(pos_, static_cast<std::size_t>(n));
        pos_ += taken.size();
        return true;
    }
    bool U16(std::uint16_t& v) {
        if (2 > Remaining()) return false;
        v = static_cast<std::uint16_t>(ReadLe16(&bytes_[pos_]));
        pos_ += 2;
        return true;
    }
    bool I16(std::int16_t& v) {
        std::uint16_t u;
        if (!U16(u)) return false;
        v = static_cast<std::int16_t>(u);
        return true;
    }
    bool U32(std::uint32_t& v) {
        if (4 > Remaining()) return false;
        v = ReadLe32(&bytes_[pos_]);
        pos_ += 4;
        return true;
    }
    bool I32(std::int32_t& v) {
        std::uint32_t u;
        if (!U32(u)) return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }

private:
    Bytes bytes_;
    std::size_t pos_ = 0;
};

enum class Verdict { kDrop, kKeep, kRewrite };  // kRewrite: keep, with the parameters given

Verdict KeepIf(bool sound) { return sound ? Verdict::kKeep : Verdict::kDrop; }

// Whether the first parameter word lies in [lo, hi]: mode numbers outside their range are
// not for the player to index its tables with.
Verdict ModeIn(Bytes params, std::uint16_t lo, std::uint16_t hi) {
    Reader r(params);
    std::uint16_t v;
    return KeepIf(r.U16(v) && v >= lo && v <= hi);
}

// Whether the first `n` parameter words are all non-zero: extents and scale factors, which
// the player divides by.
Verdict NonZero(Bytes params, int n) {
    Reader r(params);
    for (int i = 0; i < n; ++i) {
        std::uint16_t v;
        if (!r.U16(v) || v == 0) return Verdict::kDrop;
    }
    return Verdict::kKeep;
}

// Whether `r` holds `count` (a 16-bit count that must not be negative) points.
bool Points(Reader& r, std::int16_t count) { return count >= 0 && r.Skip(std::uint64_t(count) * 4); }

// Whether `r` starts with a packed DIB (header, colour table, pixels) that is complete and of
// a kind the player draws: uncompressed or bit fields, at most 1 << 26 pixels. `palette_indices`
// is for DIB_PAL_COLORS, whose colour table holds 16-bit indices. At least `least_table` bytes
// must follow the header before the pixels. `rows` receives the height.
bool SoundDib(Reader r, bool palette_indices, std::uint64_t least_table = 0, std::uint64_t* rows = nullptr) {
    std::uint32_t header_size;
    if (!Reader(r).U32(header_size)) return false;
    std::uint64_t width, height;
    std::uint16_t planes, bits;
    std::uint32_t compression = 0, used = 0, image_size = 0;
    std::uint64_t entry_size;
    if (header_size == 12) {  // BITMAPCOREHEADER, with 3-byte colours
        std::uint16_t w, h;
        if (!r.Skip(4) || !r.U16(w) || !r.U16(h) || !r.U16(planes) || !r.U16(bits)) return false;
        width = w;
        height = h;
        entry_size = palette_indices ? 2 : 3;
    } else if (header_size >= 40) {  // BITMAPINFOHEADER or one of its longer versions
        std::int32_t w, h;
        if (!r.Skip(4) || !r.I32(w) || !r.I32(h) || !r.U16(planes) || !r.U16(bits) || !r.U32(compression) ||
            !r.U32(image_size) || !r.Skip(8) || !r.U32(used) || !r.Skip(header_size - 36))
            return false;
        if (w <= 0) return false;
        width = static_cast<std::uint64_t>(w);
        height = static_cast<std::uint64_t>(h < 0 ? -std::int64_t{h} : std::int64_t{h});
        entry_size = palette_indices ? 2 : 4;
    } else {
        return false;
    }
    if (width == 0 || height == 0 || width * height > (std::uint64_t{1} << 26) || planes != 1) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    // BI_RGB, or BI_BITFIELDS (16 and 32 bits only). The three masks are counted after the header
    // whatever its length, so that a player that looks for them there stays within the record.
    std::uint64_t table = 0;
    if (compression == 3) {
        if (bits != 16 && bits != 32) return false;
        table = 12;
    } else if (compression != 0) {
        return false;
    }
    // Colour tables longer than 256 entries overrun the tables players copy them into.
    if (bits <= 8) {
        if (used > (1u << bits)) return false;
        table += (used ? used : 1u << bits) * entry_size;
    } else {
        if (used > 256) return false;
        table += used * entry_size;
    }
    // The rows, 4-byte aligned; or biSizeImage bytes if that is more, as players copying the
    // bitmap take that many.
    const std::uint64_t pixels = (width * bits + 31) / 32 * 4 * height;
    if (rows) *rows = height;
    return r.Skip(std::max(table, least_table)) && r.Skip(std::max<std::uint64_t>(pixels, image_size));
}

// DIB_RGB_COLORS (0) or DIB_PAL_COLORS (1); any other colour usage is dropped.
std::optional<bool> PaletteIndices(std::uint16_t usage) {
    if (usage > 1) return std::nullopt;
    return usage == 1;
}

// EXTTEXTOUT: y, x, count, options, a rectangle when the options call for one, the string
// padded to even length, then a 16-bit advance per character or none. An advance array cut
// short is cut off; ETO_PDY (advances in pairs) is cleared, as the record holds one each.
Verdict ExtTextOut(Bytes params, std::vector<std::uint8_t>& rewritten) {
    Reader r(params);
    std::int16_t y, x, count;
    std::uint16_t options;
    if (!r.I16(y) || !r.I16(x) || !r.I16(count) || !r.U16(options) || count < 0) return Verdict::kDrop;
    if ((options & (kEtoOpaque | kEtoClipped)) && !r.Skip(8)) return Verdict::kDrop;
    if (!r.Skip(std::uint64_t(count) + (count & 1))) return Verdict::kDrop;
    const std::size_t rest = r.Remaining();
    const bool whole = rest == 0 || rest >= std::size_t(count) * 2;
    if (whole && !(options & kEtoPdy)) return Verdict::kKeep;
    rewritten.assign(params.begin(), params.end() - (whole ? 0 : rest));
    options &= ~kEtoPdy;
    rewritten[6] = static_cast<std::uint8_t>(options);
    rewritten[7] = static_cast<std::uint8_t>(options >> 8);
    return Verdict::kRewrite;
}

// CREATEFONTINDIRECT: 18 bytes of font fields, then the face name, which players copy up to
// 32 bytes or its terminating zero. A face name without a zero in its 32 bytes, or shorter
// than 32, is rewritten as 32 bytes that end in zeros.
Verdict FontIndirect(Bytes params, std::vector<std::uint8_t>& rewritten) {
    constexpr std::size_t kFixed = 18, kFace = 32;
    if (params.size() < kFixed) return Verdict::kDrop;
    const Bytes face = params.subspan(kFixed);
    const auto name_end = std::find(face.begin(), face.begin() + std::min(face.size(), kFace), 0);
    if (face.size() >= kFace && name_end != face.begin() + kFace) return Verdict::kKeep;
    rewritten.assign(params.begin(), params.begin() + kFixed);
    rewritten.insert(rewritten.end(), face.begin(), std::min(name_end, face.begin() + (kFace - 1)));
    rewritten.resize(kFixed + kFace, 0);
    return Verdict::kRewrite;
}

// Whether the record's parameters are all there and consistent. Object numbers are the
// object table's business (Rebuilder), not checked here.
Verdict Check(std::uint16_t function, Bytes params, std::vector<std::uint8_t>& rewritten) {
    Reader r(params);
    const std::size_t n = params.size();
    switch (function) {
        case kSaveDc: case kRealizePalette:
            return Verdict::kKeep;
        case kSetTextCharExtra: case kRestoreDc: case kSelectObject: case kSetTextAlign:
        case kSelectPalette: case kDeleteObject:
            return KeepIf(n >= 2);
        case kSetBkColor: case kSetTextColor: case kSetTextJustification: case kSetWindowOrg:
        case kSetViewportOrg: case kOffsetWindowOrg: case kOffsetViewportOrg: case kLineTo:
        case kMoveTo: case kOffsetClipRgn: case kSetMapperFlags:
            return KeepIf(n >= 4);
        case kExcludeClipRect: case kIntersectClipRect: case kEllipse: case kRectangle:
        case kSetPixel: case kFloodFill:
            return KeepIf(n >= 8);
        case kRoundRect: case kPatBlt:
            return KeepIf(n >= 12);
        case kArc: case kPie: case kChord:
            return KeepIf(n >= 16);
        case kSetBkMode: return ModeIn(params, 1, 2);          // TRANSPARENT, OPAQUE
        case kSetMapMode: return ModeIn(params, 1, 8);         // MM_TEXT .. MM_ANISOTROPIC
        case kSetRop2: return ModeIn(params, 1, 16);           // R2_BLACK .. R2_WHITE
        case kSetPolyFillMode: return ModeIn(params, 1, 2);    // ALTERNATE, WINDING
        case kSetStretchBltMode: return ModeIn(params, 1, 4);  // BLACKONWHITE .. HALFTONE
        case kSetLayout: {                                     // LAYOUT_RTL, ..._BITMAPORIENTATIONPRESERVED
            std::uint16_t layout;
            return KeepIf(r.U16(layout) && (layout & ~0x0009) == 0);
        }
        case kExtFloodFill: {  // mode, colour, y, x
            std::uint16_t mode;
            return KeepIf(n >= 10 && r.U16(mode) && mode <= 1);
        }
        case kSetWindowExt: case kSetViewportExt:
            return NonZero(params, 2);
        case kScaleWindowExt: case kScaleViewportExt:
            return NonZero(params, 4);
        case kTextOut: {  // count, string padded to even length, y, x
            std::int16_t count;
            return KeepIf(r.I16(count) && count >= 0 && r.Skip(std::uint64_t(count) + (count & 1)) && r.Skip(4));
        }
        case kPolygon: case kPolyline: {
            std::int16_t count;
            return KeepIf(r.I16(count) && Points(r, count));
        }
        case kPolyPolygon: {  // polygon count, a point count each, then all the points
            std::int16_t polygons;
            if (!r.I16(polygons) || polygons < 0) return Verdict::kDrop;
            std::uint64_t total = 0;
            for (int i = 0; i < polygons; ++i) {
                std::int16_t count;
                if (!r.I16(count) || count < 0) return Verdict::kDrop;
                total += static_cast<std::uint64_t>(count);
            }
            return KeepIf(r.Skip(total * 4));
        }
        case kExtTextOut:
            return ExtTextOut(params, rewritten);
        case kCreatePalette: case kSetPalEntries: {  // version or first index, count, 4 bytes each
            std::uint16_t first, count;
            return KeepIf(r.U16(first) && r.U16(count) && (count > 0 || function == kSetPalEntries) &&
                          r.Skip(std::uint64_t(count) * 4));
        }
        case kCreatePenIndirect: {  // style, width (x, y), colour
            std::uint16_t style;
            return KeepIf(n >= 10 && r.U16(style) && (style & 0x000F) <= 6 && (style & 0x00F0) == 0 &&
                          (style & 0x0F00) <= 0x0200 && (style & 0xF000) <= 0x2000);
        }
        case kCreateBrushIndirect: {  // style, colour, hatch
            // Other styles take the hatch word for a bitmap handle or a pointer.
            std::uint16_t style, hatch;
            std::uint32_t colour;
            if (!r.U16(style) || !r.U32(colour) || !r.U16(hatch)) return Verdict::kDrop;
            return KeepIf(style == kBsSolid || style == kBsNull || (style == kBsHatched && hatch <= 5));
        }
        case kCreateFontIndirect:
            return FontIndirect(params, rewritten);
        case kDibCreatePatternBrush: {  // style, colour usage, DIB
            // A BS_PATTERN brush is taken as a bitmap whose bits some players look for two
            // colours after the header, whatever the header says; the colour usage is ignored.
            std::uint16_t style, usage;
            if (!r.U16(style) || !r.U16(usage)) return Verdict::kDrop;
            if (style == kBsPattern) return KeepIf(SoundDib(r, false, 8));
            const auto indices = PaletteIndices(usage);
            return KeepIf(indices && SoundDib(r, *indices));
        }
        case kDibBitBlt: case kDibStretchBlt: {
            // Without a bitmap the record is its fixed fields and one reserved word.
            const std::size_t fixed = function == kDibBitBlt ? 16 : 20;
            if (n == fixed + 2) return Verdict::kKeep;
            return KeepIf(r.Skip(fixed) && SoundDib(r, false));
        }
        case kStretchDib: {  // raster operation, colour usage, 8 coordinates, DIB
            std::uint32_t rop;
            std::uint16_t usage;
            if (!r.U32(rop) || !r.U16(usage) || !r.Skip(16)) return Verdict::kDrop;
            const auto indices = PaletteIndices(usage);
            return KeepIf(indices && SoundDib(r, *indices));
        }
        case kSetDibToDev: {  // colour usage, scan count, first scan, 6 coordinates, DIB
            std::uint16_t usage, scans, first;
            if (!r.U16(usage) || !r.U16(scans) || !r.U16(first) || !r.Skip(12)) return Verdict::kDrop;
            const auto indices = PaletteIndices(usage);
            std::uint64_t rows = 0;
            return KeepIf(indices && SoundDib(r, *indices, 0, &rows) && scans <= rows);
        }
        default:  // unknown kinds, and escapes, regions and SETRELABS, which are left out
            return Verdict::kDrop;
    }
}

// What a record creates in the object table, if it creates anything. A region or a pattern
// brush from an old-style bitmap is not kept, but still takes its slot (see Rebuilder::Add).
enum class Slot : std::uint8_t { kFree, kObject, kPalette, kStandIn };

std::optional<Slot> Creates(std::uint16_t function) {
    switch (function) {
        case kCreatePenIndirect: case kCreateBrushIndirect: case kCreateFontIndirect:
        case kDibCreatePatternBrush: case kCreatePatternBrush: case kCreateRegion:
            return Slot::kObject;
        case kCreatePalette:
            return Slot::kPalette;
        default:
            return std::nullopt;
    }
}

// Writes the records that are kept after the header already in `out`, following the object
// table as the player fills it: each object goes into the lowest free slot.
class Rebuilder {
public:
    Rebuilder(std::vector<std::uint8_t>& out, std::uint16_t slots) : out_(out), slots_(slots, Slot::kFree) {}

    void Add(std::uint16_t function, Bytes params) {
        const Verdict verdict = Check(function, params, rewritten_);
        const Bytes kept = verdict == Verdict::kRewrite ? Bytes(rewritten_) : params;
        if (const auto created = Creates(function)) {
            const auto free = std::find(slots_.begin(), slots_.end(), Slot::kFree);
            if (free == slots_.end()) return;  // the player would have nowhere to put it
            if (verdict == Verdict::kDrop) {
                // An object left out is stood in for by a hollow brush in its slot, so that
                // the objects after it keep their numbers; records selecting it are left out.
                static constexpr std::uint8_t kHollowBrush[8] = {kBsNull, 0, 0, 0, 0, 0, 0, 0};
                Emit(kCreateBrushIndirect, kHollowBrush);
                *free = Slot::kStandIn;
            } else {
                Emit(function, kept);
                *free = *created;
            }
            return;
        }
        if (verdict == Verdict::kDrop) return;
        if (function == kSelectObject || function == kSelectPalette || function == kDeleteObject) {
            const std::uint32_t index = ReadLe16(kept.data());
            if (index >= slots_.size()) return;
            Slot& slot = slots_[index];
            if (function == kDeleteObject) {
                if (slot == Slot::kFree) return;
                slot = Slot::kFree;
            } else if (slot != (function == kSelectPalette ? Slot::kPalette : Slot::kObject)) {
                return;
            }
        }
        Emit(function, kept);
    }

    // Ends the records with META_EOF and sets the header's size and largest record.
    void Finish(std::size_t header_at) {
        Emit(kEof, {});
        WriteLe32(out_.data() + header_at + 6, static_cast<std::uint32_t>((out_.size() - header_at) / 2));
        WriteLe32(out_.data() + header_at + 12, largest_);
    }

private:
    void Emit(std::uint16_t function, Bytes params) {
        const auto words = static_cast<std::uint32_t>((kRecordHeaderSize + params.size()) / 2);
        Put32(out_, words);
        Put16(out_, function);
        out_.insert(out_.end(), params.begin(), params.end());
        largest_ = std::max(largest_, words);
    }

    std::vector<std::uint8_t>& out_;
    std::vector<Slot> slots_;
    std::vector<std::uint8_t> rewritten_;
    std::uint32_t largest_ = 0;
};

}  // namespace

bool CleanWmf(std::vector<std::uint8_t>& wmf) {
    const Bytes in(wmf);
    Reader r(in);
    std::uint32_t key = 0;
    const bool placeable = Reader(in).U32(key) && key == kPlaceableKey;
    const std::size_t header_at = placeable ? kPlaceableSize : 0;
    std::uint16_t type, header_words, version, objects, parameters;
    std::uint32_t size, largest;
    if (!r.Skip(header_at) || !r.U16(type) || !r.U16(header_words) || !r.U16(version) || !r.U32(size) ||
        !r.U16(objects) || !r.U32(largest) || !r.U16(parameters) || (type != 1 && type != 2) ||
        header_words != kHeaderSize / 2 || (version != 0x0100 && version != 0x0300)) {
        wmf.clear();
        return false;
    }

    std::vector<std::uint8_t> out(in.begin(), in.begin() + header_at + kHeaderSize);
    out.reserve(in.size() + kRecordHeaderSize);
    Rebuilder rebuilder(out, objects);
    // The walk ends at META_EOF, or at a record that is too short or runs past the data.
    while (r.Remaining() >= kRecordHeaderSize) {
        std::uint32_t words = 0;
        std::uint16_t function = kEof;
        Bytes params;
        if (!r.U32(words) || !r.U16(function) || words < kRecordHeaderSize / 2 ||
            !r.Take(std::uint64_t{words} * 2 - kRecordHeaderSize, params) || function == kEof)
            break;
        rebuilder.Add(function, params);
    }
    rebuilder.Finish(header_at);
    wmf.swap(out);
    return true;
}

}  // namespace docengine
