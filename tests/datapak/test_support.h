// Helpers shared by the ckxDataPak tests: byte and string literals, a copy of
// an object's whole visible state to compare before and after a call, and an
// encoding that fails on demand to exercise the fault paths.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ckx_data_pak.h"

namespace sorbel::test {

inline Bytes B(std::initializer_list<int> values) {
    Bytes bytes;
    for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

// A string of `n` copies of `c`.
inline std::u16string Repeat(std::size_t n, char16_t c = u'x') { return std::u16string(n, c); }

// The package length worked out from the records themselves.
inline std::int64_t MeasuredSize(const ckxDataPak& pak) {
    std::int64_t size = 14 + static_cast<std::int64_t>(pak.Title().size() + pak.Category().size());
    for (const PakRecord& r : pak.Records()) {
        EXPECT_EQ(r.KeyLength, r.Key.size());
        EXPECT_EQ(r.DataLength, static_cast<std::int64_t>(r.Data.size()));
        size += 5 + static_cast<std::int64_t>(r.Key.size() + r.Data.size());
    }
    return size;
}

// Everything a caller can observe about an object. Taking it also checks the
// store's invariants: the lengths kept in each record and the size the object
// keeps match the keys and data.
struct State {
    std::u16string title;
    std::u16string category;
    std::vector<PakRecord> records;
    std::int32_t error;

    explicit State(const ckxDataPak& pak)
        : title(pak.Title()), category(pak.Category()), records(pak.Records()), error(pak.ErrorNumber()) {
        EXPECT_EQ(pak.Size(), MeasuredSize(pak));
    }
};

inline bool operator==(const State& a, const State& b) {
    return a.title == b.title && a.category == b.category && a.records == b.records && a.error == b.error;
}

inline std::ostream& operator<<(std::ostream& os, const State& s) {
    return os << "{title " << s.title.size() << " chars, category " << s.category.size() << " chars, "
              << s.records.size() << " records, error " << s.error << "}";
}

// The keys of all records, in order.
inline std::vector<std::u16string> Keys(const ckxDataPak& pak) {
    std::vector<std::u16string> keys;
    for (const PakRecord& r : pak.Records()) keys.push_back(r.Key);
    return keys;
}

// Windows-1252 except that U+4E00 (a character a double-byte code page would
// need two bytes for) cannot be written in one byte.
class FailingEncoding final : public TextEncoding {
public:
    static constexpr char16_t kUnencodable = 0x4E00;
    void Encode(std::u16string_view text, std::uint8_t* out) const override {
        if (text.find(kUnencodable) != std::u16string_view::npos) {
            throw std::overflow_error("character needs two bytes");
        }
        Windows1252().Encode(text, out);
    }
    void Decode(std::span<const std::uint8_t> bytes, char16_t* out) const override {
        Windows1252().Decode(bytes, out);
    }
};

inline const std::u16string kUnencodableText = std::u16string(u"a") + FailingEncoding::kUnencodable;

}  // namespace sorbel::test
