// ckxDataPak: the record store, its keyed, positional and byte-array members,
// search by data, and the package writer and loader.
//
// Every member tests all its conditions before it changes anything; a failed
// test sets the error number and returns. The new record block (key, bytes,
// converted text) is made before the store changes, and the store's own
// changes either complete or throw with nothing changed, so that a fault (an
// exception) leaves the object and its error number exactly as they were.
// Keyed lookups go through the store's key index (record_store.h).
//
// Package grammar (big-endian 32-bit signed numbers, one byte per character):
//   package  := type:i32(=1000) size:i32 catLen:u8 titleLen:u8 count:i32
//               category[catLen] title[titleLen] record*count
//   record   := keyLen:u8 dataLen:i32 key[keyLen] data[dataLen]
// size equals the whole array's length; texts hold only bytes 32 to 126 on load.
#include "ckx_data_pak.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "memory_limit.h"

namespace sorbel {
namespace {

constexpr std::int32_t kRecordHeadSize = 5;  // key length byte + data length

// A hint to start loading memory that will be read soon; nothing where the
// compiler has no such builtin.
inline void Prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

void PutLong(std::int32_t value, std::uint8_t* out) {
    const auto v = static_cast<std::uint32_t>(value);
    out[0] = static_cast<std::uint8_t>(v >> 24);
    out[1] = static_cast<std::uint8_t>(v >> 16);
    out[2] = static_cast<std::uint8_t>(v >> 8);
    out[3] = static_cast<std::uint8_t>(v);
}

}  // namespace

// Appends to a buffer reserved at the package's exact size, so that it is never
// grown, and large data blocks are copied in once without being zero-filled
// first. Small pieces (headers, keys, short data) are gathered in a buffer on
// the stack and appended a few kilobytes at a time, which keeps the work per
// record to a handful of plain copies.
class PackageWriter {
public:
    // Appends to `out`, reserved at the package's size.
    PackageWriter(Bytes& out, const TextEncoding& encoding) : vector_(&out), encoding_(encoding) {}
    // Writes to `out`, which holds exactly the package's size.
    PackageWriter(std::uint8_t* out, const TextEncoding& encoding) : block_(out), encoding_(encoding) {}
    PackageWriter(const PackageWriter&) = delete;
    PackageWriter& operator=(const PackageWriter&) = delete;

    void Header(std::int32_t size, std::size_t categoryLength, std::size_t titleLength, std::int32_t count) {
        std::uint8_t* w = Stage(kPackageHeaderSize);
        PutLong(kPackageTypeId, w);
        PutLong(size, w + 4);
        w[8] = static_cast<std::uint8_t>(categoryLength);
        w[9] = static_cast<std::uint8_t>(titleLength);
        PutLong(count, w + 10);
        used_ += kPackageHeaderSize;
    }

    // Category, title: at most 255 characters each.
    void Text(std::u16string_view text) {
        std::uint8_t* w = Stage(text.size());
        encoding_.Encode(text, w);
        used_ += text.size();
    }

    // A narrow record's block already holds its package form; other records
    // are written field by field.
    void Record(RecordView record, bool asciiAsItself) {
        const ByteSpan image = asciiAsItself ? record.PackageImage() : ByteSpan();
        if (!image.empty()) {
            Put(image);
            return;
        }
        const std::size_t keyLength = record.KeyLength();
        std::uint8_t* w = Stage(kRecordHeadSize + keyLength);
        w[0] = record.KeyLength();
        PutLong(record.DataLength(), w + 1);
        if (keyLength != 0) encoding_.Encode(record.Key(), w + kRecordHeadSize);
        used_ += kRecordHeadSize + keyLength;
        Put(record.Data());
    }

    void Flush() {
        Emit(stage_, used_);
        used_ = 0;
    }

private:
    static constexpr std::size_t kStageSize = 16 * 1024;
    static constexpr std::size_t kSmallData = 1024;
    static_assert(kRecordHeadSize + kMaxKeyLength + kSmallData <= kStageSize);
    static_assert(kSmallData <= kStageSize);

    // Small pieces go through the stage, large ones straight to the output.
    void Put(ByteSpan bytes) {
        if (bytes.size() <= kSmallData) {
            if (!bytes.empty()) std::memcpy(Stage(bytes.size()), bytes.data(), bytes.size());
            used_ += bytes.size();
        } else {
            Flush();
            Emit(bytes.data(), bytes.size());
        }
    }

    // Room for n more bytes in the stage (n is at most what one record stages).
    std::uint8_t* Stage(std::size_t n) {
        if (used_ + n > kStageSize) {
            Flush();
        }
        return stage_ + used_;
    }

    void Emit(const std::uint8_t* bytes, std::size_t n) {
        if (n == 0) return;
        if (vector_) {
            vector_->insert(vector_->end(), bytes, bytes + n);
        } else {
            std::memcpy(block_, bytes, n);
            block_ += n;
        }
    }

    Bytes* vector_ = nullptr;
    std::uint8_t* block_ = nullptr;
    const TextEncoding& encoding_;
    std::uint8_t stage_[kStageSize];
    std::size_t used_ = 0;
};

namespace {

bool WritesAsciiAsItself(const TextEncoding& encoding) {
    char16_t ascii[128];
    std::uint8_t bytes[128];
    for (int c = 0; c < 128; ++c) ascii[c] = static_cast<char16_t>(c);
    try {
        encoding.Encode(std::u16string_view(ascii, 128), bytes);
    } catch (const std::exception&) {
        return false;
    }
    for (int c = 0; c < 128; ++c) {
        if (bytes[c] != c) return false;
    }
    return true;
}

}  // namespace

std::string_view ErrorNumberName(std::int32_t value) {
    switch (value) {
    case ckxDataPak_errNoError: return "ckxDataPak_errNoError";
    case ckxDataPak_errDatabaseFull: return "ckxDataPak_errDatabaseFull";
    case ckxDataPak_errKeyTooLong: return "ckxDataPak_errKeyTooLong";
    case ckxDataPak_errDataTooLong: return "ckxDataPak_errDataTooLong";
    case ckxDataPak_errRecordNotFound: return "ckxDataPak_errRecordNotFound";
    case ckxDataPak_errPackageTooSmall: return "ckxDataPak_errPackageTooSmall";
    case ckxDataPak_errPackageTypeInvalid: return "ckxDataPak_errPackageTypeInvalid";
    case ckxDataPak_errPackageSizeInvalid: return "ckxDataPak_errPackageSizeInvalid";
    case ckxDataPak_errPackageImcomplete: return "ckxDataPak_errPackageImcomplete";
    case ckxDataPak_errPackageCorrupt: return "ckxDataPak_errPackageCorrupt";
    default: return {};
    }
}

// ---------------------------------------------------------------------------
// Number and byte helpers of the package format.

Bytes LongToBytes(std::int32_t value) {
    Bytes bytes(4);
    PutLong(value, bytes.data());
    return bytes;
}

std::int32_t BytesToLong(ByteSpan fourBytes) {
    const std::uint32_t v = (std::uint32_t{fourBytes[0]} << 24) | (std::uint32_t{fourBytes[1]} << 16) |
                            (std::uint32_t{fourBytes[2]} << 8) | std::uint32_t{fourBytes[3]};
    return static_cast<std::int32_t>(v);  // two's complement (well defined since C++20)
}

bool IsPrintable(ByteSpan bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b >= 32 && b <= 126; });
}

bool BytesEqual(ByteSpan a, ByteSpan b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

Bytes SliceBytes(ByteSpan package, std::int32_t start, std::int32_t length) {
    if (start < 0 || length <= 0 || static_cast<std::size_t>(start) >= package.size()) {
        return {};
    }
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(length), package.size() - start);
    const auto first = package.begin() + start;
    Bytes slice;
    slice.reserve(count);
    PrefaultForWrite(slice.data(), count);
    slice.insert(slice.end(), first, first + count);
    return slice;
}

// ---------------------------------------------------------------------------
// Construction, header and private store operations.

ckxDataPak::ckxDataPak(const TextEncoding& encoding, PakLimits limits)
    : encoding_(&encoding), limits_(limits), asciiAsItself_(WritesAsciiAsItself(encoding)) {}

std::vector<PakRecord> ckxDataPak::Records() const {
    std::vector<PakRecord> records;
    records.reserve(store_.Count());
    for (std::int32_t i = 0; i < store_.Count(); ++i) {
        const RecordView view = store_.At(i);
        PakRecord& record = records.emplace_back();
        record.KeyLength = view.KeyLength();
        record.DataLength = view.DataLength();
        record.Key = view.Key();
        record.Data.assign(view.Data().begin(), view.Data().end());
    }
    return records;
}

void ckxDataPak::Title(std::u16string_view pTitle) {
    std::u16string title(pTitle.substr(0, kMaxTextLength));
    title_ = std::move(title);
}

void ckxDataPak::Category(std::u16string_view pCategory) {
    std::u16string category(pCategory.substr(0, kMaxTextLength));
    category_ = std::move(category);
}

std::int32_t ckxDataPak::Count() const { return store_.Count(); }

std::int32_t ckxDataPak::LastIndex() const { return Count() - 1; }

bool ckxDataPak::IsKeyTooLong(std::u16string_view key) const { return key.size() > kMaxKeyLength; }

bool ckxDataPak::IsDataTooLong(std::u16string_view text) const {
    return text.size() > static_cast<std::size_t>(limits_.maxDataLength);
}

bool ckxDataPak::IsDataTooLongB(ByteSpan bytes) const {
    return bytes.size() > static_cast<std::size_t>(limits_.maxDataLength);
}

bool ckxDataPak::IsDatabaseFull() const { return LastIndex() > limits_.maxRecords - 2; }

bool ckxDataPak::IsPositionValid(std::int32_t position) const { return position >= 0 && position <= LastIndex(); }

// The first occurrence (the only one the members ask for) comes from the key
// index; a later one is counted out by a scan from there.
std::int32_t ckxDataPak::FindIndex(std::u16string_view key, std::int32_t occurrence) const {
    const std::int32_t first = store_.Find(key);
    if (first == -1 || occurrence <= 0) return first;
    std::int32_t matches = 0;
    for (std::int32_t i = first; i <= LastIndex(); ++i) {
        if (store_.At(i).KeyEquals(key) && matches++ == occurrence) {
            return i;
        }
    }
    return -1;
}

std::int32_t ckxDataPak::FindDataIndex(std::u16string_view text, std::int32_t occurrence) const {
    // Decoding gives one character per byte, so only records with as many
    // bytes as the text has characters can decode to it.
    std::u16string decoded;
    std::int32_t matches = 0;
    for (std::int32_t i = 0; i <= LastIndex(); ++i) {
        const ByteSpan data = store_.At(i).Data();
        if (data.size() != text.size()) {
            continue;
        }
        decoded.resize(data.size());
        encoding_->Decode(data, decoded.data());
        if (std::u16string_view(decoded) == text && matches++ == occurrence) {
            return i;
        }
    }
    return -1;
}

std::int32_t ckxDataPak::FindDataIndexB(ByteSpan bytes, std::int32_t occurrence) const {
    std::int32_t matches = 0;
    for (std::int32_t i = 0; i <= LastIndex(); ++i) {
        if (BytesEqual(store_.At(i).Data(), bytes) && matches++ == occurrence) {
            return i;
        }
    }
    return -1;
}

RecordBlock ckxDataPak::TextRecord(std::u16string_view key, std::u16string_view text) const {
    RecordBlock record = MakeRecord(key, text.size());
    if (!text.empty()) encoding_->Encode(text, DataOf(record));
    return record;
}

RecordBlock ckxDataPak::ByteRecord(std::u16string_view key, ByteSpan bytes) {
    RecordBlock record = MakeRecord(key, bytes.size());
    if (!bytes.empty()) std::memcpy(DataOf(record), bytes.data(), bytes.size());
    return record;
}

std::u16string ckxDataPak::OwnKey(std::int32_t position) const {
    return position <= LastIndex() ? store_.At(position).Key() : std::u16string();
}

// The block carries key, data and both lengths, so KeyLength and DataLength
// are refreshed with them.
void ckxDataPak::StoreAt(RecordBlock record, std::int32_t position) { store_.Replace(position, std::move(record)); }

// Lengthens the store to position + 1 records, or throws std::bad_alloc with
// the store unchanged. An added record is empty and costs one table entry.
void ckxDataPak::ExtendTo(std::int32_t position) { store_.ExtendTo(position); }

void ckxDataPak::GrowByOne() { ExtendTo(LastIndex() + 1); }

void ckxDataPak::InsertAt(RecordBlock record, std::int32_t position) { store_.Insert(position, std::move(record)); }

void ckxDataPak::RemoveAt(std::int32_t position) { store_.Remove(position); }

void ckxDataPak::EraseRecords() noexcept { store_.Clear(); }

std::int32_t ckxDataPak::DataLengthAt(std::int32_t position) const {
    return static_cast<std::int32_t>(store_.At(position).Data().size());
}

std::u16string ckxDataPak::BytesToText(ByteSpan bytes) const {
    std::u16string text(bytes.size(), u'\0');
    encoding_->Decode(bytes, text.data());
    return text;
}

// ---------------------------------------------------------------------------
// Keyed members, text data.

std::int32_t ckxDataPak::Length(std::u16string_view pKey) const {
    const std::int32_t p = FindIndex(pKey, 0);
    return p == -1 ? 0 : DataLengthAt(p);
}

void ckxDataPak::Zap() { EraseRecords(); }

void ckxDataPak::Clear() {
    Category(u"");
    Title(u"");
    EraseRecords();
}

void ckxDataPak::Append(std::u16string_view pKey, std::u16string_view pData) {
    if (IsDatabaseFull()) return Refuse(ckxDataPak_errDatabaseFull);
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLong(pData)) return Refuse(ckxDataPak_errDataTooLong);
    // Converted before the record is added: a failed conversion adds nothing.
    store_.Append(TextRecord(pKey, pData));
    errorNumber_ = ckxDataPak_errNoError;
}

void ckxDataPak::Insert(std::u16string_view pKey, std::u16string_view pData, std::u16string_view pKeyBefore) {
    if (IsDatabaseFull()) return Refuse(ckxDataPak_errDatabaseFull);
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLong(pData)) return Refuse(ckxDataPak_errDataTooLong);
    const std::int32_t p = FindIndex(pKeyBefore, 0);
    if (p == -1) return Refuse(ckxDataPak_errRecordNotFound);
    InsertAt(TextRecord(pKey, pData), p);
    errorNumber_ = ckxDataPak_errNoError;
}

void ckxDataPak::Delete(std::u16string_view pKey) {
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    const std::int32_t p = FindIndex(pKey, 0);
    if (p == -1) return Refuse(ckxDataPak_errRecordNotFound);
    RemoveAt(p);
    errorNumber_ = ckxDataPak_errNoError;
}

std::int32_t ckxDataPak::FindKey(std::u16string_view pKey) {
    if (IsKeyTooLong(pKey)) {
        Refuse(ckxDataPak_errKeyTooLong);
        return -1;
    }
    const std::int32_t p = FindIndex(pKey, 0);
    if (p == -1) {
        Refuse(ckxDataPak_errRecordNotFound);
        return -1;
    }
    errorNumber_ = ckxDataPak_errNoError;
    return p;
}

void ckxDataPak::Edit(std::u16string_view pKey, std::u16string_view pData) {
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLong(pData)) return Refuse(ckxDataPak_errDataTooLong);
    const std::int32_t p = FindIndex(pKey, 0);
    if (p == -1) return Refuse(ckxDataPak_errRecordNotFound);
    StoreAt(TextRecord(OwnKey(p), pData), p);
    errorNumber_ = ckxDataPak_errNoError;
}

std::u16string ckxDataPak::Data(std::u16string_view pKey) {
    if (IsKeyTooLong(pKey)) {
        Refuse(ckxDataPak_errKeyTooLong);
        return {};
    }
    const std::int32_t p = FindIndex(pKey, 0);
    if (p == -1) {
        Refuse(ckxDataPak_errRecordNotFound);
        return {};
    }
    std::u16string text = BytesToText(store_.At(p).Data());
    errorNumber_ = ckxDataPak_errNoError;
    return text;
}

void ckxDataPak::Data(std::u16string_view pKey, std::u16string_view pData) {
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLong(pData)) return Refuse(ckxDataPak_errDataTooLong);
    const std::int32_t p = FindIndex(pKey, 0);
    if (p != -1) {
        StoreAt(TextRecord(OwnKey(p), pData), p);
    } else {
        if (IsDatabaseFull()) return Refuse(ckxDataPak_errDatabaseFull);
        store_.Append(TextRecord(pKey, pData));
    }
    errorNumber_ = ckxDataPak_errNoError;
}

// ---------------------------------------------------------------------------
// Keyed members, byte data, and search by data.

void ckxDataPak::AppendB(std::u16string_view pKey, ByteSpan pData) {
    if (IsDatabaseFull()) return Refuse(ckxDataPak_errDatabaseFull);
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLongB(pData)) return Refuse(ckxDataPak_errDataTooLong);
    store_.Append(ByteRecord(pKey, pData));
    errorNumber_ = ckxDataPak_errNoError;
}

void ckxDataPak::EditB(std::u16string_view pKey, ByteSpan pData) {
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLongB(pData)) return Refuse(ckxDataPak_errDataTooLong);
    const std::int32_t p = FindIndex(pKey, 0);
    if (p == -1) return Refuse(ckxDataPak_errRecordNotFound);
    StoreAt(ByteRecord(OwnKey(p), pData), p);
    errorNumber_ = ckxDataPak_errNoError;
}

void ckxDataPak::InsertB(std::u16string_view pKey, ByteSpan pData, std::u16string_view pKeyBefore) {
    if (IsDatabaseFull()) return Refuse(ckxDataPak_errDatabaseFull);
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLongB(pData)) return Refuse(ckxDataPak_errDataTooLong);
    const std::int32_t p = FindIndex(pKeyBefore, 0);
    if (p == -1) return Refuse(ckxDataPak_errRecordNotFound);
    InsertAt(ByteRecord(pKey, pData), p);
    errorNumber_ = ckxDataPak_errNoError;
}

Bytes ckxDataPak::DataB(std::u16string_view pKey) {
    if (IsKeyTooLong(pKey)) {
        Refuse(ckxDataPak_errKeyTooLong);
        return {};
    }
    const std::int32_t p = FindIndex(pKey, 0);
    if (p == -1) {
        Refuse(ckxDataPak_errRecordNotFound);
        return {};
    }
    const ByteSpan data = store_.At(p).Data();
    Bytes bytes(data.begin(), data.end());
    errorNumber_ = ckxDataPak_errNoError;
    return bytes;
}

void ckxDataPak::DataB(std::u16string_view pKey, ByteSpan pData) {
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLongB(pData)) return Refuse(ckxDataPak_errDataTooLong);
    const std::int32_t p = FindIndex(pKey, 0);
    if (p != -1) {
        StoreAt(ByteRecord(OwnKey(p), pData), p);
    } else {
        if (IsDatabaseFull()) return Refuse(ckxDataPak_errDatabaseFull);
        store_.Append(ByteRecord(pKey, pData));
    }
    errorNumber_ = ckxDataPak_errNoError;
}

std::int32_t ckxDataPak::FindData(std::u16string_view pData) {
    if (IsDataTooLong(pData)) {
        Refuse(ckxDataPak_errDataTooLong);
        return -1;
    }
    const std::int32_t i = FindDataIndex(pData, 0);
    errorNumber_ = i == -1 ? ckxDataPak_errRecordNotFound : ckxDataPak_errNoError;
    return i;
}

std::int32_t ckxDataPak::FindDataB(ByteSpan pData) {
    if (IsDataTooLongB(pData)) {
        Refuse(ckxDataPak_errDataTooLong);
        return -1;
    }
    const std::int32_t i = FindDataIndexB(pData, 0);
    errorNumber_ = i == -1 ? ckxDataPak_errRecordNotFound : ckxDataPak_errNoError;
    return i;
}

// ---------------------------------------------------------------------------
// Positional members. The getters and RecordDelete write the error number on
// every path; the setters, edits and inserts write it only when they refuse.

Bytes ckxDataPak::RecordB(std::int32_t pIndex) {
    if (!IsPositionValid(pIndex)) {
        Refuse(ckxDataPak_errRecordNotFound);
        return {};
    }
    const ByteSpan data = store_.At(pIndex).Data();
    Bytes bytes(data.begin(), data.end());
    errorNumber_ = ckxDataPak_errNoError;
    return bytes;
}

std::u16string ckxDataPak::Record(std::int32_t pIndex) {
    if (!IsPositionValid(pIndex)) {
        Refuse(ckxDataPak_errRecordNotFound);
        return {};
    }
    std::u16string text = BytesToText(store_.At(pIndex).Data());
    errorNumber_ = ckxDataPak_errNoError;
    return text;
}

std::u16string ckxDataPak::RecordKey(std::int32_t pIndex) {
    if (!IsPositionValid(pIndex)) {
        Refuse(ckxDataPak_errRecordNotFound);
        return {};
    }
    std::u16string key = store_.At(pIndex).Key();
    errorNumber_ = ckxDataPak_errNoError;
    return key;
}

// The three property lets accept any position up to kMaxLetPosition and
// extend the store to reach it. The new record (with the record's own key or
// data, or the empty ones of a record the extension adds) is made before the
// store is extended, so a fault leaves no extension records behind. Should
// storing it fail after the extension, the added empty records stay.
void ckxDataPak::RecordB(std::int32_t pIndex, ByteSpan pData) {
    if (pIndex < 0 || pIndex > kMaxLetPosition) return Refuse(ckxDataPak_errRecordNotFound);
    if (IsDataTooLongB(pData)) return Refuse(ckxDataPak_errDataTooLong);
    RecordBlock record = ByteRecord(OwnKey(pIndex), pData);
    ExtendTo(pIndex);
    StoreAt(std::move(record), pIndex);
}

void ckxDataPak::Record(std::int32_t pIndex, std::u16string_view pData) {
    if (pIndex < 0 || pIndex > kMaxLetPosition) return Refuse(ckxDataPak_errRecordNotFound);
    if (IsDataTooLong(pData)) return Refuse(ckxDataPak_errDataTooLong);
    RecordBlock record = TextRecord(OwnKey(pIndex), pData);
    ExtendTo(pIndex);
    StoreAt(std::move(record), pIndex);
}

void ckxDataPak::RecordKey(std::int32_t pIndex, std::u16string_view pKey) {
    if (pIndex < 0 || pIndex > kMaxLetPosition) return Refuse(ckxDataPak_errRecordNotFound);
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    RecordBlock record = ByteRecord(pKey, pIndex <= LastIndex() ? store_.At(pIndex).Data() : ByteSpan());
    ExtendTo(pIndex);
    StoreAt(std::move(record), pIndex);
}

void ckxDataPak::RecordDelete(std::int32_t pIndex) {
    if (!IsPositionValid(pIndex)) return Refuse(ckxDataPak_errRecordNotFound);
    RemoveAt(pIndex);
    errorNumber_ = ckxDataPak_errNoError;
}

void ckxDataPak::RecordEdit(std::u16string_view pKey, std::u16string_view pData, std::int32_t pIndex) {
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLong(pData)) return Refuse(ckxDataPak_errDataTooLong);
    if (!IsPositionValid(pIndex)) return Refuse(ckxDataPak_errRecordNotFound);
    StoreAt(TextRecord(pKey, pData), pIndex);
}

void ckxDataPak::RecordEditB(std::u16string_view pKey, ByteSpan pData, std::int32_t pIndex) {
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLongB(pData)) return Refuse(ckxDataPak_errDataTooLong);
    if (!IsPositionValid(pIndex)) return Refuse(ckxDataPak_errRecordNotFound);
    StoreAt(ByteRecord(pKey, pData), pIndex);
}

void ckxDataPak::RecordInsert(std::u16string_view pKey, std::u16string_view pData, std::int32_t pIndex) {
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLong(pData)) return Refuse(ckxDataPak_errDataTooLong);
    if (pIndex < 0 || pIndex > Count()) return Refuse(ckxDataPak_errRecordNotFound);
    InsertAt(TextRecord(pKey, pData), pIndex);
}

void ckxDataPak::RecordInsertB(std::u16string_view pKey, ByteSpan pData, std::int32_t pIndex) {
    if (IsKeyTooLong(pKey)) return Refuse(ckxDataPak_errKeyTooLong);
    if (IsDataTooLongB(pData)) return Refuse(ckxDataPak_errDataTooLong);
    if (pIndex < 0 || pIndex > Count()) return Refuse(ckxDataPak_errRecordNotFound);
    InsertAt(ByteRecord(pKey, pData), pIndex);
}

// ---------------------------------------------------------------------------
// Package.

// 14 + category + title + sum of (5 + key + data), the last kept by the store. It cannot overflow 64 bits (at most 2e9 records of at most
// 2e9 + 260 bytes); beyond the 32-bit range it is an overflow fault.
std::int32_t ckxDataPak::Size() const {
    const std::int64_t size = kPackageHeaderSize + static_cast<std::int64_t>(category_.size()) +
                              static_cast<std::int64_t>(title_.size()) + store_.PackageBytes();
    if (size > std::numeric_limits<std::int32_t>::max()) {
        throw std::overflow_error("package size exceeds 2147483647 bytes");
    }
    return static_cast<std::int32_t>(size);
}

// Writes the package into one buffer of exactly Size() bytes. The buffer is a
// local until it is returned, so a fault (overflow, out of memory, a character
// the encoding cannot write as one byte) leaves the object untouched.
Bytes ckxDataPak::Package() const {
    const std::int32_t size = Size();
    Bytes out;
    out.reserve(static_cast<std::size_t>(size));
    PrefaultForWrite(out.data(), out.capacity());
    PackageWriter writer(out, *encoding_);
    WritePackage(writer, size);
    return out;
}

void ckxDataPak::PackageInto(std::span<std::uint8_t> out) const {
    const std::int32_t size = Size();
    if (out.size() != static_cast<std::size_t>(size)) {
        throw std::length_error("the package buffer does not have the package's size");
    }
    PackageWriter writer(out.data(), *encoding_);
    WritePackage(writer, size);
}

void ckxDataPak::WritePackage(PackageWriter& writer, std::int32_t size) const {
    writer.Header(size, category_.size(), title_.size(), Count());
    writer.Text(category_);
    writer.Text(title_);
    // Each record lives in its own heap block: while one record is written,
    // ask for the block of a record a few places ahead, so that the copying
    // does not wait on memory.
    constexpr std::int32_t kLookAhead = 16;
    const std::int32_t count = store_.Count();
    for (std::int32_t i = 0; i < count; ++i) {
        if (i + kLookAhead < count) Prefetch(store_.At(i + kLookAhead).Block());
        writer.Record(store_.At(i), asciiAsItself_);
    }
    writer.Flush();
}

// Loads a package all or nothing. Refusals, in this order: fewer than 14
// bytes (-100); type not 1000 (-110); size field not the array length (-120);
// then, reading on, a part that runs past the end (-130) or text bytes outside
// 32..126 (-140), the category before the title before each record. Beyond
// the format's own tests, a negative record count and a negative data length
// are refused with -130. Positions are summed in 64 bits, so no length field
// can make them wrap. The temporary table grows as records are read; it is
// reserved up front only up to what the remaining bytes can hold (each record
// takes at least 5), so a lying count cannot make us allocate more than a
// small multiple of the input.
void ckxDataPak::Package(ByteSpan pPackage) {
    const std::int64_t len = static_cast<std::int64_t>(pPackage.size());
    if (len < kPackageHeaderSize) return Refuse(ckxDataPak_errPackageTooSmall);
    if (BytesToLong(pPackage.subspan(0, 4)) != kPackageTypeId) return Refuse(ckxDataPak_errPackageTypeInvalid);
    if (BytesToLong(pPackage.subspan(4, 4)) != len) return Refuse(ckxDataPak_errPackageSizeInvalid);
    // From here on len fits in 32 bits: it equals the size field.
    const std::int32_t categoryLength = pPackage[8];
    const std::int32_t titleLength = pPackage[9];
    const std::int32_t count = BytesToLong(pPackage.subspan(10, 4));

    std::int64_t p = kPackageHeaderSize;
    if (len < p + categoryLength) return Refuse(ckxDataPak_errPackageImcomplete);
    const ByteSpan categoryBytes = pPackage.subspan(p, categoryLength);
    if (!IsPrintable(categoryBytes)) return Refuse(ckxDataPak_errPackageCorrupt);
    std::u16string category = BytesToText(categoryBytes);
    p += categoryLength;

    if (len < p + titleLength) return Refuse(ckxDataPak_errPackageImcomplete);
    const ByteSpan titleBytes = pPackage.subspan(p, titleLength);
    if (!IsPrintable(titleBytes)) return Refuse(ckxDataPak_errPackageCorrupt);
    std::u16string title = BytesToText(titleBytes);
    p += titleLength;

    if (count < 0) return Refuse(ckxDataPak_errPackageImcomplete);
    RecordStore table;
    table.Reserve(static_cast<std::size_t>(std::min<std::int64_t>(count, (len - p) / kRecordHeadSize)));
    for (std::int32_t i = 0; i < count; ++i) {
        if (len < p + kRecordHeadSize) return Refuse(ckxDataPak_errPackageImcomplete);
        const std::int32_t keyLength = pPackage[p];
        const std::int32_t dataLength = BytesToLong(pPackage.subspan(p + 1, 4));
        if (dataLength < 0 || len < p + kRecordHeadSize + keyLength + dataLength) {
            return Refuse(ckxDataPak_errPackageImcomplete);
        }
        if (!IsPrintable(pPackage.subspan(p + kRecordHeadSize, keyLength))) {
            return Refuse(ckxDataPak_errPackageCorrupt);
        }
        // A loaded key is printable ASCII, so the record's package form is
        // its block as it stands.
        const std::int64_t recordLength = kRecordHeadSize + keyLength + dataLength;
        table.Append(MakeRecordFromImage(pPackage.subspan(p, recordLength)));
        p += recordLength;
    }

    category_ = std::move(category);
    title_ = std::move(title);
    store_ = std::move(table);
    errorNumber_ = ckxDataPak_errNoError;
}

}  // namespace sorbel
