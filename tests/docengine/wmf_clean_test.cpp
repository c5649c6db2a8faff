// Rebuilding Windows metafiles from their sound records.
#include "metafile_clean.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace docengine {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
std::uint32_t Get16(const Bytes& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
std::uint32_t Get32(const Bytes& b, std::size_t at) { return Get16(b, at) | Get16(b, at + 2) << 16; }

// A record of `function` with parameters given as 16-bit words.
Bytes Record(std::uint16_t function, const std::vector<std::uint16_t>& words) {
    Bytes r;
    Put16(r, static_cast<std::uint32_t>(3 + words.size()));
    Put16(r, 0);
    Put16(r, function);
    for (std::uint16_t w : words) Put16(r, w);
    return r;
}

// A metafile of `records` and META_EOF, with a header whose counts are right.
Bytes Wmf(std::initializer_list<Bytes> records, std::uint16_t objects = 2) {
    Bytes body;
    std::uint32_t largest = 3;
    for (const Bytes& r : records) {
        body.insert(body.end(), r.begin(), r.end());
        largest = std::max(largest, Get32(r, 0));
    }
    const Bytes eof = Record(0, {});
    body.insert(body.end(), eof.begin(), eof.end());
    const std::uint32_t words = static_cast<std::uint32_t>(9 + body.size() / 2);
    Bytes wmf;
    for (std::uint32_t v : {1u, 9u, 0x0300u, words & 0xFFFF, words >> 16, std::uint32_t{objects},
                            largest & 0xFFFF, largest >> 16, 0u})
        Put16(wmf, v);
    wmf.insert(wmf.end(), body.begin(), body.end());
    return wmf;
}

const Bytes kPen = Record(0x02FA, {0, 1, 0, 0, 0});
const Bytes kPolygon = Record(0x0324, {3, 0, 0, 10, 0, 10, 10});
const Bytes kLine = Record(0x0213, {5, 5});

// A 2x2 24-bit STRETCHDIB: rop, usage, 8 coordinates, 40-byte header, rows of 8 bytes.
Bytes StretchDib(std::uint16_t compression, int rows_stored) {
    std::vector<std::uint16_t> words = {0x0020, 0x00CC, 0, 2, 2, 0, 0, 2, 2, 0, 0,
                                        40, 0, 2, 0, 2, 0, 1, 24, compression, 0};
    words.resize(words.size() + 10, 0);  // the rest of the header
    words.resize(words.size() + 4 * rows_stored, 0x7F7F);
    return Record(0x0F43, words);
}

// Walks the records of a cleaned metafile: each must lie within it, and META_EOF end it.
void ExpectWalkable(const Bytes& wmf) {
    ASSERT_GE(wmf.size(), 24u);
    EXPECT_EQ(Get32(wmf, 6) * 2, wmf.size());
    std::size_t at = 18;
    while (Get16(wmf, at + 4) != 0) {
        ASSERT_GE(Get32(wmf, at), 3u);
        at += Get32(wmf, at) * 2;
        ASSERT_LE(at + 6, wmf.size());
    }
    EXPECT_EQ(at + 6, wmf.size());
}

TEST(WmfClean, SoundMetafileComesOutUnchanged) {
    Bytes text_out = Record(0x0A32, {10, 20, 3, 0x0004, 0, 0, 50, 50, 'a' | 'b' << 8, 'c', 7, 7, 7});
    const Bytes sound = Wmf({Record(0x020C, {100, 100}), kPen, Record(0x012D, {0}), kPolygon, text_out,
                             StretchDib(0, 2), Record(0x01F0, {0}), kLine});
    Bytes wmf = sound;
    EXPECT_TRUE(CleanWmf(wmf));
    EXPECT_EQ(wmf, sound);

    Bytes placeable = {0xD7, 0xCD, 0xC6, 0x9A};
    placeable.resize(22, 1);
    placeable.insert(placeable.end(), sound.begin(), sound.end());
    wmf = placeable;
    EXPECT_TRUE(CleanWmf(wmf));
    EXPECT_EQ(wmf, placeable);
}

TEST(WmfClean, UnsoundRecordsAreLeftOutAndTheirNeighboursKept) {
    const Bytes long_polygon = Record(0x0324, {4, 0, 0, 10, 0, 10, 10});
    const Bytes short_dx = Record(0x0A32, {10, 20, 3, 0, 'a' | 'b' << 8, 'c', 7});
    Bytes wmf = Wmf({kLine, long_polygon, StretchDib(0, 1), StretchDib(1, 2), short_dx, kLine});
    EXPECT_TRUE(CleanWmf(wmf));
    EXPECT_EQ(wmf, Wmf({kLine, Record(0x0A32, {10, 20, 3, 0, 'a' | 'b' << 8, 'c'}), kLine}));
}

TEST(WmfClean, ObjectNumbersStayWithinTheTable) {
    const Bytes select0 = Record(0x012D, {0}), select1 = Record(0x012D, {1});
    const Bytes pointer_brush = Record(0x02FC, {6, 0, 0, 0});  // BS_DIBPATTERNPT
    const Bytes hollow = Record(0x02FC, {1, 0, 0, 0});
    // Past the table, an empty slot, a full table, and a brush left out that keeps its slot.
    Bytes wmf = Wmf({Record(0x012D, {2}), select1, pointer_brush, kPen, kPen, select0, select1,
                     Record(0x01F0, {0}), Record(0x01F0, {0}), kPen, select0});
    EXPECT_TRUE(CleanWmf(wmf));
    EXPECT_EQ(wmf, Wmf({hollow, kPen, select1, Record(0x01F0, {0}), kPen, select0}));
}

TEST(WmfClean, RecordsEndAtOneRunningPastTheDataOrAtEof) {
    Bytes wmf = Wmf({kLine, kPolygon});
    wmf.resize(wmf.size() - 8);  // into the polygon, with META_EOF gone
    EXPECT_TRUE(CleanWmf(wmf));
    EXPECT_EQ(wmf, Wmf({kLine}));

    wmf.insert(wmf.end(), kPolygon.begin(), kPolygon.end());  // after META_EOF: not played
    EXPECT_TRUE(CleanWmf(wmf));
    EXPECT_EQ(wmf, Wmf({kLine}));
}

TEST(WmfClean, UnsoundHeaderIsRefused) {
    const std::pair<int, int> fields[] = {{0, 3}, {2, 8}, {4, 0x0200}};  // type, header size, version
    for (auto [at, value] : fields) {
        Bytes wmf = Wmf({kLine});
        wmf[at] = static_cast<std::uint8_t>(value);
        wmf[at + 1] = static_cast<std::uint8_t>(value >> 8);
        EXPECT_FALSE(CleanWmf(wmf));
        EXPECT_TRUE(wmf.empty());
    }
    Bytes short_header = Wmf({});
    short_header.resize(17);
    EXPECT_FALSE(CleanWmf(short_header));
}

TEST(WmfClean, EveryTruncationGivesWalkableRecords) {
    const Bytes sound = Wmf({kPen, Record(0x012D, {0}), kPolygon, StretchDib(0, 2),
                             Record(0x0A32, {1, 2, 1, 2, 0, 0, 5, 5, 'x', 4}), kLine});
    for (std::size_t n = 0; n <= sound.size(); ++n) {
        Bytes wmf(sound.begin(), sound.begin() + n);
        if (!CleanWmf(wmf)) {
            EXPECT_TRUE(wmf.empty());
            continue;
        }
        ExpectWalkable(wmf);
        Bytes again = wmf;  // what comes out is sound as it stands
        EXPECT_TRUE(CleanWmf(again));
        EXPECT_EQ(again, wmf);
    }
}

}  // namespace
}  // namespace docengine
