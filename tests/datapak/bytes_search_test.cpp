// Keyed members with byte data, and search by data.
#include "test_support.h"

namespace sorbel::test {
namespace {

class BytesTest : public ::testing::Test {
protected:
    ckxDataPak pak{Windows1252(), PakLimits{.maxRecords = 3, .maxDataLength = 4}};
};

TEST_F(BytesTest, TextAndBytesMeetOneByteOneCharacter) {
    pak.DataB(u"k", B({65, 0, 66}));
    EXPECT_EQ(pak.Data(u"k"), std::u16string(u"A\0B", 3));
    pak.Data(u"k", u"AB");
    EXPECT_EQ(pak.DataB(u"k"), B({65, 66}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
}

TEST_F(BytesTest, EmptyDataHasNoStorage) {
    pak.Data(u"s", u"");
    Bytes got = pak.DataB(u"s");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(got.capacity(), 0u);
    pak.AppendB(u"b", {});
    EXPECT_EQ(pak.Data(u"b"), u"");
    EXPECT_EQ(pak.Records()[1].DataLength, 0);
}

TEST_F(BytesTest, StoredBytesAreTheRecordsOwnCopy) {
    Bytes mine = B({1, 2, 3});
    pak.AppendB(u"k", mine);
    mine[0] = 99;
    Bytes got = pak.DataB(u"k");
    got[1] = 99;
    EXPECT_EQ(pak.DataB(u"k"), B({1, 2, 3}));
}

TEST_F(BytesTest, AllByteValuesAreStoredUnchanged) {
    ckxDataPak big;
    Bytes all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<std::uint8_t>(b));
    big.AppendB(u"all", all);
    EXPECT_EQ(big.DataB(u"all"), all);
    // Through text and back: every byte survives a decode and re-encode.
    const std::u16string text = big.Data(u"all");
    big.Data(u"copy", text);
    EXPECT_EQ(big.DataB(u"copy"), all);
}

TEST_F(BytesTest, RefusalsAndTheirOrder) {
    pak.AppendB(Repeat(255), B({1}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    const State ok(pak);
    pak.AppendB(Repeat(256), B({1}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errKeyTooLong);
    pak.AppendB(u"k", B({1, 2, 3, 4, 5}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    pak.EditB(u"absent", B({1, 2, 3, 4, 5}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    pak.EditB(u"absent", B({1}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    pak.InsertB(u"k", B({1}), u"absent");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    pak.DataB(Repeat(256), B({1, 2, 3, 4, 5}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errKeyTooLong);
    pak.DataB(u"k", B({1, 2, 3, 4, 5}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    EXPECT_TRUE(pak.DataB(Repeat(256)).empty());
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errKeyTooLong);
    EXPECT_TRUE(pak.DataB(u"absent").empty());
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    EXPECT_EQ(pak.Records(), ok.records);
}

TEST_F(BytesTest, FullStoreIsTestedFirst) {
    for (const char16_t* k : {u"a", u"b", u"c"}) pak.AppendB(k, B({1}));
    pak.InsertB(Repeat(256), B({1, 2, 3, 4, 5}), u"absent");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDatabaseFull);
    pak.AppendB(u"d", {});
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDatabaseFull);
    pak.DataB(u"d", {});
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDatabaseFull);
    pak.DataB(u"b", B({2}));  // replacing is still allowed
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.Count(), 3);
}

TEST_F(BytesTest, KeyedByteMembersPlaceRecords) {
    pak.AppendB(u"a", B({1}));
    pak.AppendB(u"c", B({3}));
    pak.InsertB(u"b", B({2}), u"c");
    EXPECT_EQ(Keys(pak), (std::vector<std::u16string>{u"a", u"b", u"c"}));
    pak.EditB(u"a", B({9, 9}));
    EXPECT_EQ(pak.RecordB(0), B({9, 9}));
    EXPECT_EQ(pak.Records()[0].DataLength, 2);
    pak.DataB(u"c", B({4}));
    EXPECT_EQ(pak.RecordB(2), B({4}));
    EXPECT_EQ(Keys(pak), (std::vector<std::u16string>{u"a", u"b", u"c"}));
}

class SearchTest : public ::testing::Test {
protected:
    ckxDataPak pak{Windows1252(), PakLimits{.maxRecords = 10, .maxDataLength = 4}};
};

TEST_F(SearchTest, EmptyStoreFindsNothing) {
    EXPECT_EQ(pak.FindData(u""), -1);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    pak.Append(u"x", u"");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    pak.Delete(u"x");
    EXPECT_EQ(pak.FindDataB({}), -1);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
}

TEST_F(SearchTest, LowestMatchingPositionWins) {
    pak.Append(u"a", u"abc");
    pak.Append(u"b", u"x");
    pak.Append(u"c", u"x");
    EXPECT_EQ(pak.FindData(u"x"), 1);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.FindDataB(B({'x'})), 1);
    EXPECT_EQ(pak.FindData(u"ABC"), -1);  // case matters
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    EXPECT_EQ(pak.FindData(u"ab"), -1);   // no prefix matches
    EXPECT_EQ(pak.FindDataB(B({'a', 'b', 'c', 0})), -1);
}

TEST_F(SearchTest, EmptyDataMatchesWhateverWayItWasStored) {
    pak.Append(u"a", u"z");
    pak.AppendB(u"b", {});
    pak.Append(u"c", u"");
    EXPECT_EQ(pak.FindData(u""), 1);
    EXPECT_EQ(pak.FindDataB({}), 1);
    pak.RecordDelete(1);
    EXPECT_EQ(pak.FindDataB(Bytes{}), 1);
}

TEST_F(SearchTest, TextAndBytesFindEachOther) {
    pak.Append(u"t", u"\u00e9t\u20ac");  // é t € in 1252: E9 74 80
    pak.AppendB(u"b", B({72, 0, 105}));
    EXPECT_EQ(pak.FindDataB(B({0xE9, 0x74, 0x80})), 0);
    EXPECT_EQ(pak.FindData(std::u16string(u"H\0i", 3)), 1);
    // A character the set lacks matches no record, even one holding '?'.
    pak.Append(u"q", u"?");
    EXPECT_EQ(pak.FindData(u"\u4e00"), -1);
}

TEST_F(SearchTest, OverLongSearchDataIsRefused) {
    pak.Append(u"a", u"1234");
    pak.FindData(u"12345");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    pak.FindData(u"1234");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.FindDataB(B({1, 2, 3, 4, 5})), -1);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
}

TEST(BytesEqualTest, ComparesLengthThenEveryByte) {
    EXPECT_TRUE(BytesEqual({}, {}));
    EXPECT_TRUE(BytesEqual(B({1, 2}), B({1, 2})));
    EXPECT_FALSE(BytesEqual(B({1, 2}), B({1, 3})));
    EXPECT_FALSE(BytesEqual(B({1, 2}), B({1, 2, 0})));
    EXPECT_FALSE(BytesEqual({}, B({0})));
}

}  // namespace
}  // namespace sorbel::test
