// Keyed members with text data, the header members, and which members write
// the error number.
#include "test_support.h"

#include <string_view>
#include <utility>

#include "memory_limit.h"

namespace sorbel::test {
namespace {

class KeyedTest : public ::testing::Test {
protected:
    // Small limits so that the full-store and data-length refusals are reachable.
    ckxDataPak pak{Windows1252(), PakLimits{.maxRecords = 3, .maxDataLength = 4}};

    void Fill(std::initializer_list<const char16_t*> keys) {
        for (const char16_t* k : keys) pak.Append(k, std::u16string(u"d-") + k);
    }
};

TEST_F(KeyedTest, NewObjectIsEmptyWithNoError) {
    ckxDataPak fresh;
    EXPECT_EQ(fresh.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(fresh.Count(), 0);
    EXPECT_EQ(fresh.TypeID(), 1000);
    EXPECT_EQ(fresh.Title(), u"");
    EXPECT_EQ(fresh.Category(), u"");
}

TEST_F(KeyedTest, EqualKeysAreKeptAndTheFirstWins) {
    pak.Append(u"k", u"one");
    pak.Append(u"k", u"two");
    ASSERT_EQ(pak.Count(), 2);
    EXPECT_EQ(pak.FindKey(u"k"), 0);
    EXPECT_EQ(pak.Data(u"k"), u"one");
    pak.Edit(u"k", u"1");
    EXPECT_EQ(pak.Record(0), u"1");
    EXPECT_EQ(pak.Record(1), u"two");
    pak.Delete(u"k");
    ASSERT_EQ(pak.Count(), 1);
    EXPECT_EQ(pak.Data(u"k"), u"two");
}

TEST_F(KeyedTest, KeysCompareExactly) {
    pak.Append(u"Name", u"a");
    pak.Append(u"", u"b");
    EXPECT_EQ(pak.FindKey(u"name"), -1);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    EXPECT_EQ(pak.FindKey(u"Name "), -1);
    EXPECT_EQ(pak.FindKey(u""), 1);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.Data(u""), u"b");
}

TEST_F(KeyedTest, KeyLengthLimitIs255) {
    pak.Append(Repeat(255), u"a");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.Count(), 1);
    EXPECT_EQ(pak.Records()[0].KeyLength, 255);
    const State before(pak);
    for (auto call : {+[](ckxDataPak& p) { p.Append(Repeat(256), u"a"); },
                      +[](ckxDataPak& p) { p.Insert(Repeat(256), u"a", Repeat(255)); },
                      +[](ckxDataPak& p) { p.Edit(Repeat(256), u"a"); },
                      +[](ckxDataPak& p) { p.Delete(Repeat(256)); },
                      +[](ckxDataPak& p) { p.Data(Repeat(256), u"a"); }}) {
        pak.FindKey(Repeat(255));  // reset to 0
        call(pak);
        EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errKeyTooLong);
        EXPECT_EQ(pak.Records(), before.records);
    }
    EXPECT_EQ(pak.FindKey(Repeat(256)), -1);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errKeyTooLong);
    EXPECT_EQ(pak.Data(Repeat(256)), u"");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errKeyTooLong);
}

TEST_F(KeyedTest, DataLengthLimitCountsCharacters) {
    pak.Append(u"k", u"1234");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    const State before(pak);
    pak.Append(u"j", u"12345");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    pak.Edit(u"k", u"12345");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    pak.Data(u"k", u"12345");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    pak.Insert(u"j", u"12345", u"k");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    EXPECT_EQ(pak.Records(), before.records);
}

TEST_F(KeyedTest, ChecksRunInOrder) {
    Fill({u"a", u"b", u"c"});  // full at 3
    // Full is tested before the key, the key before the data, the data before the lookup.
    pak.Append(Repeat(256), u"123456");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDatabaseFull);
    pak.Insert(Repeat(256), u"123456", u"absent");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDatabaseFull);
    pak.Edit(Repeat(256), u"123456");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errKeyTooLong);
    pak.Edit(u"absent", u"123456");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
    pak.Data(Repeat(256), u"123456");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errKeyTooLong);
    pak.Data(u"absent", u"123456");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDataTooLong);
}

TEST_F(KeyedTest, FullStoreRefusesAddingButNotReplacing) {
    Fill({u"a", u"b", u"c"});
    const State before(pak);
    pak.Append(u"d", u"x");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDatabaseFull);
    pak.Data(u"d", u"x");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errDatabaseFull);
    EXPECT_EQ(pak.Records(), before.records);

    pak.Data(u"b", u"new");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.Data(u"b"), u"new");
    pak.Edit(u"c", u"new");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.Count(), 3);

    pak.Delete(u"a");
    pak.Append(u"d", u"x");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(Keys(pak), (std::vector<std::u16string>{u"b", u"c", u"d"}));
}

TEST_F(KeyedTest, InsertPlacesBeforeTheFirstMatch) {
    ckxDataPak big;
    for (const char16_t* k : {u"k1", u"k2", u"k3", u"k2"}) big.Append(k, u"");
    big.Insert(u"k9", u"nine", u"k2");
    EXPECT_EQ(big.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(Keys(big), (std::vector<std::u16string>{u"k1", u"k9", u"k2", u"k3", u"k2"}));
    EXPECT_EQ(big.Record(1), u"nine");
    EXPECT_EQ(big.Records()[1].DataLength, 4);

    const State before(big);
    big.Insert(u"k0", u"", u"absent");
    EXPECT_EQ(big.ErrorNumber(), ckxDataPak_errRecordNotFound);
    EXPECT_EQ(big.Records(), before.records);
    // The length of pKeyBefore is not tested: an over-long key simply matches nothing.
    big.Insert(u"k0", u"", Repeat(300));
    EXPECT_EQ(big.ErrorNumber(), ckxDataPak_errRecordNotFound);

    big.Insert(u"first", u"", u"k1");
    EXPECT_EQ(big.FindKey(u"first"), 0);
}

TEST_F(KeyedTest, DeleteRemovesOnlyTheFirstMatch) {
    Fill({u"a", u"b"});
    pak.Delete(u"c");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    EXPECT_EQ(pak.Count(), 2);
    pak.Delete(u"a");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    pak.Delete(u"b");
    EXPECT_EQ(pak.Count(), 0);
    pak.Append(u"z", u"");
    EXPECT_EQ(pak.FindKey(u"z"), 0);
}

TEST_F(KeyedTest, DataLetAppendsOrReplacesInPlace) {
    Fill({u"a", u"b"});
    pak.Data(u"c", u"new");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.FindKey(u"c"), 2);
    pak.Data(u"a", u"AA");
    EXPECT_EQ(Keys(pak), (std::vector<std::u16string>{u"a", u"b", u"c"}));
    EXPECT_EQ(pak.Data(u"a"), u"AA");
    EXPECT_EQ(pak.Records()[0].DataLength, 2);
    EXPECT_EQ(pak.Length(u"a"), 2);
}

TEST_F(KeyedTest, EditOfAbsentKeyAddsNothing) {
    Fill({u"a"});
    pak.Edit(u"b", u"x");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    EXPECT_EQ(pak.Count(), 1);
}

TEST_F(KeyedTest, EmptyDataIsStoredAsNoBytes) {
    pak.Data(u"e", u"");
    EXPECT_EQ(pak.Data(u"e"), u"");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(pak.Length(u"e"), 0);
    EXPECT_TRUE(pak.Records()[0].Data.empty());
    EXPECT_EQ(pak.Records()[0].Data.capacity(), 0u);
}

TEST_F(KeyedTest, LengthLeavesTheErrorNumberAlone) {
    pak.Append(u"a", u"abc");
    pak.FindKey(u"zz");
    EXPECT_EQ(pak.Length(u"zz"), 0);
    EXPECT_EQ(pak.Length(u"a"), 3);
    EXPECT_EQ(pak.Length(Repeat(300)), 0);  // no key-length test
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
}

TEST_F(KeyedTest, TitleAndCategoryAreCutTo255) {
    pak.Title(Repeat(300, u't'));
    pak.Category(Repeat(256, u'c'));
    EXPECT_EQ(pak.Title(), Repeat(255, u't'));
    EXPECT_EQ(pak.Category(), Repeat(255, u'c'));
    pak.Title(u"short");
    EXPECT_EQ(pak.Title(), u"short");
    pak.Title(pak.Title());  // assigning its own value
    EXPECT_EQ(pak.Title(), u"short");
}

TEST_F(KeyedTest, ZapKeepsTextsClearEmptiesThem) {
    pak.Title(u"T");
    pak.Category(u"C");
    Fill({u"a", u"b"});
    pak.FindKey(u"none");
    pak.Zap();
    EXPECT_EQ(pak.Count(), 0);
    EXPECT_EQ(pak.Title(), u"T");
    EXPECT_EQ(pak.Category(), u"C");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    Fill({u"a"});
    pak.Clear();
    EXPECT_EQ(pak.Count(), 0);
    EXPECT_EQ(pak.Title(), u"");
    EXPECT_EQ(pak.Category(), u"");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);  // from the last Append
}

// Members that never touch the error number keep a refusal visible.
TEST_F(KeyedTest, ReadOnlyMembersKeepTheErrorNumber) {
    pak.Append(u"a", u"x");
    EXPECT_EQ(pak.FindKey(u"b"), -1);
    ASSERT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    (void)pak.Count();
    (void)pak.Title();
    (void)pak.Category();
    (void)pak.Length(u"a");
    (void)pak.TypeID();
    (void)pak.Size();
    (void)pak.Package();
    pak.Title(u"t");
    pak.Category(u"c");
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errRecordNotFound);
    EXPECT_EQ(pak.FindKey(u"a"), 0);
    EXPECT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
}

// A fault while converting text leaves the object and the error number as
// they were, including for the members that add a record.
TEST(KeyedFaultTest, FailedConversionChangesNothing) {
    FailingEncoding failing;
    ckxDataPak pak(failing);
    pak.Append(u"a", u"x");
    pak.FindKey(u"none");
    const State before(pak);
    EXPECT_THROW(pak.Append(u"b", kUnencodableText), std::overflow_error);
    EXPECT_THROW(pak.Data(u"b", kUnencodableText), std::overflow_error);
    EXPECT_THROW(pak.Data(u"a", kUnencodableText), std::overflow_error);
    EXPECT_THROW(pak.Edit(u"a", kUnencodableText), std::overflow_error);
    EXPECT_THROW(pak.Insert(u"b", kUnencodableText, u"a"), std::overflow_error);
    EXPECT_EQ(State(pak), before);
}

TEST(ErrorNumberNameTest, NamesEveryMemberAndNothingElse) {
    EXPECT_EQ(ErrorNumberName(-130), "ckxDataPak_errPackageImcomplete");
    EXPECT_EQ(ErrorNumberName(0), "ckxDataPak_errNoError");
    EXPECT_EQ(ErrorNumberName(-4), "ckxDataPak_errRecordNotFound");
    int named = 0;
    for (int v = -200; v <= 10; ++v) named += ErrorNumberName(v).empty() ? 0 : 1;
    EXPECT_EQ(named, 10);
}

}  // namespace
}  // namespace sorbel::test

namespace sorbel::test {
namespace {

// Every member, called so that it succeeds, after a refusal has left -4:
// the first group writes 0, the second and third leave -4 standing.
TEST(ErrorNumberGroupsTest, SuccessWritesOnlyForTheFirstGroup) {
    using Call = void (*)(ckxDataPak&);
    static const Bytes kOne = B({1});
    const std::vector<std::pair<const char*, Call>> writesOnSuccess = {
        {"Append", [](ckxDataPak& p) { p.Append(u"n", u"v"); }},
        {"Insert", [](ckxDataPak& p) { p.Insert(u"n", u"v", u"a"); }},
        {"Delete", [](ckxDataPak& p) { p.Delete(u"a"); }},
        {"FindKey", [](ckxDataPak& p) { (void)p.FindKey(u"a"); }},
        {"Edit", [](ckxDataPak& p) { p.Edit(u"a", u"v"); }},
        {"Data get", [](ckxDataPak& p) { (void)p.Data(u"a"); }},
        {"Data let", [](ckxDataPak& p) { p.Data(u"a", u"v"); }},
        {"AppendB", [](ckxDataPak& p) { p.AppendB(u"n", kOne); }},
        {"EditB", [](ckxDataPak& p) { p.EditB(u"a", kOne); }},
        {"InsertB", [](ckxDataPak& p) { p.InsertB(u"n", kOne, u"a"); }},
        {"DataB get", [](ckxDataPak& p) { (void)p.DataB(u"a"); }},
        {"DataB let", [](ckxDataPak& p) { p.DataB(u"z", kOne); }},
        {"FindData", [](ckxDataPak& p) { (void)p.FindData(u"x"); }},
        {"FindDataB", [](ckxDataPak& p) { (void)p.FindDataB(B({'x'})); }},
        {"RecordB get", [](ckxDataPak& p) { (void)p.RecordB(0); }},
        {"Record get", [](ckxDataPak& p) { (void)p.Record(0); }},
        {"RecordKey get", [](ckxDataPak& p) { (void)p.RecordKey(0); }},
        {"RecordDelete", [](ckxDataPak& p) { p.RecordDelete(0); }},
        {"Package let", [](ckxDataPak& p) { p.Package(ckxDataPak().Package()); }},
    };
    const std::vector<std::pair<const char*, Call>> leavesIt = {
        {"RecordB let", [](ckxDataPak& p) { p.RecordB(4, kOne); }},
        {"Record let", [](ckxDataPak& p) { p.Record(0, u"v"); }},
        {"RecordKey let", [](ckxDataPak& p) { p.RecordKey(0, u"k"); }},
        {"RecordEdit", [](ckxDataPak& p) { p.RecordEdit(u"k", u"v", 0); }},
        {"RecordEditB", [](ckxDataPak& p) { p.RecordEditB(u"k", kOne, 0); }},
        {"RecordInsert", [](ckxDataPak& p) { p.RecordInsert(u"k", u"v", 1); }},
        {"RecordInsertB", [](ckxDataPak& p) { p.RecordInsertB(u"k", kOne, 1); }},
        {"TypeID", [](ckxDataPak& p) { (void)p.TypeID(); }},
        {"Title", [](ckxDataPak& p) { p.Title(p.Title() + u"t"); }},
        {"Category", [](ckxDataPak& p) { p.Category(p.Category() + u"c"); }},
        {"Count", [](ckxDataPak& p) { (void)p.Count(); }},
        {"Length", [](ckxDataPak& p) { (void)p.Length(u"a"); }},
        {"Zap", [](ckxDataPak& p) { p.Zap(); }},
        {"Clear", [](ckxDataPak& p) { p.Clear(); }},
        {"Package get", [](ckxDataPak& p) { (void)p.Package(); }},
        {"Size", [](ckxDataPak& p) { (void)p.Size(); }},
    };
    auto prepared = [] {
        ckxDataPak p;
        p.Append(u"a", u"x");
        p.Append(u"b", u"y");
        (void)p.FindKey(u"absent");
        EXPECT_EQ(p.ErrorNumber(), ckxDataPak_errRecordNotFound);
        return p;
    };
    for (const auto& [name, call] : writesOnSuccess) {
        ckxDataPak p = prepared();
        call(p);
        EXPECT_EQ(p.ErrorNumber(), ckxDataPak_errNoError) << name;
        EXPECT_EQ(p.Size(), MeasuredSize(p)) << name;
    }
    for (const auto& [name, call] : leavesIt) {
        ckxDataPak p = prepared();
        const State before(p);
        call(p);
        EXPECT_EQ(p.ErrorNumber(), ckxDataPak_errRecordNotFound) << name;
        if (std::string_view(name).starts_with("Record")) {
            EXPECT_NE(State(p), before) << name << " did not change the store";
        }
    }
}

TEST(MemoryCanHoldTest, RefusesWhatNoMachineHas) {
    EXPECT_TRUE(MemoryCanHold(1 << 20));
    EXPECT_FALSE(MemoryCanHold(std::uint64_t{1} << 62));
}

}  // namespace
}  // namespace sorbel::test
