// RecordStore: record blocks, the record table and the key index.
//
// Index invariant (while indexed_): for every distinct key among the records
// there is exactly one live slot; its position is the lowest position holding
// the key, its count the number of records holding it, its hash KeyHash of the
// key. Every mutation keeps it so, at O(1) for appends and changes at a
// position (plus a scan to the key's next holder when the lowest one loses
// its key), and at O(index size) for inserts and removals, which move the
// positions behind them (they are O(n) in the table anyway).
#include "record_store.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "memory_limit.h"

namespace sorbel {
namespace {

constexpr std::size_t kPackageHead = 5;  // key length byte + data length

void PutLong(std::uint32_t v, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(v >> 24);
    out[1] = static_cast<std::uint8_t>(v >> 16);
    out[2] = static_cast<std::uint8_t>(v >> 8);
    out[3] = static_cast<std::uint8_t>(v);
}

std::uint32_t GetLong(const std::uint8_t* in) {
    return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) | (std::uint32_t{in[2]} << 8) | in[3];
}

std::size_t KeyBytesOf(const std::uint8_t* block) {
    return (block[0] & RecordView::kWideKey) ? 2 * std::size_t{block[1]} : block[1];
}

// Units are hashed four at a time as one 64-bit word, so that a narrow and a
// wide copy of the same key hash alike.
template <class Unit>
std::uint32_t HashUnits(const Unit* units, std::size_t n) {
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
    std::uint64_t h = 0x243F6A8885A308D3ULL ^ n;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const std::uint64_t word = std::uint64_t{units[i]} | (std::uint64_t{units[i + 1]} << 16) |
                                   (std::uint64_t{units[i + 2]} << 32) | (std::uint64_t{units[i + 3]} << 48);
        h = (h ^ word) * kMultiplier;
        h ^= h >> 32;
    }
    std::uint64_t tail = 0;
    for (unsigned shift = 0; i < n; ++i, shift += 16) tail |= std::uint64_t{units[i]} << shift;
    h = (h ^ tail) * kMultiplier;
    // splitmix64 finaliser: every input bit reaches the 32 bits kept.
    h ^= h >> 30;
    h *= 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 27;
    h *= 0x94D049BB133111EBULL;
    h ^= h >> 31;
    return static_cast<std::uint32_t>(h);
}

// The record table may take at most half of what the machine can give: the
// records' own blocks, the index and the reallocation that copies the table
// need the rest.
bool CanHoldTable(const std::vector<RecordBlock>& table, std::size_t count) {
    return count <= table.max_size() / 2 && MemoryCanHold(std::uint64_t{count} * 2 * sizeof(RecordBlock));
}

}  // namespace

// ---------------------------------------------------------------------------
// Record blocks.

std::int32_t RecordView::DataLength() const {
    return block_ ? static_cast<std::int32_t>(GetLong(block_ + 2)) : 0;
}

std::span<const std::uint8_t> RecordView::KeyBytes() const {
    if (!block_) return {};
    return {block_ + kHeadSize, KeyBytesOf(block_)};
}

std::u16string RecordView::Key() const {
    std::u16string key(KeyLength(), u'\0');
    const auto bytes = KeyBytes();
    if (HasWideKey()) {
        std::memcpy(key.data(), bytes.data(), bytes.size());
    } else {
        std::copy(bytes.begin(), bytes.end(), key.begin());
    }
    return key;
}

bool RecordView::KeyEquals(std::u16string_view key) const {
    if (key.size() != KeyLength()) return false;
    if (key.empty()) return true;
    const std::uint8_t* stored = block_ + kHeadSize;
    if (HasWideKey()) return std::memcmp(stored, key.data(), 2 * key.size()) == 0;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] != stored[i]) return false;
    }
    return true;
}

bool RecordView::KeyEquals(RecordView other) const {
    // The same key is always stored the same way (narrow exactly when every
    // unit is below 128), so equal keys have equal bytes.
    if (KeyLength() != other.KeyLength()) return false;
    if (KeyLength() == 0) return true;
    if (HasWideKey() != other.HasWideKey()) return false;
    return std::memcmp(block_ + kHeadSize, other.block_ + kHeadSize, KeyBytesOf(block_)) == 0;
}

std::span<const std::uint8_t> RecordView::Data() const {
    if (!block_) return {};
    return {block_ + kHeadSize + KeyBytesOf(block_), GetLong(block_ + 2)};
}

std::span<const std::uint8_t> RecordView::PackageImage() const {
    if (!block_ || HasWideKey()) return {};
    return {block_ + 1, kPackageHead + block_[1] + std::size_t{GetLong(block_ + 2)}};
}

RecordBlock MakeRecord(std::u16string_view key, std::size_t dataLength) {
    if (key.empty() && dataLength == 0) return nullptr;
    const bool wide = std::any_of(key.begin(), key.end(), [](char16_t c) { return c > 127; });
    const std::size_t keyBytes = wide ? 2 * key.size() : key.size();
    RecordBlock block(new std::uint8_t[RecordView::kHeadSize + keyBytes + dataLength]);
    block[0] = wide ? RecordView::kWideKey : 0;
    block[1] = static_cast<std::uint8_t>(key.size());
    PutLong(static_cast<std::uint32_t>(dataLength), block.get() + 2);
    std::uint8_t* out = block.get() + RecordView::kHeadSize;
    if (wide) {
        std::memcpy(out, key.data(), keyBytes);
    } else {
        std::copy(key.begin(), key.end(), out);  // every unit is below 128
    }
    return block;
}

std::uint8_t* DataOf(const RecordBlock& block) { return block.get() + RecordView::kHeadSize + KeyBytesOf(block.get()); }

RecordBlock MakeRecordFromImage(std::span<const std::uint8_t> image) {
    if (image.size() == kPackageHead) return nullptr;  // empty key, no data
    RecordBlock block(new std::uint8_t[1 + image.size()]);
    block[0] = 0;
    PrefaultForWrite(block.get(), 1 + image.size());
    std::memcpy(block.get() + 1, image.data(), image.size());
    return block;
}

std::uint32_t KeyHash(std::u16string_view key) { return HashUnits(key.data(), key.size()); }

std::uint32_t KeyHash(RecordView record) {
    const auto bytes = record.KeyBytes();
    if (!record.HasWideKey()) return HashUnits(bytes.data(), bytes.size());
    char16_t units[255];
    std::memcpy(units, bytes.data(), bytes.size());
    return HashUnits(units, record.KeyLength());
}

// ---------------------------------------------------------------------------
// The record table.

// Geometric growth, so that appending costs O(1) amortised; a jump far beyond
// the current size reserves exactly what it needs, after checking that the
// machine can hold it at all.
void RecordStore::GrowTable(std::size_t needed) {
    if (needed <= records_.capacity()) return;
    if (!CanHoldTable(records_, needed)) throw std::bad_alloc();
    std::size_t capacity = std::max(needed, records_.capacity() * 2);
    if (capacity > needed && !CanHoldTable(records_, capacity)) capacity = needed;
    records_.reserve(capacity);
}

void RecordStore::Reserve(std::size_t count) {
    if (count > records_.capacity() && CanHoldTable(records_, count)) {
        records_.reserve(count);
        PrefaultForWrite(records_.data(), records_.capacity() * sizeof(RecordBlock));
    }
}

void RecordStore::Append(RecordBlock record) {
    if (indexed_) PrepareAdd();
    GrowTable(records_.size() + 1);
    const RecordView view(record.get());
    const auto position = static_cast<std::uint32_t>(records_.size());
    records_.push_back(std::move(record));  // within capacity: cannot fail
    packageBytes_ += kPackageHead + view.KeyLength() + std::int64_t{view.DataLength()};
    if (indexed_) IndexAdd(view, KeyHash(view), position, 1);
}

void RecordStore::Replace(std::int32_t position, RecordBlock record) {
    const RecordView old = At(position);
    const RecordView now(record.get());
    const bool rekeyed = indexed_ && !old.KeyEquals(now);
    if (rekeyed) PrepareAdd();
    packageBytes_ += std::int64_t{now.KeyLength()} + now.DataLength() - old.KeyLength() - old.DataLength();
    if (rekeyed) IndexRemove(old, static_cast<std::uint32_t>(position));
    records_[position] = std::move(record);
    if (rekeyed) IndexAdd(now, KeyHash(now), static_cast<std::uint32_t>(position), 1);
}

void RecordStore::ExtendTo(std::int32_t position) {
    if (position < Count()) return;
    const std::size_t needed = static_cast<std::size_t>(position) + 1;
    if (indexed_) PrepareAdd();
    GrowTable(needed);
    const std::size_t first = records_.size();
    records_.resize(needed);  // within capacity: cannot fail; new entries are empty records
    packageBytes_ += static_cast<std::int64_t>(kPackageHead * (needed - first));
    if (indexed_) {
        IndexAdd(RecordView(nullptr), KeyHash(std::u16string_view()), static_cast<std::uint32_t>(first),
                 static_cast<std::uint32_t>(needed - first));
    }
}

void RecordStore::Insert(std::int32_t position, RecordBlock record) {
    if (indexed_) PrepareAdd();
    GrowTable(records_.size() + 1);
    const RecordView view(record.get());
    records_.insert(records_.begin() + position, std::move(record));  // within capacity: cannot fail
    packageBytes_ += kPackageHead + view.KeyLength() + std::int64_t{view.DataLength()};
    if (indexed_) {
        IndexShift(static_cast<std::uint32_t>(position), 1);
        IndexAdd(view, KeyHash(view), static_cast<std::uint32_t>(position), 1);
    }
}

void RecordStore::Remove(std::int32_t position) {
    if (Count() == 1) {
        Clear();
        return;
    }
    const RecordView old = At(position);
    packageBytes_ -= kPackageHead + old.KeyLength() + std::int64_t{old.DataLength()};
    if (indexed_) {
        IndexRemove(old, static_cast<std::uint32_t>(position));
        IndexShift(static_cast<std::uint32_t>(position) + 1, -1);
    }
    records_.erase(records_.begin() + position);
}

void RecordStore::Clear() noexcept {
    std::vector<RecordBlock>().swap(records_);
    packageBytes_ = 0;
    std::vector<Slot>().swap(slots_);
    usedSlots_ = 0;
    indexed_ = false;
}

// ---------------------------------------------------------------------------
// The key index.

std::int32_t RecordStore::Find(std::u16string_view key) const {
    if (records_.empty()) return -1;
    if (!indexed_) BuildIndex();
    const std::size_t i =
        FindSlot(KeyHash(key), [&](RecordView record) { return record.KeyEquals(key); }, nullptr);
    return i == kNotFound ? -1 : static_cast<std::int32_t>(slots_[i].position);
}

// Slot capacity is not a power of two (the hash is spread over it by a
// multiply), so that the index can stay between 53% and 80% full.
std::size_t RecordStore::Bucket(std::uint32_t hash) const {
    return static_cast<std::size_t>((std::uint64_t{hash} * slots_.size()) >> 32);
}

template <class SameKey>
std::size_t RecordStore::FindSlot(std::uint32_t hash, SameKey sameKey, std::size_t* freeSlot) const {
    std::size_t i = Bucket(hash);
    while (slots_[i].count != 0) {
        if (slots_[i].hash == hash && sameKey(At(static_cast<std::int32_t>(slots_[i].position)))) return i;
        i = Next(i);
    }
    if (freeSlot) *freeSlot = i;
    return kNotFound;
}

void RecordStore::PrepareAdd() const {
    constexpr std::size_t kMinSlots = 16;
    if (slots_.empty()) {
        Rehash(kMinSlots);
    } else if ((usedSlots_ + 1) * 5 > slots_.size() * 4) {
        Rehash(slots_.size() + slots_.size() / 2);
    }
}

void RecordStore::Rehash(std::size_t capacity) const {
    std::vector<Slot> fresh(capacity, Slot{0, 0, 0});
    for (const Slot& slot : slots_) {
        if (slot.count == 0) continue;
        std::size_t i = static_cast<std::size_t>((std::uint64_t{slot.hash} * capacity) >> 32);
        while (fresh[i].count != 0) i = i + 1 == capacity ? 0 : i + 1;
        fresh[i] = slot;
    }
    slots_.swap(fresh);
}

void RecordStore::IndexAdd(RecordView record, std::uint32_t hash, std::uint32_t position,
                           std::uint32_t count) const noexcept {
    std::size_t free = kNotFound;
    const std::size_t i = FindSlot(hash, [&](RecordView other) { return other.KeyEquals(record); }, &free);
    if (i != kNotFound) {
        slots_[i].count += count;
        slots_[i].position = std::min(slots_[i].position, position);
        return;
    }
    slots_[free] = Slot{position, hash, count};
    ++usedSlots_;
}

void RecordStore::IndexRemove(RecordView record, std::uint32_t position) const noexcept {
    std::size_t i = FindSlot(KeyHash(record), [&](RecordView other) { return other.KeyEquals(record); }, nullptr);
    Slot& slot = slots_[i];
    if (--slot.count != 0) {
        if (slot.position == position) {
            // The key's other holders all lie behind the lowest one.
            std::uint32_t next = position + 1;
            while (!At(static_cast<std::int32_t>(next)).KeyEquals(record)) ++next;
            slot.position = next;
        }
        return;
    }
    // Free the slot, moving later entries of its probe run back into the gap
    // (no tombstones): an entry at j may fill the gap at i unless its home
    // bucket lies cyclically in (i, j].
    --usedSlots_;
    std::size_t j = i;
    for (;;) {
        j = Next(j);
        if (slots_[j].count == 0) break;
        const std::size_t home = Bucket(slots_[j].hash);
        const bool staysPut = i <= j ? (i < home && home <= j) : (i < home || home <= j);
        if (staysPut) continue;
        slots_[i] = slots_[j];
        i = j;
    }
    slots_[i].count = 0;
}

void RecordStore::IndexShift(std::uint32_t from, std::int32_t delta) const noexcept {
    for (Slot& slot : slots_) {
        if (slot.count != 0 && slot.position >= from) slot.position += static_cast<std::uint32_t>(delta);
    }
}

void RecordStore::BuildIndex() const {
    try {
        std::vector<Slot>().swap(slots_);
        usedSlots_ = 0;
        const std::size_t n = records_.size();
        std::size_t p = 0;
        while (p < n) {
            PrepareAdd();
            if (!records_[p]) {
                // A run of empty records (as extension by position leaves) in one step.
                std::size_t end = p + 1;
                while (end < n && !records_[end]) ++end;
                IndexAdd(RecordView(nullptr), KeyHash(std::u16string_view()), static_cast<std::uint32_t>(p),
                         static_cast<std::uint32_t>(end - p));
                p = end;
                continue;
            }
            const RecordView record = At(static_cast<std::int32_t>(p));
            IndexAdd(record, KeyHash(record), static_cast<std::uint32_t>(p), 1);
            ++p;
        }
        indexed_ = true;
    } catch (...) {
        std::vector<Slot>().swap(slots_);
        usedSlots_ = 0;
        throw;
    }
}

}  // namespace sorbel
