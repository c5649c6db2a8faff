// ckxDataPak against a deliberately naive model: a vector of (key, data) pairs
// searched by linear scan, following the member descriptions step by step.
// Long random sequences of every mutating and keyed member run on both; every
// result, error number, record and package byte must agree after every call.
// The object's key index, record blocks and lazy index build must be
// invisible to callers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ckx_data_pak.h"
#include "test_support.h"

namespace sorbel::test {
namespace {

constexpr PakLimits kLimits{64, 40};

class Model {
public:
    std::u16string title, category;
    std::vector<std::pair<std::u16string, Bytes>> records;
    std::int32_t error = 0;

    std::int32_t Count() const { return static_cast<std::int32_t>(records.size()); }

    std::int32_t Find(std::u16string_view key) const {
        for (std::int32_t i = 0; i < Count(); ++i) {
            if (records[i].first == key) return i;
        }
        return -1;
    }

    static Bytes Encode(std::u16string_view text) {
        Bytes bytes(text.size());
        if (!text.empty()) Windows1252().Encode(text, bytes.data());
        return bytes;
    }

    static std::u16string Decode(const Bytes& bytes) {
        std::u16string text(bytes.size(), u'\0');
        if (!bytes.empty()) Windows1252().Decode(bytes, text.data());
        return text;
    }

    bool Full() const { return Count() >= kLimits.maxRecords; }
    static bool KeyTooLong(std::u16string_view key) { return key.size() > 255; }
    static bool TooLong(std::size_t n) { return n > static_cast<std::size_t>(kLimits.maxDataLength); }
    bool Valid(std::int32_t p) const { return p >= 0 && p < Count(); }

    // Append, AppendB.
    void Append(std::u16string_view key, const Bytes& data, std::size_t length) {
        if (Full()) { error = -1; return; }
        if (KeyTooLong(key)) { error = -2; return; }
        if (TooLong(length)) { error = -3; return; }
        records.emplace_back(key, data);
        error = 0;
    }
    // Insert, InsertB.
    void Insert(std::u16string_view key, const Bytes& data, std::size_t length, std::u16string_view before) {
        if (Full()) { error = -1; return; }
        if (KeyTooLong(key)) { error = -2; return; }
        if (TooLong(length)) { error = -3; return; }
        const std::int32_t p = Find(before);
        if (p == -1) { error = -4; return; }
        records.insert(records.begin() + p, {std::u16string(key), data});
        error = 0;
    }
    void Delete(std::u16string_view key) {
        if (KeyTooLong(key)) { error = -2; return; }
        const std::int32_t p = Find(key);
        if (p == -1) { error = -4; return; }
        records.erase(records.begin() + p);
        error = 0;
    }
    std::int32_t FindKey(std::u16string_view key) {
        if (KeyTooLong(key)) { error = -2; return -1; }
        const std::int32_t p = Find(key);
        error = p == -1 ? -4 : 0;
        return p;
    }
    // Edit, EditB.
    void Edit(std::u16string_view key, const Bytes& data, std::size_t length) {
        if (KeyTooLong(key)) { error = -2; return; }
        if (TooLong(length)) { error = -3; return; }
        const std::int32_t p = Find(key);
        if (p == -1) { error = -4; return; }
        records[p].second = data;
        error = 0;
    }
    // Data get, DataB get: the bytes, decoded by the caller.
    Bytes Get(std::u16string_view key) {
        if (KeyTooLong(key)) { error = -2; return {}; }
        const std::int32_t p = Find(key);
        if (p == -1) { error = -4; return {}; }
        error = 0;
        return records[p].second;
    }
    // Data let, DataB let.
    void Let(std::u16string_view key, const Bytes& data, std::size_t length) {
        if (KeyTooLong(key)) { error = -2; return; }
        if (TooLong(length)) { error = -3; return; }
        const std::int32_t p = Find(key);
        if (p != -1) {
            records[p].second = data;
        } else if (Full()) {
            error = -1;
            return;
        } else {
            records.emplace_back(key, data);
        }
        error = 0;
    }
    std::int32_t Length(std::u16string_view key) const {
        const std::int32_t p = Find(key);
        return p == -1 ? 0 : static_cast<std::int32_t>(records[p].second.size());
    }
    // FindData (text compared with each record's decoded data), FindDataB.
    std::int32_t FindData(const Bytes* bytes, const std::u16string* text, std::size_t length) {
        if (TooLong(length)) { error = -3; return -1; }
        for (std::int32_t i = 0; i < Count(); ++i) {
            if (bytes ? records[i].second == *bytes : Decode(records[i].second) == *text) { error = 0; return i; }
        }
        error = -4;
        return -1;
    }
    // Record get, RecordB get, RecordKey get.
    const std::pair<std::u16string, Bytes>* At(std::int32_t p) {
        if (!Valid(p)) { error = -4; return nullptr; }
        error = 0;
        return &records[p];
    }
    // Record let, RecordB let (key == nullptr), RecordKey let (data == nullptr).
    void LetAt(std::int32_t p, const std::u16string* key, const Bytes* data, std::size_t length) {
        if (p < 0 || p > kMaxLetPosition) { error = -4; return; }
        if (key && KeyTooLong(*key)) { error = -2; return; }
        if (data && TooLong(length)) { error = -3; return; }
        if (p >= Count()) records.resize(static_cast<std::size_t>(p) + 1);
        if (key) records[p].first = *key;
        if (data) records[p].second = *data;
    }
    void RecordDelete(std::int32_t p) {
        if (!Valid(p)) { error = -4; return; }
        records.erase(records.begin() + p);
        error = 0;
    }
    // RecordEdit(B), RecordInsert(B).
    void EditAt(std::u16string_view key, const Bytes& data, std::size_t length, std::int32_t p, bool insert) {
        if (KeyTooLong(key)) { error = -2; return; }
        if (TooLong(length)) { error = -3; return; }
        if (p < 0 || p > Count() - (insert ? 0 : 1)) { error = -4; return; }
        if (insert) {
            records.insert(records.begin() + p, {std::u16string(key), data});
        } else {
            records[p] = {std::u16string(key), data};
        }
    }

    Bytes Package() const {
        Bytes out = LongToBytes(1000);
        Bytes size = LongToBytes(static_cast<std::int32_t>(Size()));
        out.insert(out.end(), size.begin(), size.end());
        out.push_back(static_cast<std::uint8_t>(category.size()));
        out.push_back(static_cast<std::uint8_t>(title.size()));
        Bytes count = LongToBytes(Count());
        out.insert(out.end(), count.begin(), count.end());
        for (const auto& text : {category, title}) {
            const Bytes b = Encode(text);
            out.insert(out.end(), b.begin(), b.end());
        }
        for (const auto& [key, data] : records) {
            out.push_back(static_cast<std::uint8_t>(key.size()));
            const Bytes length = LongToBytes(static_cast<std::int32_t>(data.size()));
            out.insert(out.end(), length.begin(), length.end());
            const Bytes k = Encode(key);
            out.insert(out.end(), k.begin(), k.end());
            out.insert(out.end(), data.begin(), data.end());
        }
        return out;
    }
    std::int64_t Size() const {
        std::int64_t size = 14 + static_cast<std::int64_t>(category.size() + title.size());
        for (const auto& [key, data] : records) size += 5 + static_cast<std::int64_t>(key.size() + data.size());
        return size;
    }
    void Load(const Bytes& package) {
        const std::int64_t len = static_cast<std::int64_t>(package.size());
        auto at = [&](std::int64_t p) { return ByteSpan(package).subspan(static_cast<std::size_t>(p), 4); };
        if (len < 14) { error = -100; return; }
        if (BytesToLong(at(0)) != 1000) { error = -110; return; }
        if (BytesToLong(at(4)) != len) { error = -120; return; }
        std::int64_t p = 14;
        std::u16string texts[2];
        for (int t = 0; t < 2; ++t) {
            const std::int64_t n = package[8 + t];
            if (len < p + n) { error = -130; return; }
            const Bytes slice(package.begin() + p, package.begin() + p + n);
            if (!IsPrintable(slice)) { error = -140; return; }
            texts[t] = Decode(slice);
            p += n;
        }
        const std::int32_t count = BytesToLong(at(10));
        if (count < 0) { error = -130; return; }
        std::vector<std::pair<std::u16string, Bytes>> loaded;
        for (std::int32_t i = 0; i < count; ++i) {
            if (len < p + 5) { error = -130; return; }
            const std::int64_t k = package[p];
            const std::int64_t d = BytesToLong(at(p + 1));
            if (d < 0 || len < p + 5 + k + d) { error = -130; return; }
            const Bytes key(package.begin() + p + 5, package.begin() + p + 5 + k);
            if (!IsPrintable(key)) { error = -140; return; }
            loaded.emplace_back(Decode(key), Bytes(package.begin() + p + 5 + k, package.begin() + p + 5 + k + d));
            p += 5 + k + d;
        }
        category = texts[0];
        title = texts[1];
        records = std::move(loaded);
        error = 0;
    }
};

// Keys: few enough to repeat often, with case twins, the empty key, keys
// above 127 and above 255, a shared long prefix, 255 and 256 units.
std::vector<std::u16string> KeyPool() {
    std::vector<std::u16string> keys = {u"",      u"a",        u"A",      u"ab",          u"Key",    u"key",
                                        u"caf\u00E9", u"caf\u00C9", u"\u20AC", u"\u4E00y", u"\u4E00z", Repeat(255, u'k'), Repeat(256, u'k')};
    for (int i = 0; i < 40; ++i) keys.push_back(u"k" + std::u16string(1, static_cast<char16_t>(u'0' + i)));
    for (int i = 0; i < 4; ++i) keys.push_back(Repeat(200, u'p') + std::u16string(1, static_cast<char16_t>(u'a' + i)));
    return keys;
}

struct Value {
    std::u16string text;
    Bytes bytes;  // the same content as bytes
};

class Runner {
public:
    explicit Runner(std::uint64_t seed) : random_(seed), pak_(Windows1252(), kLimits), keys_(KeyPool()) {}

    void Run(int steps) {
        for (step_ = 0; step_ < steps && !::testing::Test::HasFailure(); ++step_) {
            Step();
            // A wrong record stays wrong, so the whole state is compared now and then.
            Compare(step_ % 8 == 7 || step_ + 1 == steps);
        }
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    const std::u16string& Key() { return keys_[Pick(static_cast<int>(keys_.size()))]; }
    // Data: mostly short; sometimes above 255 (not one byte in 1252), or one unit too long.
    Value Data() {
        Value v;
        const int length = Pick(10) == 0 ? kLimits.maxDataLength + 1 : Pick(6);
        for (int i = 0; i < length; ++i) {
            const int r = Pick(20);
            v.text.push_back(r == 0 ? u'\u20AC' : r == 1 ? u'\u4E00' : static_cast<char16_t>(u'a' + Pick(3)));
        }
        v.bytes = Model::Encode(v.text);
        return v;
    }
    std::int32_t Position(bool forLet) {
        const int r = Pick(20);
        if (r == 0) return -1;
        if (r == 1) return forLet ? kMaxLetPosition + 1 : model_.Count() + 1;
        const int spread = forLet && model_.Count() < 100 ? 6 : 2;
        return Pick(model_.Count() + spread);
    }
    template <class T>
    void Same(const T& ours, const T& model, const char* what) {
        EXPECT_EQ(ours, model) << what << " at step " << step_;
    }

    void Step() {
        const int op = Pick(30);
        op_ = op;
        switch (op) {
        case 0: case 1: { Value v = Data(); const auto& k = Key();
            pak_.Append(k, v.text); model_.Append(k, v.bytes, v.text.size()); break; }
        case 2: { Value v = Data(); const auto& k = Key();
            pak_.AppendB(k, v.bytes); model_.Append(k, v.bytes, v.bytes.size()); break; }
        case 3: { Value v = Data(); const auto& k = Key(); const auto& b = Key();
            pak_.Insert(k, v.text, b); model_.Insert(k, v.bytes, v.text.size(), b); break; }
        case 4: { Value v = Data(); const auto& k = Key(); const auto& b = Key();
            pak_.InsertB(k, v.bytes, b); model_.Insert(k, v.bytes, v.bytes.size(), b); break; }
        case 5: case 6: { const auto& k = Key(); pak_.Delete(k); model_.Delete(k); break; }
        case 7: case 8: { const auto& k = Key(); Same(pak_.FindKey(k), model_.FindKey(k), "FindKey"); break; }
        case 9: { Value v = Data(); const auto& k = Key();
            pak_.Edit(k, v.text); model_.Edit(k, v.bytes, v.text.size()); break; }
        case 10: { Value v = Data(); const auto& k = Key();
            pak_.EditB(k, v.bytes); model_.Edit(k, v.bytes, v.bytes.size()); break; }
        case 11: { const auto& k = Key(); Same(pak_.Data(k), Model::Decode(model_.Get(k)), "Data get"); break; }
        case 12: { const auto& k = Key(); Same(pak_.DataB(k), model_.Get(k), "DataB get"); break; }
        case 13: { Value v = Data(); const auto& k = Key();
            pak_.Data(k, v.text); model_.Let(k, v.bytes, v.text.size()); break; }
        case 14: { Value v = Data(); const auto& k = Key();
            pak_.DataB(k, v.bytes); model_.Let(k, v.bytes, v.bytes.size()); break; }
        case 15: { const auto& k = Key(); Same(pak_.Length(k), model_.Length(k), "Length"); break; }
        case 16: { Value v = Data();
            if (Pick(2)) Same(pak_.FindData(v.text), model_.FindData(nullptr, &v.text, v.text.size()), "FindData");
            else Same(pak_.FindDataB(v.bytes), model_.FindData(&v.bytes, nullptr, v.bytes.size()), "FindDataB");
            break; }
        case 17: { const std::int32_t p = Position(false); const auto* r = model_.At(p);
            const int which = Pick(3);
            if (which == 0) Same(pak_.Record(p), r ? Model::Decode(r->second) : u"", "Record get");
            else if (which == 1) Same(pak_.RecordB(p), r ? r->second : Bytes(), "RecordB get");
            else Same(pak_.RecordKey(p), r ? r->first : u"", "RecordKey get");
            break; }
        case 18: { Value v = Data(); const std::int32_t p = Position(true);
            pak_.Record(p, v.text); model_.LetAt(p, nullptr, &v.bytes, v.text.size()); break; }
        case 19: { Value v = Data(); const std::int32_t p = Position(true);
            pak_.RecordB(p, v.bytes); model_.LetAt(p, nullptr, &v.bytes, v.bytes.size()); break; }
        case 20: case 21: { const std::u16string k = Key(); const std::int32_t p = Position(true);
            pak_.RecordKey(p, k); model_.LetAt(p, &k, nullptr, 0); break; }
        case 22: { const std::int32_t p = Position(false); pak_.RecordDelete(p); model_.RecordDelete(p); break; }
        case 23: { Value v = Data(); const auto& k = Key(); const std::int32_t p = Position(false);
            if (Pick(2)) pak_.RecordEdit(k, v.text, p); else pak_.RecordEditB(k, v.bytes, p);
            model_.EditAt(k, v.bytes, v.text.size(), p, false); break; }
        case 24: { Value v = Data(); const auto& k = Key(); const std::int32_t p = Position(false);
            if (Pick(2)) pak_.RecordInsert(k, v.text, p); else pak_.RecordInsertB(k, v.bytes, p);
            model_.EditAt(k, v.bytes, v.text.size(), p, true); break; }
        case 25: {  // the header texts, and now and then emptying the store
            const int which = Pick(8);
            if (which == 0) { pak_.Zap(); model_.records.clear(); }
            else if (which == 1) { pak_.Clear(); model_ = Model{{}, {}, {}, model_.error}; }
            else {
                const std::u16string text = Repeat(Pick(3) == 0 ? 300 : Pick(4), u'T');
                if (which < 5) { pak_.Title(text); model_.title = text.substr(0, 255); }
                else { pak_.Category(text); model_.category = text.substr(0, 255); }
            }
            break; }
        case 26: saved_ = model_.Package(); break;
        case 27: case 28: {  // load a package seen earlier, or this one, whole or damaged
            Bytes package = saved_.empty() || Pick(3) == 0 ? model_.Package() : saved_;
            const int damage = Pick(4);
            if (damage == 1 && package.size() > 14) {
                package.resize(14 + Pick(static_cast<int>(package.size()) - 14));
                const Bytes size = LongToBytes(static_cast<std::int32_t>(package.size()));
                std::copy(size.begin(), size.end(), package.begin() + 4);
            } else if (damage == 2) {
                package[Pick(static_cast<int>(package.size()))] ^= static_cast<std::uint8_t>(1 + Pick(255));
            }
            pak_.Package(package);
            model_.Load(package);
            break; }
        default:
            Same(pak_.Count(), model_.Count(), "Count");
            break;
        }
    }

    void Compare(bool whole) {
        ASSERT_EQ(pak_.ErrorNumber(), model_.error) << "error number after op " << op_ << " at step " << step_;
        ASSERT_EQ(pak_.Count(), model_.Count()) << "count after op " << op_ << " at step " << step_;
        if (!whole) return;
        ASSERT_EQ(pak_.Package(), model_.Package()) << "package after op " << op_ << " at step " << step_;
        ASSERT_EQ(pak_.Size(), model_.Size());
        // Keys whose units the package cannot carry (above 255) are compared here.
        const std::vector<PakRecord> records = pak_.Records();
        for (std::size_t i = 0; i < records.size(); ++i) {
            ASSERT_EQ(records[i].Key, model_.records[i].first) << "key " << i << " after op " << op_;
        }
    }

    std::mt19937_64 random_;
    ckxDataPak pak_;
    Model model_;
    std::vector<std::u16string> keys_;
    Bytes saved_;
    int step_ = 0;
    int op_ = 0;
};

TEST(ModelTest, RandomSequencesAgreeWithTheNaiveScan) {
    for (std::uint64_t seed = 1; seed <= 6 && !HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Runner(seed).Run(3000);
    }
}

}  // namespace
}  // namespace sorbel::test
