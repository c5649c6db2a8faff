// Enhanced metafiles rebuilt from their sound records: a sound one passes as it is; each kind
// of damage that made the platform's player read or write out of bounds is left out, and what
// comes out is always a well-formed chain of records.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "metafile_clean.h"

namespace docengine {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t At(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

// A record of `type` with the 32-bit fields `fields` after its type and size.
Bytes Rec(std::uint32_t type, std::initializer_list<std::uint32_t> fields) {
    Bytes r;
    Put(r, type);
    Put(r, static_cast<std::uint32_t>(8 + 4 * fields.size()));
    for (std::uint32_t f : fields) Put(r, f);
    return r;
}

// A metafile of `records` with a table of 3 objects, its counts as they should be.
Bytes Emf(const std::vector<Bytes>& records) {
    Bytes e;
    Put(e, 1);
    Put(e, 88);
    for (int i = 0; i < 8; ++i) Put(e, i < 2 ? 0 : 100);  // bounds and frame
    Put(e, 0x464D4520);
    Put(e, 0x10000);
    Put(e, 0);  // bytes, set below
    Put(e, static_cast<std::uint32_t>(records.size() + 2));
    Put(e, 3);  // objects
    for (int i = 0; i < 7; ++i) Put(e, 0);
    for (const Bytes& r : records) e.insert(e.end(), r.begin(), r.end());
    const Bytes eof = Rec(14, {0, 16, 20});
    e.insert(e.end(), eof.begin(), eof.end());
    const Bytes size = [&] { Bytes s; Put(s, static_cast<std::uint32_t>(e.size())); return s; }();
    std::copy(size.begin(), size.end(), e.begin() + 48);
    return e;
}

// The types of a metafile's records after the header, checking that they chain to its end.
std::vector<std::uint32_t> Types(const Bytes& e) {
    std::vector<std::uint32_t> types;
    std::size_t at = At(e, 4);
    while (at < e.size()) {
        EXPECT_LE(8u, e.size() - at);
        const std::uint32_t size = At(e, at + 4);
        EXPECT_TRUE(size >= 8 && size % 4 == 0 && size <= e.size() - at) << "record at " << at;
        if (size < 8 || size > e.size() - at) break;
        types.push_back(At(e, at));
        at += size;
    }
    EXPECT_EQ(At(e, 48), e.size());
    EXPECT_EQ(At(e, 52), types.size() + 1);
    EXPECT_FALSE(types.empty());
    if (!types.empty()) {
        EXPECT_EQ(types.back(), 14u);
    }
    return types;
}

const Bytes kBrush = Rec(39, {1, 0, 0x0000FF, 0});  // solid red into slot 1
const Bytes kSelect = Rec(37, {1});
const Bytes kTriangle = Rec(86, {0, 0, 10, 10, 3, 0x00000000, 0x000A000A, 0x0000000A});  // POLYGON16

TEST(EmfClean, SoundMetafilePassesUnchanged) {
    const Bytes sound = Emf({Rec(17, {8}), kBrush, kSelect, kTriangle, Rec(37, {0x80000000 | 5}), Rec(40, {1})});
    Bytes cleaned = sound;
    ASSERT_TRUE(CleanEmf(cleaned));
    EXPECT_EQ(cleaned, sound);
}

TEST(EmfClean, DamagedRecordsAreLeftOutAndTheRestKept) {
    Bytes runsOver = kTriangle;
    runsOver[24] = 4;  // four points in room for three
    Bytes text = Rec(84, std::initializer_list<std::uint32_t>{0, 0, 0, 0, 1, 0, 0, 0, 0, 200, 76, 0, 0, 0, 0, 0, 0, 80});
    const Bytes dib = Rec(81, {0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 80, 40, 120, 16, 0, 0xCC0020, 4, 4,
                               40, 4, 4, 0x00200001, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // 4x4, 32 bpp: 64 bytes of rows, 16 given
    const Bytes e = Emf({kBrush,
                         runsOver,
                         Rec(37, {7}),               // past the table of 3
                         Rec(40, {0x80000000 | 1}),  // deleting a stock object
                         Rec(39, {1, 3, 0, 0}),      // a pattern brush: names memory
                         text,                       // 200 characters in a short record
                         dib,
                         Rec(31, {1, 0, 1, 1}),  // a scale by 1/0
                         Rec(1234, {}),          // a kind not known
                         kSelect, kTriangle});
    Bytes cleaned = e;
    ASSERT_TRUE(CleanEmf(cleaned));
    EXPECT_EQ(Types(cleaned), (std::vector<std::uint32_t>{39, 37, 86, 14}));
}

TEST(EmfClean, UnsoundFramesAreRefusedAndNoCutLeavesABrokenChain) {
    Bytes notEmf = Emf({kTriangle});
    notEmf[40] ^= 1;  // the signature
    EXPECT_FALSE(CleanEmf(notEmf));
    EXPECT_TRUE(notEmf.empty());

    // A record whose size runs past the end ends the metafile there.
    Bytes cut = Emf({kBrush, kSelect, kTriangle});
    cut[88 + 24 + 12 + 4] = 200;
    ASSERT_TRUE(CleanEmf(cut));
    EXPECT_EQ(Types(cut), (std::vector<std::uint32_t>{39, 37, 14}));

    const Bytes sound = Emf({kBrush, kSelect, kTriangle});
    for (std::size_t n = 0; n < sound.size(); ++n) {
        Bytes part(sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(n));
        if (CleanEmf(part)) {
            Types(part);
        } else {
            EXPECT_LT(n, 88u);
        }
    }
}

// A WMF carrying `emf` in comment records of at most `chunk` bytes, the last `drop` left out.
Bytes WmfCarrying(const Bytes& emf, std::size_t chunk, std::size_t drop = 0) {
    Bytes w = {1, 0, 9, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // sizes are not read here
    const std::size_t chunks = (emf.size() + chunk - 1) / chunk;
    for (std::size_t i = 0, left = emf.size(); i + drop < chunks; ++i) {
        const std::size_t n = std::min(chunk, left);
        Bytes r;
        Put(r, static_cast<std::uint32_t>((44 + n + 1) / 2));
        for (std::uint8_t b : {0x26, 0x06, 0x0F, 0x00}) r.push_back(b);
        r.push_back(static_cast<std::uint8_t>((34 + n) & 0xFF));
        r.push_back(static_cast<std::uint8_t>((34 + n) >> 8));
        Put(r, 0x43464D57);
        Put(r, 1);
        Put(r, 0x10000);
        r.push_back(0);
        r.push_back(0);
        for (std::uint32_t v : {0u, static_cast<std::uint32_t>(chunks), static_cast<std::uint32_t>(n),
                                static_cast<std::uint32_t>(left - n), static_cast<std::uint32_t>(emf.size())})
            Put(r, v);
        const std::size_t from = emf.size() - left;
        r.insert(r.end(), emf.begin() + static_cast<std::ptrdiff_t>(from), emf.begin() + static_cast<std::ptrdiff_t>(from + n));
        if (r.size() % 2) r.push_back(0);
        w.insert(w.end(), r.begin(), r.end());
        left -= n;
    }
    for (std::uint8_t b : {3, 0, 0, 0, 0, 0}) w.push_back(b);
    return w;
}

TEST(EmfClean, TheEmfAWmfCarriesIsTakenWholeOrNotAtAll) {
    const Bytes emf = Emf({kBrush, kSelect, kTriangle});
    Bytes found;
    ASSERT_TRUE(EmbeddedEmf(WmfCarrying(emf, 50), found));
    EXPECT_EQ(found, emf);
    EXPECT_FALSE(EmbeddedEmf(WmfCarrying(emf, 50, 1), found));  // its last chunk missing
    EXPECT_TRUE(found.empty());
    Bytes plain = WmfCarrying(emf, 50, 99);  // no comments at all
    EXPECT_FALSE(EmbeddedEmf(plain, found));
}

}  // namespace
}  // namespace docengine
