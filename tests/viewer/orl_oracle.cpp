// Independent reader of a document's page keys for the UI tests (see orl_oracle.h).
#include "orl_oracle.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace oracle {

const PageKey kPageKeys[6] = {
    {"DocProperty_PageMarginL", L"Navreth.MarginL"},
    {"DocProperty_PageMarginR", L"Navreth.MarginR"},
    {"DocProperty_PageMarginT", L"Navreth.MarginT"},
    {"DocProperty_PageMarginB", L"Navreth.MarginB"},
    {"DocProperty_PageHeight", L"Navreth.PageHeight"},
    {"DocProperty_PageWidth", L"Navreth.PageWidth"},
};

namespace {

// Bounds-checked big-endian reader over a byte buffer.
class Reader {
public:
    Reader(const std::vector<unsigned char>& bytes, size_t begin, size_t end)
        : bytes_(bytes), pos_(begin), end_(end) {}
    bool Int32(std::int32_t& out) {
        if (end_ - pos_ < 4) return false;
        const std::uint32_t value = (std::uint32_t{bytes_[pos_]} << 24) |
                                    (std::uint32_t{bytes_[pos_ + 1]} << 16) |
                                    (std::uint32_t{bytes_[pos_ + 2]} << 8) | bytes_[pos_ + 3];
        out = static_cast<std::int32_t>(value);
        pos_ += 4;
        return true;
    }
    bool Byte(unsigned& out) {
        if (end_ - pos_ < 1) return false;
        out = bytes_[pos_++];
        return true;
    }
    bool Text(size_t n, std::string& out) {
        if (end_ - pos_ < n) return false;
        out.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
        pos_ += n;
        return true;
    }

private:
    const std::vector<unsigned char>& bytes_;
    size_t pos_;
    size_t end_;
};

}  // namespace

std::optional<std::map<std::string, std::string>> ReadDocumentProperties(const std::wstring& path) {
    std::ifstream file{std::filesystem::path(path), std::ios::binary};
    if (!file) return std::nullopt;
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    static const unsigned char kSignature[8] = {0x89, 'O', 'R', 'L', 0x0D, 0x0A, 0x1A, 0x0A};
    if (bytes.size() < 20 || !std::equal(kSignature, kSignature + 8, bytes.begin())) return std::nullopt;
    Reader header(bytes, 8, 20);
    std::int32_t version = 0, offset = 0, length = 0;
    header.Int32(version);
    header.Int32(offset);
    header.Int32(length);
    if (offset < 0 || length < 14 || static_cast<size_t>(offset) > bytes.size() ||
        bytes.size() - static_cast<size_t>(offset) < static_cast<size_t>(length)) {
        return std::nullopt;
    }
    Reader package(bytes, static_cast<size_t>(offset), static_cast<size_t>(offset) + length);
    std::int32_t type = 0, size = 0, count = 0;
    unsigned categoryLength = 0, titleLength = 0;
    std::string category, title;
    if (!package.Int32(type) || type != 1000 || !package.Int32(size) || size != length ||
        !package.Byte(categoryLength) || !package.Byte(titleLength) || !package.Int32(count) ||
        count < 0 || !package.Text(categoryLength, category) || !package.Text(titleLength, title)) {
        return std::nullopt;
    }
    std::map<std::string, std::string> records;
    for (std::int32_t i = 0; i < count; ++i) {
        unsigned keyLength = 0;
        std::int32_t dataLength = 0;
        std::string key, data;
        if (!package.Byte(keyLength) || !package.Int32(dataLength) || dataLength < 0 ||
            !package.Text(keyLength, key) || !package.Text(static_cast<size_t>(dataLength), data)) {
            return std::nullopt;
        }
        records.emplace(key, data);  // emplace keeps the first record of a repeated key
    }
    return records;
}

std::optional<std::int32_t> PageValue(const std::string& stored) {
    const std::string text = "0" + stored;
    size_t i = 0;
    double whole = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') whole = whole * 10 + (text[i++] - '0');
    double fraction = 0, scale = 1;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            scale /= 10;
            fraction += (text[i++] - '0') * scale;
        }
    }
    if (i != text.size()) return std::nullopt;
    double rounded = whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) rounded += 1;
    if (rounded > 2147483647.0) return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

}  // namespace oracle
