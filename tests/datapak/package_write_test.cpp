// Package get and Size: golden bytes, round trips, and faults.
#include "test_support.h"

#include <limits>

namespace sorbel::test {
namespace {

// The worked example: title T, no category, one record k -> 01 02.
const Bytes kWorkedExample = B({0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x17, 0x00, 0x01, 0x00, 0x00,
                                0x00, 0x01, 0x54, 0x01, 0x00, 0x00, 0x00, 0x02, 0x6B, 0x01, 0x02});
const Bytes kEmptyPackage = B({0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});

TEST(PackageWriteTest, EmptyObjectIsTheFourteenByteHeader) {
    ckxDataPak pak;
    EXPECT_EQ(pak.Size(), 14);
    EXPECT_EQ(pak.Package(), kEmptyPackage);
}

TEST(PackageWriteTest, WorkedExampleByteForByte) {
    ckxDataPak pak;
    pak.Title(u"T");
    pak.AppendB(u"k", B({1, 2}));
    EXPECT_EQ(pak.Size(), 23);
    EXPECT_EQ(pak.Package(), kWorkedExample);
}

TEST(PackageWriteTest, CategoryPrecedesTitleAndRecordsFollowInOrder) {
    ckxDataPak pak;
    pak.Title(u"T");
    pak.Category(u"CC");
    pak.Append(u"b", u"");
    pak.AppendB(u"a", B({0xFF}));
    const Bytes expected = B({0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x1E, 0x02, 0x01, 0x00, 0x00, 0x00, 0x02,
                              'C', 'C', 'T',
                              0x01, 0x00, 0x00, 0x00, 0x00, 'b',
                              0x01, 0x00, 0x00, 0x00, 0x01, 'a', 0xFF});
    EXPECT_EQ(pak.Size(), 30);
    EXPECT_EQ(pak.Package(), expected);
}

TEST(PackageWriteTest, RoundTripKeepsEverything) {
    ckxDataPak pak;
    pak.Title(Repeat(255, u'~'));
    pak.Category(Repeat(255, u' '));
    pak.Append(Repeat(255, u'K'), u"upper");
    pak.Append(u"", u"empty key");
    pak.Append(u"Dup", u"first");
    pak.Append(u"dup", u"case");
    pak.Append(u"Dup", u"second");
    Bytes all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<std::uint8_t>(255 - b));
    pak.AppendB(u"bytes", all);
    pak.AppendB(u"none", {});
    pak.RecordKey(9, u"extended");  // leaves empty records at 7 and 8
    pak.AppendB(u"large", Bytes(5000, 0xA5));
    const Bytes package = pak.Package();
    ASSERT_EQ(package.size(), static_cast<std::size_t>(pak.Size()));
    // Into memory the caller owns: the same bytes, and only at the exact size.
    Bytes into(package.size());
    pak.PackageInto(into);
    EXPECT_EQ(into, package);
    Bytes wrong(package.size() + 1);
    EXPECT_THROW(pak.PackageInto(wrong), std::length_error);

    ckxDataPak copy;
    copy.Package(package);
    ASSERT_EQ(copy.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(copy.Title(), pak.Title());
    EXPECT_EQ(copy.Category(), pak.Category());
    EXPECT_EQ(copy.Records(), pak.Records());
    EXPECT_EQ(copy.Package(), package);
}

TEST(PackageWriteTest, EmptyDataIsALengthOfZero) {
    ckxDataPak pak;
    pak.Data(u"e", u"");
    const Bytes package = pak.Package();
    ASSERT_EQ(package.size(), 20u);
    EXPECT_EQ(Bytes(package.begin() + 14, package.end()), B({0x01, 0, 0, 0, 0, 'e'}));
    ckxDataPak copy;
    copy.Package(package);
    EXPECT_EQ(copy.Records()[0].Data.capacity(), 0u);
}

// Characters outside printable ASCII are written in the code page without
// complaint, but such a package is refused on load.
TEST(PackageWriteTest, NonAsciiTitleIsWrittenButNotReadBack) {
    ckxDataPak pak;
    pak.Title(u"caf\u00e9");
    const Bytes package = pak.Package();
    EXPECT_EQ(package[17], 0xE9);
    ckxDataPak copy;
    copy.Package(package);
    EXPECT_EQ(copy.ErrorNumber(), ckxDataPak_errPackageCorrupt);
}

TEST(PackageWriteTest, LeavesTheErrorNumberAlone) {
    ckxDataPak pak;
    pak.Append(u"a", u"b");
    pak.FindKey(u"x");
    (void)pak.Package();
    (void)pak.Size();
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
}

TEST(PackageWriteTest, UnencodableTextIsAFaultThatChangesNothing) {
    FailingEncoding failing;
    ckxDataPak pak(failing);
    pak.Append(u"a", u"b");
    pak.RecordKey(0, kUnencodableText);
    pak.FindKey(u"x");
    const State before(pak);
    EXPECT_THROW((void)pak.Package(), std::overflow_error);
    EXPECT_EQ(State(pak), before);
}

// Size is kept up to date by the store rather than measured on every call:
// after each kind of change it must equal the length measured from the
// records and the length of the package actually written.
TEST(PackageWriteTest, SizeFollowsEveryChange) {
    ckxDataPak pak;
    auto check = [&pak](const char* step) {
        EXPECT_EQ(pak.Size(), MeasuredSize(pak)) << step;
        EXPECT_EQ(static_cast<std::size_t>(pak.Size()), pak.Package().size()) << step;
    };
    pak.Append(u"a", u"12345");               check("Append");
    pak.AppendB(u"bb", B({1, 2}));            check("AppendB");
    pak.Insert(u"ccc", u"x", u"bb");          check("Insert");
    pak.InsertB(u"", {}, u"a");               check("InsertB");
    pak.Edit(u"a", u"");                      check("Edit");
    pak.EditB(u"bb", B({1, 2, 3, 4, 5, 6}));  check("EditB");
    pak.Data(u"a", u"long data");             check("Data let, present");
    pak.Data(u"new", u"v");                   check("Data let, absent");
    pak.DataB(u"new", B({9}));                check("DataB let");
    pak.Record(9, u"far");                    check("Record let, extending");
    pak.RecordB(2, B({7, 7}));                check("RecordB let");
    pak.RecordKey(12, u"key twelve");         check("RecordKey let, extending");
    pak.RecordKey(0, u"");                    check("RecordKey let");
    pak.RecordEdit(u"edited", u"e", 1);       check("RecordEdit");
    pak.RecordEditB(u"x", {}, 3);             check("RecordEditB");
    pak.RecordInsert(u"i", u"ii", 0);         check("RecordInsert");
    pak.RecordInsertB(u"j", B({1}), 14);      check("RecordInsertB");
    pak.Delete(u"ccc");                       check("Delete");
    pak.RecordDelete(3);                      check("RecordDelete");
    pak.Title(u"title");                      check("Title");
    pak.Category(u"category");                check("Category");
    const Bytes saved = pak.Package();
    pak.Zap();                                check("Zap");
    pak.Package(saved);                       check("Package let");
    EXPECT_EQ(pak.Package(), saved);
    pak.Clear();                              check("Clear");
    pak.Append(u"k", u"v");
    pak.RecordDelete(0);                      check("RecordDelete of the only record");
}

TEST(NumberEncodingTest, BigEndianTwosComplement) {
    const struct {
        std::int32_t value;
        Bytes bytes;
    } cases[] = {
        {1000, B({0x00, 0x00, 0x03, 0xE8})},
        {23, B({0x00, 0x00, 0x00, 0x17})},
        {-1, B({0xFF, 0xFF, 0xFF, 0xFF})},
        {-2, B({0xFF, 0xFF, 0xFF, 0xFE})},
        {std::numeric_limits<std::int32_t>::max(), B({0x7F, 0xFF, 0xFF, 0xFF})},
        {std::numeric_limits<std::int32_t>::min(), B({0x80, 0x00, 0x00, 0x00})},
        {0x01020304, B({0x01, 0x02, 0x03, 0x04})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LongToBytes(c.value), c.bytes) << c.value;
        EXPECT_EQ(BytesToLong(c.bytes), c.value) << c.value;
    }
}

}  // namespace
}  // namespace sorbel::test
