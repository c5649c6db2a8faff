// Benchmarks of the record container against plain baselines, all in one
// process so that bench/ratios.py can compare them run for run.
//
//   large data    Package get / let of an object holding 64 MiB in 4 records of
//                 16 MiB, beside memcpy of the same number of bytes
//   many records  Package get / let of 1,000,000 records (16-character key,
//                 32 data bytes), beside msgpack-c packing / unpacking the same
//                 records
//   appends       1,000,000 and 2,000,000 Append calls on a new object
//   lookup        FindKey of the last of 1,000,000 distinct keys
//   keyed use     1,000,000 AppendB then 1,000,000 DataB reads by key, beside
//                 std::unordered_map<std::u16string, std::vector<uint8_t>>
//                 doing the same
//   extension     Record let at position 50,000,000 on a new object, with
//                 the heap bytes per record it leaves
//   memory        heap bytes per record of 1,000,000 small records, without
//                 and with the key index
//
// Every benchmark reports bytes and/or items processed, so the counters read as
// throughput. Inputs are built once, outside the timed loops.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <msgpack.hpp>

#include "ckx_data_pak.h"

namespace {

using sorbel::Bytes;
using sorbel::ckxDataPak;

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr int kLargeRecords = 4;
constexpr std::size_t kLargeRecordBytes = 16 * kMiB;
constexpr int kSmallRecords = 1'000'000;
constexpr std::size_t kKeyChars = 16;
constexpr std::size_t kSmallDataBytes = 32;

// A bijective 64-bit mix (the splitmix64 finaliser): distinct indexes give
// distinct keys that differ from their first characters on, like real keys
// do, rather than sharing a long common prefix.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Key i: 16 hexadecimal characters, distinct for every i.
std::string NarrowKey(std::uint64_t i) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string key(kKeyChars, '0');
    std::uint64_t v = Mix(i);
    for (std::size_t c = 0; c < kKeyChars; ++c, v >>= 4) key[c] = kHex[v & 15];
    return key;
}

std::u16string WideKey(std::uint64_t i) {
    const std::string narrow = NarrowKey(i);
    return std::u16string(narrow.begin(), narrow.end());
}

Bytes SmallData(std::uint64_t i) {
    Bytes data(kSmallDataBytes);
    for (std::size_t b = 0; b < data.size(); ++b) data[b] = static_cast<std::uint8_t>(i * 131 + b * 7);
    return data;
}

const std::vector<std::u16string>& WideKeys(std::size_t n) {
    static std::vector<std::u16string> keys;
    while (keys.size() < n) keys.push_back(WideKey(keys.size()));
    return keys;
}

// --- large data -------------------------------------------------------------

const ckxDataPak& LargeObject() {
    static const ckxDataPak pak = [] {
        ckxDataPak p;
        Bytes chunk(kLargeRecordBytes);
        for (int r = 0; r < kLargeRecords; ++r) {
            for (std::size_t b = 0; b < chunk.size(); ++b) chunk[b] = static_cast<std::uint8_t>(b * 31 + r);
            p.AppendB(u"chunk" + std::u16string(1, static_cast<char16_t>(u'0' + r)), chunk);
        }
        return p;
    }();
    return pak;
}

const Bytes& LargePackage() {
    static const Bytes package = LargeObject().Package();
    return package;
}

void BM_PackageGet_64MiB(benchmark::State& state) {
    const ckxDataPak& pak = LargeObject();
    for (auto _ : state) {
        Bytes package = pak.Package();
        benchmark::DoNotOptimize(package.data());
    }
    state.SetBytesProcessed(state.iterations() * pak.Size());
}

void BM_PackageLet_64MiB(benchmark::State& state) {
    const Bytes& package = LargePackage();
    ckxDataPak pak;
    pak.Package(package);  // the timed loads all replace a loaded object
    for (auto _ : state) {
        pak.Package(package);
        benchmark::DoNotOptimize(&pak);
    }
    if (pak.ErrorNumber() != sorbel::ckxDataPak_errNoError || pak.Count() != kLargeRecords)
        state.SkipWithError("the package was not loaded");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(package.size()));
}

// Baseline: memcpy of the package's length from one buffer to another that
// was allocated and touched before the timed loop: pure copy bandwidth.
void BM_Memcpy_64MiB(benchmark::State& state) {
    const Bytes& source = LargePackage();
    Bytes target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}

// Baseline: a new uninitialised buffer of the package's length, memcpy into
// it, free it. Any member that hands out a fresh copy pays at least this; at
// 64 MiB the allocator maps new pages every time, so this includes the page
// faults that a warm memcpy does not.
void BM_MemcpyFresh_64MiB(benchmark::State& state) {
    const Bytes& source = LargePackage();
    for (auto _ : state) {
        auto target = std::make_unique_for_overwrite<std::uint8_t[]>(source.size());
        std::memcpy(target.get(), source.data(), source.size());
        benchmark::DoNotOptimize(target.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}

// --- many small records -----------------------------------------------------

using MsgpackRecords = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;

ckxDataPak& SmallObject() {
    static ckxDataPak pak = [] {
        ckxDataPak p;
        const auto& keys = WideKeys(kSmallRecords);
        for (int i = 0; i < kSmallRecords; ++i) p.AppendB(keys[i], SmallData(i));
        return p;
    }();
    return pak;
}

const Bytes& SmallPackage() {
    static const Bytes package = SmallObject().Package();
    return package;
}

const MsgpackRecords& SmallRecords() {
    static const MsgpackRecords records = [] {
        MsgpackRecords r;
        r.reserve(kSmallRecords);
        for (int i = 0; i < kSmallRecords; ++i) r.emplace_back(NarrowKey(i), SmallData(i));
        return r;
    }();
    return records;
}

const msgpack::sbuffer& SmallMsgpack() {
    static const msgpack::sbuffer buffer = [] {
        msgpack::sbuffer b;
        msgpack::pack(b, SmallRecords());
        return b;
    }();
    return buffer;
}

void BM_PackageGet_1M(benchmark::State& state) {
    const ckxDataPak& pak = SmallObject();
    for (auto _ : state) {
        Bytes package = pak.Package();
        benchmark::DoNotOptimize(package.data());
    }
    state.SetItemsProcessed(state.iterations() * kSmallRecords);
    state.SetBytesProcessed(state.iterations() * pak.Size());
}

void BM_PackageLet_1M(benchmark::State& state) {
    const Bytes& package = SmallPackage();
    ckxDataPak pak;
    pak.Package(package);  // the timed loads all replace a loaded object
    for (auto _ : state) {
        pak.Package(package);
        benchmark::DoNotOptimize(&pak);
    }
    if (pak.ErrorNumber() != sorbel::ckxDataPak_errNoError || pak.Count() != kSmallRecords)
        state.SkipWithError("the package was not loaded");
    state.SetItemsProcessed(state.iterations() * kSmallRecords);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(package.size()));
}

// Baseline for Package get: msgpack::pack of the same records, held as a
// std::vector of (std::string key, std::vector<uint8_t> data) pairs, into a
// new msgpack::sbuffer (grown by the library as it writes). The result is an
// array of 1,000,000 two-element arrays [str key, bin data].
void BM_MsgpackPack_1M(benchmark::State& state) {
    const MsgpackRecords& records = SmallRecords();
    std::size_t bytes = 0;
    for (auto _ : state) {
        msgpack::sbuffer buffer;
        msgpack::pack(buffer, records);
        bytes = buffer.size();
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations() * kSmallRecords);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

// Baseline for Package let: msgpack::unpack of that packed array (which
// builds msgpack's object tree in its zone, copying each str and bin into it),
// then conversion of the tree into a new std::vector of (std::string,
// std::vector<uint8_t>) pairs, so that, as with Package let, the result owns
// every key and data block; then the vector and the zone are freed. Package
// let similarly frees the records it replaces. Neither side checks anything
// beyond its own format.
void BM_MsgpackUnpack_1M(benchmark::State& state) {
    const msgpack::sbuffer& buffer = SmallMsgpack();
    for (auto _ : state) {
        msgpack::object_handle handle = msgpack::unpack(buffer.data(), buffer.size());
        MsgpackRecords records;
        handle.get().convert(records);
        benchmark::DoNotOptimize(records.data());
        if (records.size() != static_cast<std::size_t>(kSmallRecords)) state.SkipWithError("wrong record count");
    }
    state.SetItemsProcessed(state.iterations() * kSmallRecords);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buffer.size()));
}

// --- appends ----------------------------------------------------------------

// state.range(0) Append calls (16-character key, 32 characters of text data)
// on a new object; freeing the object afterwards is not timed.
void BM_Append(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto& keys = WideKeys(n);
    const std::u16string data(kSmallDataBytes, u'x');
    for (auto _ : state) {
        std::optional<ckxDataPak> pak(std::in_place);
        for (std::size_t i = 0; i < n; ++i) pak->Append(keys[i], data);
        benchmark::DoNotOptimize(&*pak);
        state.PauseTiming();
        if (pak->Count() != static_cast<std::int32_t>(n)) state.SkipWithError("wrong record count");
        pak.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

// --- lookup -----------------------------------------------------------------

// One FindKey of the key held by the last of 1,000,000 records. The first
// call (in the warm-up) builds the key index; the timed calls look it up.
void BM_FindKeyLast_1M(benchmark::State& state) {
    ckxDataPak& pak = SmallObject();
    const std::u16string last = WideKey(kSmallRecords - 1);
    std::int32_t position = -1;
    for (auto _ : state) {
        position = pak.FindKey(last);
        benchmark::DoNotOptimize(position);
    }
    if (position != kSmallRecords - 1) state.SkipWithError("FindKey did not find the last record");
    state.SetItemsProcessed(state.iterations());
}

// --- keyed use ----------------------------------------------------------------

// 1,000,000 AppendB (16-character key, 32 bytes) on a new object, then a
// DataB read of every key in a shuffled order; each read hands out a copy.
void BM_AppendThenRead_1M(benchmark::State& state) {
    const auto& keys = WideKeys(kSmallRecords);
    const Bytes data = SmallData(7);
    std::vector<std::uint32_t> order(kSmallRecords);
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(Mix(i) % kSmallRecords);
    for (auto _ : state) {
        std::optional<ckxDataPak> pak(std::in_place);
        for (int i = 0; i < kSmallRecords; ++i) pak->AppendB(keys[i], data);
        std::size_t total = 0;
        for (std::uint32_t i : order) total += pak->DataB(keys[i]).size();
        benchmark::DoNotOptimize(total);
        state.PauseTiming();
        if (total != order.size() * data.size()) state.SkipWithError("a read missed");
        pak.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 2 * kSmallRecords);
}

// Baseline: the same inserts and copying reads on a hash map from key to data
// (emplace keeps the first record of a key, as the lowest position wins).
void BM_UnorderedMapAppendThenRead_1M(benchmark::State& state) {
    const auto& keys = WideKeys(kSmallRecords);
    const Bytes data = SmallData(7);
    std::vector<std::uint32_t> order(kSmallRecords);
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(Mix(i) % kSmallRecords);
    for (auto _ : state) {
        std::optional<std::unordered_map<std::u16string, std::vector<std::uint8_t>>> map(std::in_place);
        for (int i = 0; i < kSmallRecords; ++i) map->emplace(keys[i], data);
        std::size_t total = 0;
        for (std::uint32_t i : order) {
            const auto found = map->find(keys[i]);
            std::vector<std::uint8_t> copy = found->second;
            total += copy.size();
        }
        benchmark::DoNotOptimize(total);
        state.PauseTiming();
        if (total != order.size() * data.size()) state.SkipWithError("a read missed");
        map.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 2 * kSmallRecords);
}

// --- extension and memory -----------------------------------------------------

std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Record let at position 50,000,000 on a new object: 50,000,000 empty records
// and one holding the value. Counter bytes_per_record: heap in use afterwards
// over the record count.
void BM_ExtendTo_50M(benchmark::State& state) {
    constexpr std::int32_t kPosition = 50'000'000;
    double perRecord = 0;
    for (auto _ : state) {
        const std::size_t before = HeapInUse();
        std::optional<ckxDataPak> pak(std::in_place);
        pak->Record(kPosition, u"value");
        benchmark::DoNotOptimize(&*pak);
        state.PauseTiming();
        perRecord = static_cast<double>(HeapInUse() - before) / pak->Count();
        if (pak->Count() != kPosition + 1) state.SkipWithError("wrong record count");
        pak.reset();
        state.ResumeTiming();
    }
    state.counters["bytes_per_record"] = perRecord;
}

// Not timed for speed: heap bytes per record of the 1,000,000 small records
// (16-character key, 32 bytes) after appending them, and again after the
// first keyed lookup has built the index.
void BM_MemoryPerRecord_1M(benchmark::State& state) {
    double stored = 0, indexed = 0;
    const auto& keys = WideKeys(kSmallRecords);
    for (auto _ : state) {
        const std::size_t before = HeapInUse();
        std::optional<ckxDataPak> pak(std::in_place);
        for (int i = 0; i < kSmallRecords; ++i) pak->AppendB(keys[i], SmallData(i));
        stored = static_cast<double>(HeapInUse() - before) / kSmallRecords;
        pak->FindKey(keys[0]);
        indexed = static_cast<double>(HeapInUse() - before) / kSmallRecords;
        benchmark::DoNotOptimize(&*pak);
    }
    state.counters["bytes_per_record"] = stored;
    state.counters["with_index"] = indexed;
    state.counters["index_per_record"] = indexed - stored;
}

// Each benchmark warms up before it is timed, so that the pages its buffers
// need are mapped in once rather than charged to the first timed runs; with an
// allocator that keeps freed memory, the timed runs then reuse them.
#define SORBEL_BENCHMARK(...) \
    BENCHMARK(__VA_ARGS__)->Unit(benchmark::kMillisecond)->UseRealTime()->MinWarmUpTime(0.2)

SORBEL_BENCHMARK(BM_PackageGet_64MiB);
SORBEL_BENCHMARK(BM_PackageLet_64MiB);
SORBEL_BENCHMARK(BM_Memcpy_64MiB);
SORBEL_BENCHMARK(BM_MemcpyFresh_64MiB);
SORBEL_BENCHMARK(BM_PackageGet_1M);
SORBEL_BENCHMARK(BM_PackageLet_1M);
SORBEL_BENCHMARK(BM_MsgpackPack_1M);
SORBEL_BENCHMARK(BM_MsgpackUnpack_1M);
SORBEL_BENCHMARK(BM_Append)->Arg(1'000'000)->Arg(2'000'000);
SORBEL_BENCHMARK(BM_FindKeyLast_1M)->Unit(benchmark::kNanosecond);
SORBEL_BENCHMARK(BM_AppendThenRead_1M);
SORBEL_BENCHMARK(BM_UnorderedMapAppendThenRead_1M);
BENCHMARK(BM_ExtendTo_50M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_MemoryPerRecord_1M)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
