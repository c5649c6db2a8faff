// ckxDataPak: an ordered list of keyed records (key text plus data bytes) with a
// title and a category, that turns into one flat big-endian byte array, its
// package, and back, all or nothing.
//
// This is the portable core of the Sorbel COM server; it has no Windows
// dependency. The COM layer converts BSTR and SAFEARRAY values to the types
// used here, calls these members and maps exceptions to failure statuses.
//
// Outcome reporting: a member never throws for a condition it tests. It refuses,
// changes nothing and sets the error number (ErrorNumber()). Exceptions are for
// faults only, and leave the object and its error number as they were:
//   std::bad_alloc        memory cannot be had (checked before large allocations)
//   std::overflow_error   a 32-bit size overflows, or a character needs more
//                         than one byte in the text encoding
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "record_store.h"
#include "text_encoding.h"

namespace sorbel {

class PackageWriter;

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

enum ckxDataPak_ErrorNumber : std::int32_t {
    ckxDataPak_errNoError = 0,
    ckxDataPak_errDatabaseFull = -1,
    ckxDataPak_errKeyTooLong = -2,
    ckxDataPak_errDataTooLong = -3,
    ckxDataPak_errRecordNotFound = -4,
    ckxDataPak_errPackageTooSmall = -100,
    ckxDataPak_errPackageTypeInvalid = -110,
    ckxDataPak_errPackageSizeInvalid = -120,
    ckxDataPak_errPackageImcomplete = -130,
    ckxDataPak_errPackageCorrupt = -140,
};

// The enumeration's member name for a value ("ckxDataPak_errPackageCorrupt"),
// or an empty view for a value that is not a member.
std::string_view ErrorNumberName(std::int32_t value);

// One record as callers see it (Records() hands out copies). The store keeps
// each record in one block (record_store.h) with its lengths beside key and
// data, so that a package's size and layout follow without measuring keys and
// data again.
struct PakRecord {
    std::uint8_t KeyLength = 0;
    std::int32_t DataLength = 0;
    std::u16string Key;
    Bytes Data;

    friend bool operator==(const PakRecord&, const PakRecord&) = default;
};

// Limits the class enforces. Tests may lower them to reach the refusals
// without allocating billions of records.
struct PakLimits {
    std::int32_t maxRecords = 2'000'000'000;     // adding refused once Count() reaches it
    std::int32_t maxDataLength = 2'000'000'000;  // characters of text data or bytes of byte data
};

inline constexpr std::int32_t kPackageTypeId = 1000;
inline constexpr std::int32_t kPackageHeaderSize = 14;
inline constexpr std::size_t kMaxKeyLength = 255;
inline constexpr std::size_t kMaxTextLength = 255;          // Title and Category are cut to this
inline constexpr std::int32_t kMaxLetPosition = 1'999'999'999;  // highest position a property let extends to

class ckxDataPak {
public:
    explicit ckxDataPak(const TextEncoding& encoding = Windows1252(), PakLimits limits = {});

    // Header, error number, type identifier (never touch the error number).
    std::int32_t TypeID() const { return kPackageTypeId; }
    ckxDataPak_ErrorNumber ErrorNumber() const { return errorNumber_; }
    const std::u16string& Title() const { return title_; }
    void Title(std::u16string_view pTitle);
    const std::u16string& Category() const { return category_; }
    void Category(std::u16string_view pCategory);
    std::int32_t Count() const;
    std::int32_t Length(std::u16string_view pKey) const;
    void Zap();
    void Clear();

    // Keyed members, text data.
    void Append(std::u16string_view pKey, std::u16string_view pData);
    void Delete(std::u16string_view pKey);
    std::int32_t FindKey(std::u16string_view pKey);
    void Insert(std::u16string_view pKey, std::u16string_view pData, std::u16string_view pKeyBefore);
    void Edit(std::u16string_view pKey, std::u16string_view pData);
    std::u16string Data(std::u16string_view pKey);
    void Data(std::u16string_view pKey, std::u16string_view pData);

    // Keyed members, byte data.
    void AppendB(std::u16string_view pKey, ByteSpan pData);
    void EditB(std::u16string_view pKey, ByteSpan pData);
    void InsertB(std::u16string_view pKey, ByteSpan pData, std::u16string_view pKeyBefore);
    Bytes DataB(std::u16string_view pKey);
    void DataB(std::u16string_view pKey, ByteSpan pData);

    // Search by data.
    std::int32_t FindData(std::u16string_view pData);
    std::int32_t FindDataB(ByteSpan pData);

    // Positional members.
    Bytes RecordB(std::int32_t pIndex);
    void RecordB(std::int32_t pIndex, ByteSpan pData);
    std::u16string Record(std::int32_t pIndex);
    void Record(std::int32_t pIndex, std::u16string_view pData);
    std::u16string RecordKey(std::int32_t pIndex);
    void RecordKey(std::int32_t pIndex, std::u16string_view pKey);
    void RecordDelete(std::int32_t pIndex);
    void RecordEdit(std::u16string_view pKey, std::u16string_view pData, std::int32_t pIndex);
    void RecordEditB(std::u16string_view pKey, ByteSpan pData, std::int32_t pIndex);
    void RecordInsert(std::u16string_view pKey, std::u16string_view pData, std::int32_t pIndex);
    void RecordInsertB(std::u16string_view pKey, ByteSpan pData, std::int32_t pIndex);

    // Package: the flat byte form of the whole object.
    std::int32_t Size() const;
    Bytes Package() const;
    // The same bytes written into `out`, which must hold exactly Size() bytes
    // (std::length_error otherwise), for a caller that owns the result's memory.
    void PackageInto(std::span<std::uint8_t> out) const;
    void Package(ByteSpan pPackage);

    // A copy of every record in order, for tools and tests that walk them all.
    std::vector<PakRecord> Records() const;
    // The store itself, read-only (record views, memory in use).
    const RecordStore& Store() const { return store_; }
    const TextEncoding& Encoding() const { return *encoding_; }

private:
    std::int32_t LastIndex() const;
    bool IsKeyTooLong(std::u16string_view key) const;
    bool IsDataTooLong(std::u16string_view text) const;
    bool IsDataTooLongB(ByteSpan bytes) const;
    bool IsDatabaseFull() const;
    std::int32_t FindIndex(std::u16string_view key, std::int32_t occurrence) const;
    std::int32_t FindDataIndex(std::u16string_view text, std::int32_t occurrence) const;
    std::int32_t FindDataIndexB(ByteSpan bytes, std::int32_t occurrence) const;
    // StoreAt and InsertAt take a record block made beforehand, so that every
    // allocation of key and data happens before the store changes.
    RecordBlock TextRecord(std::u16string_view key, std::u16string_view text) const;
    static RecordBlock ByteRecord(std::u16string_view key, ByteSpan bytes);
    // The key of the record at a position, or the empty key of a record that
    // extension to that position would add.
    std::u16string OwnKey(std::int32_t position) const;
    void StoreAt(RecordBlock record, std::int32_t position);
    void ExtendTo(std::int32_t position);
    void GrowByOne();
    void InsertAt(RecordBlock record, std::int32_t position);
    void RemoveAt(std::int32_t position);
    void EraseRecords() noexcept;
    std::int32_t DataLengthAt(std::int32_t position) const;
    std::u16string BytesToText(ByteSpan bytes) const;
    bool IsPositionValid(std::int32_t position) const;
    void WritePackage(PackageWriter& writer, std::int32_t size) const;
    void Refuse(ckxDataPak_ErrorNumber reason) { errorNumber_ = reason; }

    const TextEncoding* encoding_;
    PakLimits limits_;
    std::u16string category_;
    std::u16string title_;
    RecordStore store_;
    // Whether the encoding writes characters 0 to 127 as themselves, so that
    // a record with such a key is written by copying its block.
    bool asciiAsItself_;
    ckxDataPak_ErrorNumber errorNumber_ = ckxDataPak_errNoError;
};

// Package number encoding: 32-bit signed, most significant byte first.
Bytes LongToBytes(std::int32_t value);
std::int32_t BytesToLong(ByteSpan fourBytes);
bool IsPrintable(ByteSpan bytes);
bool BytesEqual(ByteSpan a, ByteSpan b);
// Copy of up to `length` bytes from `start`, clamped at the end; empty for a
// start past the end or a length of 0 or less. Never reads outside `package`.
Bytes SliceBytes(ByteSpan package, std::int32_t start, std::int32_t length);

}  // namespace sorbel
