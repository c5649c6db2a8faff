// RecordStore: the ordered records of one ckxDataPak object, each in one heap
// block, with an index from key to the lowest position that holds it.
//
// Record block (one allocation; the empty record, empty key and no data, is a
// null pointer and costs only its table entry):
//   [0]       flags: kWideKey when the key has a unit above 127
//   [1]       key length (units)
//   [2..5]    data length, 32-bit big-endian
//   [6..]     key: one byte per unit (narrow) or 16-bit units (wide)
//   [...]     data bytes
// A narrow record's bytes 1 onwards are exactly its package form
// (keyLen dataLen key data), so the package writer copies them in one piece
// when the text encoding writes ASCII as itself.
//
// Key index: open addressing with linear probing over 12-byte slots (position,
// 32-bit hash, number of records with the key). Keys are not copied into it;
// a probe compares the key of the record at the slot's position. The index is
// built on the first keyed lookup (a store that is only appended to and
// written never pays for it) and from then on kept right by every change;
// loading a package or emptying the store drops it.
//
// Exception safety: every mutation either completes or throws std::bad_alloc
// with the store (records, index and counters) as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sorbel {

// A read-only view of one record; valid until the store changes.
class RecordView {
public:
    static constexpr std::uint8_t kWideKey = 1;
    static constexpr std::size_t kHeadSize = 6;

    explicit RecordView(const std::uint8_t* block) : block_(block) {}

    bool IsEmpty() const { return block_ == nullptr; }
    std::uint8_t KeyLength() const { return block_ ? block_[1] : 0; }
    std::int32_t DataLength() const;
    bool HasWideKey() const { return block_ && (block_[0] & kWideKey) != 0; }
    // The key's bytes as stored: one per unit (narrow) or two (wide, in the
    // machine's byte order).
    std::span<const std::uint8_t> KeyBytes() const;
    std::u16string Key() const;
    bool KeyEquals(std::u16string_view key) const;
    bool KeyEquals(RecordView other) const;
    std::span<const std::uint8_t> Data() const;
    // The package form (key length, data length, key, data) of a narrow
    // record; empty for a wide or an empty record.
    std::span<const std::uint8_t> PackageImage() const;
    const std::uint8_t* Block() const { return block_; }

private:
    const std::uint8_t* block_;
};

// An owned record block, made before the store changes.
using RecordBlock = std::unique_ptr<std::uint8_t[]>;

// A block with the given key and room for dataLength data bytes, which the
// caller fills through DataOf. Null for an empty key with no data.
// REQUIRES: key.size() <= 255, dataLength <= 2^31 - 1.
RecordBlock MakeRecord(std::u16string_view key, std::size_t dataLength);
std::uint8_t* DataOf(const RecordBlock& block);

// A narrow block from a record's package form, copied as it is.
// REQUIRES: image holds keyLen dataLen key data, consistent, key units 0..127.
RecordBlock MakeRecordFromImage(std::span<const std::uint8_t> image);

// Hash of a key, over its 16-bit units (a narrow key hashes as its units).
std::uint32_t KeyHash(std::u16string_view key);
std::uint32_t KeyHash(RecordView record);

class RecordStore {
public:
    RecordStore() = default;
    RecordStore(RecordStore&&) noexcept = default;
    RecordStore& operator=(RecordStore&&) noexcept = default;
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    std::int32_t Count() const { return static_cast<std::int32_t>(records_.size()); }
    // REQUIRES: 0 <= position < Count().
    RecordView At(std::int32_t position) const { return RecordView(records_[position].get()); }
    // Sum over all records of (5 + key length + data length).
    std::int64_t PackageBytes() const { return packageBytes_; }

    // Lowest position whose key equals `key` exactly, or -1. Builds the
    // index if there is none yet (may throw std::bad_alloc, changing nothing).
    std::int32_t Find(std::u16string_view key) const;

    // Reserves table room for `count` records in one step, checked against
    // the machine's memory (std::bad_alloc when it cannot be had).
    void Reserve(std::size_t count);
    void Append(RecordBlock record);
    // Replaces the record at the position (key, data or both).
    void Replace(std::int32_t position, RecordBlock record);
    // Adds empty records at the end until the position exists.
    void ExtendTo(std::int32_t position);
    // REQUIRES: 0 <= position <= Count().
    void Insert(std::int32_t position, RecordBlock record);
    // REQUIRES: 0 <= position < Count().
    void Remove(std::int32_t position);
    // Empties the store and releases its memory.
    void Clear() noexcept;

    // Bytes of index memory (slots) now held; 0 while there is no index.
    std::size_t IndexBytes() const { return slots_.capacity() * sizeof(Slot); }
    bool HasIndex() const { return indexed_; }

private:
    struct Slot {
        std::uint32_t position;
        std::uint32_t hash;
        std::uint32_t count;  // 0: free slot
    };
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

    void GrowTable(std::size_t needed);
    void BuildIndex() const;
    std::size_t Bucket(std::uint32_t hash) const;
    std::size_t Next(std::size_t i) const { return i + 1 == slots_.size() ? 0 : i + 1; }
    template <class SameKey>
    std::size_t FindSlot(std::uint32_t hash, SameKey sameKey, std::size_t* freeSlot) const;
    // Room for one more key without growing later (may throw).
    void PrepareAdd() const;
    void Rehash(std::size_t capacity) const;
    // `count` records with the key of `record` now start at `position`.
    void IndexAdd(RecordView record, std::uint32_t hash, std::uint32_t position, std::uint32_t count) const noexcept;
    // The record at `position` (still in place) loses its key.
    void IndexRemove(RecordView record, std::uint32_t position) const noexcept;
    // Every indexed position at or after `from` moves by delta.
    void IndexShift(std::uint32_t from, std::int32_t delta) const noexcept;

    std::vector<RecordBlock> records_;
    std::int64_t packageBytes_ = 0;
    // The index is a cache over records_: built by a const lookup.
    mutable std::vector<Slot> slots_;
    mutable std::size_t usedSlots_ = 0;
    mutable bool indexed_ = false;
};

}  // namespace sorbel
