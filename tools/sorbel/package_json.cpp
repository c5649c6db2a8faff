// Conversion between a ckxDataPak and its JSON form (see package_json.h).
#include "package_json.h"

#include "unicode.h"

namespace sorbel::tool {
namespace {

bool AllPrintable(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) {
        if (b < 32 || b > 126) return false;
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::u16string ToUtf16(const std::string& utf8, const std::string& where) {
    auto text = Utf8ToUtf16(utf8);
    // The JSON parser already refuses malformed UTF-8; this guards direct callers.
    if (!text) throw JsonInputError(where + " is not valid UTF-8");
    return *std::move(text);
}

const std::string& StringMember(const Json& object, const char* name, const std::string& where) {
    const auto& value = object.at(name);
    if (!value.is_string()) throw JsonInputError(where + " \"" + name + "\" must be a string");
    return value.get_ref<const std::string&>();
}

// Title and category: the container cuts longer values to 255 characters;
// here that would lose text, so it is refused.
std::u16string HeaderText(const Json& json, const char* name, const TextEncoding& encoding) {
    if (!json.contains(name)) return {};
    const std::string where = std::string("\"") + name + "\"";
    auto text = ToUtf16(StringMember(json, name, "the"), where);
    if (text.size() > kMaxTextLength) {
        throw JsonInputError(where + " has " + std::to_string(text.size()) +
                             " characters; at most 255 fit in a package");
    }
    if (!EncodeExactly(encoding, text)) {
        throw JsonInputError(where + " holds a character that the package text encoding (Windows-1252) cannot hold");
    }
    return text;
}

}  // namespace

std::string ToHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 0x0F]);
    }
    return hex;
}

std::optional<Bytes> FromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    Bytes bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

std::optional<Bytes> EncodeExactly(const TextEncoding& encoding, std::u16string_view text) {
    Bytes bytes(text.size());
    try {
        encoding.Encode(text, bytes.data());
    } catch (const std::overflow_error&) {
        return std::nullopt;
    }
    if (DecodeBytes(encoding, bytes) != text) return std::nullopt;
    return bytes;
}

std::u16string DecodeBytes(const TextEncoding& encoding, std::span<const std::uint8_t> bytes) {
    std::u16string text(bytes.size(), u'\0');
    encoding.Decode(bytes, text.data());
    return text;
}

Json PackageToJson(const ckxDataPak& pak) {
    Json json;
    json["category"] = Utf16ToUtf8(pak.Category());
    json["title"] = Utf16ToUtf8(pak.Title());
    Json records = Json::array();
    for (const PakRecord& record : pak.Records()) {
        Json entry;
        entry["key"] = Utf16ToUtf8(record.Key);
        entry["hex"] = ToHex(record.Data);
        if (AllPrintable(record.Data)) {
            entry["text"] = Utf16ToUtf8(DecodeBytes(pak.Encoding(), record.Data));
        }
        records.push_back(std::move(entry));
    }
    json["records"] = std::move(records);
    return json;
}

void PackageFromJson(const Json& json, ckxDataPak& pak) {
    if (!json.is_object()) throw JsonInputError("the top level must be an object");
    for (const auto& [name, value] : json.items()) {
        if (name != "category" && name != "title" && name != "records" && name != "document") {
            throw JsonInputError("unknown member \"" + name +
                                 "\" (expected \"category\", \"title\", \"records\")");
        }
    }
    const TextEncoding& encoding = pak.Encoding();
    pak.Category(HeaderText(json, "category", encoding));
    pak.Title(HeaderText(json, "title", encoding));
    if (!json.contains("records")) return;
    const Json& records = json.at("records");
    if (!records.is_array()) throw JsonInputError("\"records\" must be an array");

    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string where = "record " + std::to_string(i);
        const Json& record = records[i];
        if (!record.is_object()) throw JsonInputError(where + " must be an object");
        for (const auto& [name, value] : record.items()) {
            if (name != "key" && name != "hex" && name != "text") {
                throw JsonInputError(where + ": unknown member \"" + name +
                                     "\" (expected \"key\", \"hex\", \"text\")");
            }
        }
        if (!record.contains("key")) throw JsonInputError(where + " has no \"key\"");
        const std::u16string key = ToUtf16(StringMember(record, "key", where), where + " key");
        if (key.size() > kMaxKeyLength) {
            throw JsonInputError(where + ": the key has " + std::to_string(key.size()) +
                                 " characters; at most 255 fit in a package");
        }
        if (!EncodeExactly(encoding, key)) {
            throw JsonInputError(where + ": the key holds a character that the package text encoding "
                                 "(Windows-1252) cannot hold");
        }

        std::optional<Bytes> data;
        if (record.contains("hex")) {
            data = FromHex(StringMember(record, "hex", where));
            if (!data) throw JsonInputError(where + ": \"hex\" must be an even number of hexadecimal digits");
        }
        if (record.contains("text")) {
            const std::u16string text = ToUtf16(StringMember(record, "text", where), where + " text");
            auto encoded = EncodeExactly(encoding, text);
            if (!encoded) {
                throw JsonInputError(where + ": \"text\" holds a character that the package text encoding "
                                     "(Windows-1252) cannot hold; give the data as \"hex\"");
            }
            if (data && *data != *encoded) {
                throw JsonInputError(where + ": \"hex\" and \"text\" give different data; keep only one of them");
            }
            if (!data) {
                pak.Append(key, text);
            }
        }
        if (!record.contains("hex") && !record.contains("text")) {
            throw JsonInputError(where + " has neither \"hex\" nor \"text\"");
        }
        if (data) pak.AppendB(key, *data);
        if (pak.ErrorNumber() != ckxDataPak_errNoError) {
            throw JsonInputError(where + ": refused by the container: " +
                                 std::string(ErrorNumberName(pak.ErrorNumber())) + " (" +
                                 std::to_string(pak.ErrorNumber()) + ")");
        }
    }
}

}  // namespace sorbel::tool
