// Package let: the loader's refusals, their order, and that a refused or
// failed load changes nothing but the error number.
#include "test_support.h"

namespace sorbel::test {
namespace {

const Bytes kWorkedExample = B({0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x17, 0x00, 0x01, 0x00, 0x00,
                                0x00, 0x01, 0x54, 0x01, 0x00, 0x00, 0x00, 0x02, 0x6B, 0x01, 0x02});

// A header with the given fields followed by `body`; the size field is the
// real length unless `size` is given.
Bytes MakePackage(int categoryLength, int titleLength, std::int32_t count, const Bytes& body, int extraSize = 0) {
    Bytes p = LongToBytes(1000);
    const Bytes size = LongToBytes(static_cast<std::int32_t>(14 + body.size()) + extraSize);
    p.insert(p.end(), size.begin(), size.end());
    p.push_back(static_cast<std::uint8_t>(categoryLength));
    p.push_back(static_cast<std::uint8_t>(titleLength));
    const Bytes n = LongToBytes(count);
    p.insert(p.end(), n.begin(), n.end());
    p.insert(p.end(), body.begin(), body.end());
    return p;
}

void SetSizeField(Bytes& package) {
    const Bytes size = LongToBytes(static_cast<std::int32_t>(package.size()));
    std::copy(size.begin(), size.end(), package.begin() + 4);
}

// Each test loads into an object that already holds something, after a
// refusal, so that "nothing changed" and "error number written" are visible.
class PackageLoadTest : public ::testing::Test {
protected:
    ckxDataPak pak;

    void SetUp() override {
        pak.Title(u"old title");
        pak.Category(u"old category");
        pak.Append(u"old", u"data");
        pak.AppendB(u"old2", B({0, 1}));
        pak.FindKey(u"absent");
    }

    // Loads `package` and expects the refusal `reason` with nothing else changed.
    void ExpectRefused(ByteSpan package, ckxDataPak_ErrorNumber reason) {
        State expected(pak);
        expected.error = reason;
        pak.Package(package);
        EXPECT_EQ(State(pak), expected);
    }
};

TEST_F(PackageLoadTest, WorkedExampleReplacesEverything) {
    pak.Package(kWorkedExample);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.Title(), u"T");
    EXPECT_EQ(pak.Category(), u"");
    ASSERT_EQ(pak.Count(), 1);
    EXPECT_EQ(pak.RecordKey(0), u"k");
    EXPECT_EQ(pak.RecordB(0), B({1, 2}));
    EXPECT_EQ(pak.Records()[0].KeyLength, 1);
    EXPECT_EQ(pak.Records()[0].DataLength, 2);
}

TEST_F(PackageLoadTest, EmptyPackageEmptiesTheObject) {
    pak.Package(MakePackage(0, 0, 0, {}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.Title(), u"");
    EXPECT_EQ(pak.Category(), u"");
    EXPECT_EQ(pak.Count(), 0);
}

TEST_F(PackageLoadTest, TooSmall) {
    ExpectRefused({}, ckxDataPak_errPackageTooSmall);
    ExpectRefused(Bytes{}, ckxDataPak_errPackageTooSmall);
    ExpectRefused(ByteSpan(kWorkedExample).first(13), ckxDataPak_errPackageTooSmall);
}

TEST_F(PackageLoadTest, TypeMustBe1000) {
    Bytes p = kWorkedExample;
    p[3] = 0xE9;
    ExpectRefused(p, ckxDataPak_errPackageTypeInvalid);
}

TEST_F(PackageLoadTest, SizeFieldMustEqualTheLength) {
    Bytes p = kWorkedExample;
    p.push_back(0x00);
    ExpectRefused(p, ckxDataPak_errPackageSizeInvalid);
    // With the size field raised too, the package loads and the extra byte is ignored.
    SetSizeField(p);
    pak.Package(p);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.RecordB(0), B({1, 2}));
    EXPECT_EQ(pak.Count(), 1);
}

// Every prefix of a valid package: below 14 bytes too small; otherwise its
// size field no longer matches; and with the size field mended it runs out
// of bytes before a part it announces.
TEST_F(PackageLoadTest, EveryTruncationIsRefused) {
    ckxDataPak source;
    source.Category(u"Cat");
    source.Title(u"Title");
    source.Append(u"key", u"data");
    source.AppendB(u"", {});
    source.AppendB(u"last", B({0, 255, 7}));
    const Bytes full = source.Package();
    for (std::size_t n = 0; n < full.size(); ++n) {
        SCOPED_TRACE(n);
        Bytes cut(full.begin(), full.begin() + n);
        if (n < 14) {
            ExpectRefused(cut, ckxDataPak_errPackageTooSmall);
            continue;
        }
        ExpectRefused(cut, ckxDataPak_errPackageSizeInvalid);
        SetSizeField(cut);
        ExpectRefused(cut, ckxDataPak_errPackageImcomplete);
    }
    pak.Package(full);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.Records(), source.Records());
}

// One byte of the worked example flipped at a time: each field gives its own
// refusal, and only a change in the data bytes loads.
TEST_F(PackageLoadTest, FlippedByteInEachField) {
    const ckxDataPak_ErrorNumber expected[23] = {
        ckxDataPak_errPackageTypeInvalid, ckxDataPak_errPackageTypeInvalid,   // type
        ckxDataPak_errPackageTypeInvalid, ckxDataPak_errPackageTypeInvalid,
        ckxDataPak_errPackageSizeInvalid, ckxDataPak_errPackageSizeInvalid,   // size
        ckxDataPak_errPackageSizeInvalid, ckxDataPak_errPackageSizeInvalid,
        ckxDataPak_errPackageImcomplete,                                      // category length 255
        ckxDataPak_errPackageImcomplete,                                      // title length 254
        ckxDataPak_errPackageImcomplete, ckxDataPak_errPackageImcomplete,     // count: negative or huge
        ckxDataPak_errPackageImcomplete, ckxDataPak_errPackageImcomplete,
        ckxDataPak_errPackageCorrupt,                                         // title byte
        ckxDataPak_errPackageImcomplete,                                      // key length 254
        ckxDataPak_errPackageImcomplete, ckxDataPak_errPackageImcomplete,     // data length: negative or huge
        ckxDataPak_errPackageImcomplete, ckxDataPak_errPackageImcomplete,
        ckxDataPak_errPackageCorrupt,                                         // key byte
        ckxDataPak_errNoError, ckxDataPak_errNoError,                         // data bytes
    };
    for (std::size_t i = 0; i < kWorkedExample.size(); ++i) {
        SCOPED_TRACE(i);
        Bytes p = kWorkedExample;
        p[i] ^= 0xFF;
        if (expected[i] != ckxDataPak_errNoError) {
            ExpectRefused(p, expected[i]);
            continue;
        }
        ckxDataPak fresh;
        fresh.Package(p);
        EXPECT_EQ(fresh.ErrorNumber(), ckxDataPak_errNoError);
        EXPECT_EQ(fresh.RecordB(0), Bytes(p.begin() + 21, p.end()));
    }
}

TEST_F(PackageLoadTest, CountZeroIgnoresRecordBytes) {
    Bytes p = kWorkedExample;
    p[13] = 0;
    pak.Package(p);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.Title(), u"T");
    EXPECT_EQ(pak.Count(), 0);
}

TEST_F(PackageLoadTest, CountBeyondTheRecordsPresent) {
    Bytes p = kWorkedExample;
    p[13] = 2;
    ExpectRefused(p, ckxDataPak_errPackageImcomplete);
    // A huge count in a small package is refused as incomplete, not as out of memory.
    p[10] = 0x7F;
    p[11] = p[12] = p[13] = 0xFF;
    ExpectRefused(p, ckxDataPak_errPackageImcomplete);
}

TEST_F(PackageLoadTest, CategoryIsTestedBeforeTitle) {
    // Category "\x1F" (not printable), title length 200 running past the end.
    ExpectRefused(MakePackage(1, 200, 0, B({0x1F})), ckxDataPak_errPackageCorrupt);
    ExpectRefused(MakePackage(1, 200, 0, B({'c'})), ckxDataPak_errPackageImcomplete);
    ExpectRefused(MakePackage(2, 0, 0, B({'c'})), ckxDataPak_errPackageImcomplete);
}

TEST_F(PackageLoadTest, TextsAllowOnlyPrintableAscii) {
    for (int bad : {0, 9, 10, 13, 31, 127, 128, 0xE9, 255}) {
        SCOPED_TRACE(bad);
        const std::uint8_t b = static_cast<std::uint8_t>(bad);
        ExpectRefused(MakePackage(2, 0, 0, B({'a', b})), ckxDataPak_errPackageCorrupt);
        ExpectRefused(MakePackage(0, 2, 0, B({b, 'a'})), ckxDataPak_errPackageCorrupt);
        ExpectRefused(MakePackage(0, 0, 1, B({1, 0, 0, 0, 0, b})), ckxDataPak_errPackageCorrupt);
    }
    pak.Package(MakePackage(2, 1, 1, B({' ', '~', 'T', 1, 0, 0, 0, 0, '!'})));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.Category(), u" ~");
    EXPECT_EQ(pak.RecordKey(0), u"!");
}

TEST_F(PackageLoadTest, DataBytesLoadUnchanged) {
    Bytes data;
    for (int b = 0; b < 256; ++b) data.push_back(static_cast<std::uint8_t>(b));
    Bytes body = B({0, 0x00, 0x00, 0x01, 0x00});
    body.insert(body.end(), data.begin(), data.end());
    pak.Package(MakePackage(0, 0, 1, body));
    ASSERT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.RecordB(0), data);
    EXPECT_EQ(pak.RecordKey(0), u"");
}

TEST_F(PackageLoadTest, LaterRecordFailureDiscardsEarlierOnes) {
    // Two good records, then a third whose key is not printable.
    const Bytes body = B({1, 0, 0, 0, 1, 'a', 'A', 1, 0, 0, 0, 0, 'b', 1, 0, 0, 0, 0, 0x07});
    ExpectRefused(MakePackage(0, 0, 3, body), ckxDataPak_errPackageCorrupt);
    ExpectRefused(MakePackage(0, 0, 4, body), ckxDataPak_errPackageCorrupt);
    Bytes head = body;
    head.resize(body.size() - 1);
    ExpectRefused(MakePackage(0, 0, 3, head), ckxDataPak_errPackageImcomplete);
}

// A negative record count is refused as incomplete, where the table would be
// made: after the category and title tests.
TEST_F(PackageLoadTest, NegativeCountIsRefusedAfterTheTexts) {
    ExpectRefused(MakePackage(0, 1, -1, B({'T'})), ckxDataPak_errPackageImcomplete);
    ExpectRefused(MakePackage(0, 1, INT32_MIN, B({'T', 1, 0, 0, 0, 0, 'k'})), ckxDataPak_errPackageImcomplete);
    ExpectRefused(MakePackage(0, 1, -1, B({0x7F})), ckxDataPak_errPackageCorrupt);
    ExpectRefused(MakePackage(0, 2, -1, B({'T'})), ckxDataPak_errPackageImcomplete);
}

// A negative data length is refused as incomplete, before the key is tested;
// a data length near the 32-bit limit is incomplete, not an overflow.
TEST_F(PackageLoadTest, DataLengthOutOfRange) {
    ExpectRefused(MakePackage(0, 0, 1, B({1, 0xFF, 0xFF, 0xFF, 0xFF, 'k'})), ckxDataPak_errPackageImcomplete);
    ExpectRefused(MakePackage(0, 0, 1, B({1, 0xFF, 0xFF, 0xFF, 0xFA, 0x01, 'x', 'y', 'z', 'w', 'v'})),
                  ckxDataPak_errPackageImcomplete);
    ExpectRefused(MakePackage(0, 0, 1, B({1, 0x80, 0x00, 0x00, 0x00, 'k'})), ckxDataPak_errPackageImcomplete);
    ExpectRefused(MakePackage(0, 0, 1, B({255, 0x7F, 0xFF, 0xFF, 0xFF, 'k'})), ckxDataPak_errPackageImcomplete);
    ExpectRefused(MakePackage(0, 0, 1, B({0, 0x7F, 0xFF, 0xFF, 0xF0})), ckxDataPak_errPackageImcomplete);
}

TEST_F(PackageLoadTest, ExactlyFittingDataLengthLoads) {
    pak.Package(MakePackage(0, 0, 2, B({0, 0, 0, 0, 2, 7, 8, 1, 0, 0, 0, 0, 'z'})));
    ASSERT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.RecordB(0), B({7, 8}));
    EXPECT_EQ(pak.RecordKey(1), u"z");
}

TEST_F(PackageLoadTest, TheCallersArrayIsCopied) {
    Bytes p = kWorkedExample;
    pak.Package(p);
    p[21] = 0x55;
    p[14] = 'X';
    EXPECT_EQ(pak.RecordB(0), B({1, 2}));
    EXPECT_EQ(pak.Title(), u"T");
}

TEST(SliceBytesTest, ClampsAndNeverReadsOutside) {
    const Bytes p = B({1, 2, 3, 4});
    EXPECT_EQ(SliceBytes(p, 1, 2), B({2, 3}));
    EXPECT_EQ(SliceBytes(p, 2, 100), B({3, 4}));
    EXPECT_EQ(SliceBytes(p, 2, INT32_MAX), B({3, 4}));
    EXPECT_TRUE(SliceBytes(p, 4, 1).empty());
    EXPECT_TRUE(SliceBytes(p, 0, 0).empty());
    EXPECT_TRUE(SliceBytes(p, 0, -5).empty());
    EXPECT_TRUE(SliceBytes(p, -1, 2).empty());
    EXPECT_TRUE(SliceBytes({}, 0, 1).empty());
}

TEST(IsPrintableTest, SpaceToTilde) {
    EXPECT_TRUE(IsPrintable({}));
    EXPECT_TRUE(IsPrintable(B({32, 65, 126})));
    EXPECT_FALSE(IsPrintable(B({31})));
    EXPECT_FALSE(IsPrintable(B({65, 127})));
}

}  // namespace
}  // namespace sorbel::test

namespace sorbel::test {
namespace {

// Random damage to valid packages (changed bytes, cut or added tails, with and
// without a mended size field): every load either refuses with nothing but the
// error number changed, or succeeds with a state that writes and reloads to
// itself. Run under the sanitizers this also shows that no read leaves the array.
TEST(PackageLoadDamageTest, AnyDamageIsRefusedOrLoadsConsistently) {
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    ckxDataPak source;
    source.Category(u"cat");
    source.Title(u"A title");
    for (int i = 0; i < 6; ++i) {
        Bytes data(next() % 20);
        for (auto& b : data) b = static_cast<std::uint8_t>(next());
        source.AppendB(u"key" + std::u16string(1, static_cast<char16_t>(u'0' + i)), data);
    }
    const Bytes valid = source.Package();

    int loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes p = valid;
        const int edits = 1 + next() % 3;
        for (int e = 0; e < edits; ++e) {
            switch (next() % 4) {
            case 0: p[next() % p.size()] = static_cast<std::uint8_t>(next()); break;
            case 1: p[8 + next() % 6] = static_cast<std::uint8_t>(next()); break;  // length and count fields
            case 2: p.resize(14 + next() % (p.size() - 13)); break;
            case 3: p.push_back(static_cast<std::uint8_t>(next())); break;
            }
        }
        if (next() % 2 && p.size() >= 8) {
            const Bytes size = LongToBytes(static_cast<std::int32_t>(p.size()));
            std::copy(size.begin(), size.end(), p.begin() + 4);
        }
        ckxDataPak pak;
        pak.Append(u"before", u"x");
        const State before(pak);
        pak.Package(p);
        if (pak.ErrorNumber() != ckxDataPak_errNoError) {
            State expected = before;
            expected.error = pak.ErrorNumber();
            ASSERT_EQ(State(pak), expected) << "round " << round;
            ASSERT_FALSE(ErrorNumberName(pak.ErrorNumber()).empty());
            continue;
        }
        ++loaded;
        ckxDataPak again;
        again.Package(pak.Package());
        ASSERT_EQ(again.ErrorNumber(), ckxDataPak_errNoError) << "round " << round;
        ASSERT_EQ(State(again), State(pak)) << "round " << round;
    }
    EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace sorbel::test
