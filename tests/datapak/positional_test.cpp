// Positional members: the three position ranges, extension by the property
// lets, and the members that leave the error number alone on success.
#include "test_support.h"

#include <new>

namespace sorbel::test {
namespace {

class PositionalTest : public ::testing::Test {
protected:
    ckxDataPak pak{Windows1252(), PakLimits{.maxRecords = 3, .maxDataLength = 4}};

    void Fill3() {
        pak.Append(u"one", u"1");
        pak.Append(u"two", u"2");
        pak.Append(u"three", u"3");
    }
};

TEST_F(PositionalTest, GettersOnAnEmptyStoreRefuse) {
    // Append then Delete leaves the store empty with error number 0, so each
    // refusal below is seen to write -4.
    auto reset = [this] {
        pak.Append(u"x", u"");
        pak.Delete(u"x");
        ASSERT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    };
    reset();
    EXPECT_EQ(pak.Record(0), u"");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    reset();
    EXPECT_TRUE(pak.RecordB(0).empty());
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    reset();
    EXPECT_EQ(pak.RecordKey(0), u"");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    reset();
    pak.RecordDelete(0);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    reset();
    pak.RecordEdit(u"k", u"d", 0);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    EXPECT_EQ(pak.Count(), 0);
    pak.Record(0, u"v");
    ASSERT_EQ(pak.Count(), 1);
    EXPECT_EQ(pak.RecordKey(0), u"");
    EXPECT_EQ(pak.Record(0), u"v");
}

TEST_F(PositionalTest, ExistingRecordRange) {
    Fill3();
    for (std::int32_t bad : {-1, 3, 1000, INT32_MIN, INT32_MAX}) {
        pak.FindKey(u"one");
        EXPECT_EQ(pak.Record(bad), u"") << bad;
        EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound) << bad;
        pak.FindKey(u"one");
        EXPECT_TRUE(pak.RecordB(bad).empty());
        EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
        pak.FindKey(u"one");
        EXPECT_EQ(pak.RecordKey(bad), u"");
        EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
        pak.FindKey(u"one");
        pak.RecordDelete(bad);
        EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
        pak.FindKey(u"one");
        pak.RecordEdit(u"k", u"d", bad);
        EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
        pak.FindKey(u"one");
        pak.RecordEditB(u"k", B({1}), bad);
        EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    }
    EXPECT_EQ(Keys(pak), (std::vector<std::u16string>{u"one", u"two", u"three"}));
    EXPECT_EQ(pak.Record(2), u"3");
    EXPECT_EQ(pak.RecordKey(2), u"three");
    EXPECT_EQ(pak.RecordB(1), B({'2'}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
}

TEST_F(PositionalTest, InsertionPointRange) {
    Fill3();
    pak.RecordInsert(u"x", u"", 4);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    pak.RecordInsertB(u"x", {}, -1);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    EXPECT_EQ(pak.Count(), 3);
    // No fullness test for the positional inserts, even at the record limit.
    pak.RecordInsert(u"end", u"e", 3);
    pak.RecordInsertB(u"start", B({9}), 0);
    pak.RecordInsert(u"mid", u"m", 2);
    EXPECT_EQ(Keys(pak), (std::vector<std::u16string>{u"start", u"one", u"mid", u"two", u"three", u"end"}));
    EXPECT_EQ(pak.RecordB(0), B({9}));
    EXPECT_EQ(pak.Records()[0].DataLength, 1);
}

TEST_F(PositionalTest, InsertOnAnEmptyStoreAddsTheFirstRecord) {
    pak.RecordInsert(u"k", u"v", 0);
    ASSERT_EQ(pak.Count(), 1);
    EXPECT_EQ(pak.Data(u"k"), u"v");
}

TEST_F(PositionalTest, PropertyLetsExtendWithEmptyRecords) {
    Fill3();
    pak.Record(5, u"five");
    ASSERT_EQ(pak.Count(), 6);
    for (int i : {3, 4}) {
        EXPECT_EQ(pak.RecordKey(i), u"");
        EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
        EXPECT_TRUE(pak.Records()[i].Data.empty());
        EXPECT_EQ(pak.Records()[i].KeyLength, 0);
        EXPECT_EQ(pak.Records()[i].DataLength, 0);
    }
    EXPECT_EQ(pak.RecordKey(5), u"");
    EXPECT_EQ(pak.Record(5), u"five");
    EXPECT_EQ(pak.FindKey(u""), 3);

    pak.RecordKey(7, u"seven");
    pak.RecordB(9, B({1, 2}));
    EXPECT_EQ(pak.Count(), 10);
    EXPECT_EQ(pak.RecordKey(7), u"seven");
    EXPECT_EQ(pak.RecordB(9), B({1, 2}));
}

TEST_F(PositionalTest, PropertyLetsKeepTheOtherField) {
    Fill3();
    pak.Record(1, u"new");
    EXPECT_EQ(pak.RecordKey(1), u"two");
    EXPECT_EQ(pak.Records()[1].DataLength, 3);
    pak.RecordB(1, B({7}));
    EXPECT_EQ(pak.RecordKey(1), u"two");
    pak.RecordKey(1, u"deux");
    EXPECT_EQ(pak.RecordB(1), B({7}));
    EXPECT_EQ(pak.Records()[1].KeyLength, 4);
    // A key set by position need not be unique.
    pak.RecordKey(2, u"one");
    EXPECT_EQ(pak.FindKey(u"one"), 0);
    EXPECT_EQ(pak.Count(), 3);
}

TEST_F(PositionalTest, LetPositionRangeAndCheckOrder) {
    Fill3();
    const State before(pak);
    // Position is tested before the value in the property lets.
    pak.RecordKey(2'000'000'000, Repeat(256));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    pak.FindKey(u"one");
    pak.RecordB(-1, B({1, 2, 3, 4, 5}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    pak.Record(INT32_MAX, u"x");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    // A too-long value does not extend the store, even beyond the end.
    pak.RecordKey(10, Repeat(256));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errKeyTooLong);
    pak.Record(10, u"12345");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    pak.RecordB(10, B({1, 2, 3, 4, 5}));
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    EXPECT_EQ(pak.Records(), before.records);
}

TEST_F(PositionalTest, EditAndInsertTestKeyAndDataBeforeThePosition) {
    Fill3();
    pak.RecordEdit(Repeat(256), u"12345", 99);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errKeyTooLong);
    pak.RecordEditB(u"k", B({1, 2, 3, 4, 5}), 99);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    pak.RecordInsert(Repeat(256), u"12345", 99);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errKeyTooLong);
    pak.RecordInsertB(u"k", B({1, 2, 3, 4, 5}), 99);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    EXPECT_EQ(pak.Count(), 3);
}

TEST_F(PositionalTest, SettersLeaveTheErrorNumberOnSuccess) {
    Fill3();
    EXPECT_EQ(pak.Record(7), u"");
    ASSERT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    pak.RecordEdit(u"uno", u"1", 0);
    pak.RecordEditB(u"dos", B({2}), 1);
    pak.RecordInsert(u"i", u"", 0);
    pak.RecordInsertB(u"j", {}, 0);
    pak.Record(0, u"r");
    pak.RecordB(0, B({1}));
    pak.RecordKey(0, u"key");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    EXPECT_EQ(Keys(pak), (std::vector<std::u16string>{u"key", u"i", u"uno", u"dos", u"three"}));
    EXPECT_EQ(pak.Record(0), u"\x01");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    // RecordDelete writes it on success.
    pak.Record(99);
    pak.RecordDelete(0);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
}

TEST_F(PositionalTest, RecordEditReplacesKeyAndDataInPlace) {
    Fill3();
    pak.RecordEdit(u"TWO", u"22", 1);
    EXPECT_EQ(Keys(pak), (std::vector<std::u16string>{u"one", u"TWO", u"three"}));
    EXPECT_EQ(pak.Record(1), u"22");
    EXPECT_EQ(pak.Records()[1].KeyLength, 3);
    EXPECT_EQ(pak.Records()[1].DataLength, 2);
}

TEST_F(PositionalTest, RecordDeleteClosesTheGap) {
    Fill3();
    pak.RecordDelete(0);
    EXPECT_EQ(Keys(pak), (std::vector<std::u16string>{u"two", u"three"}));
    pak.RecordDelete(1);
    pak.RecordDelete(0);
    EXPECT_EQ(pak.Count(), 0);
    EXPECT_EQ(pak.Records().capacity(), 0u);
}

TEST_F(PositionalTest, GettersReturnCopies) {
    pak.AppendB(u"k", B({72, 105}));
    Bytes copy = pak.RecordB(0);
    copy[0] = 0;
    EXPECT_EQ(pak.RecordB(0), B({72, 105}));
    EXPECT_EQ(pak.Record(0), u"Hi");
}

// A let at the highest position asks for 2,000,000,000 records: far more than
// the machine can hold. It must fail as out of memory with nothing changed,
// not be killed by the operating system.
TEST_F(PositionalTest, ExtendingBeyondMemoryThrowsAndChangesNothing) {
    Fill3();
    pak.FindKey(u"absent");
    const State before(pak);
    EXPECT_THROW(pak.RecordB(kMaxLetPosition, B({1})), std::bad_alloc);
    EXPECT_THROW(pak.Record(kMaxLetPosition, u"x"), std::bad_alloc);
    EXPECT_THROW(pak.RecordKey(kMaxLetPosition, u"k"), std::bad_alloc);
    EXPECT_EQ(State(pak), before);
}

TEST(PositionalFaultTest, FailedConversionLeavesNoExtensionRecords) {
    FailingEncoding failing;
    ckxDataPak pak(failing);
    pak.Append(u"a", u"x");
    const State before(pak);
    EXPECT_THROW(pak.Record(5, kUnencodableText), std::overflow_error);
    EXPECT_THROW(pak.Record(0, kUnencodableText), std::overflow_error);
    EXPECT_THROW(pak.RecordEdit(u"k", kUnencodableText, 0), std::overflow_error);
    EXPECT_THROW(pak.RecordInsert(u"k", kUnencodableText, 0), std::overflow_error);
    EXPECT_EQ(State(pak), before);
}

}  // namespace
}  // namespace sorbel::test
