// The JSON form of packages used by `sorbel dump` and `sorbel pack`, and the
// UTF-8/UTF-16 conversion it rests on.
#include "package_json.h"

#include <gtest/gtest.h>

#include "unicode.h"

namespace sorbel::tool {
namespace {

const Bytes kWorkedExample = {0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x17, 0x00, 0x01, 0x00, 0x00,
                              0x00, 0x01, 0x54, 0x01, 0x00, 0x00, 0x00, 0x02, 0x6B, 0x01, 0x02};

std::string Message(const Json& json) {
    ckxDataPak pak;
    try {
        PackageFromJson(json, pak);
    } catch (const JsonInputError& e) {
        return e.what();
    }
    return "(accepted)";
}

Bytes Pack(const Json& json) {
    ckxDataPak pak;
    PackageFromJson(json, pak);
    return pak.Package();
}

TEST(Unicode, Utf8ToUtf16CoversOneToFourByteSequences) {
    // "A", e-acute, euro sign, U+1F600 (a surrogate pair in UTF-16).
    const auto text = Utf8ToUtf16("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, (std::u16string{u'A', 0x00E9, 0x20AC, 0xD83D, 0xDE00}));
    EXPECT_EQ(Utf16ToUtf8(*text), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(Unicode, Utf8ToUtf16RefusesMalformedInput) {
    EXPECT_FALSE(Utf8ToUtf16("\xC3").has_value());              // cut short
    EXPECT_FALSE(Utf8ToUtf16("\xC0\xAF").has_value());          // overlong '/'
    EXPECT_FALSE(Utf8ToUtf16("\xED\xA0\x80").has_value());      // encoded surrogate
    EXPECT_FALSE(Utf8ToUtf16("\xF4\x90\x80\x80").has_value());  // beyond U+10FFFF
    EXPECT_FALSE(Utf8ToUtf16("\xFF").has_value());
    EXPECT_FALSE(Utf8ToUtf16("a\x80").has_value());  // stray continuation byte
    EXPECT_EQ(Utf8ToUtf16(std::string_view("a\0b", 3)), (std::u16string{u'a', 0, u'b'}));
}

TEST(Unicode, UnpairedSurrogateBecomesReplacementCharacter) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
}

TEST(Hex, LowerCaseOutAndEitherCaseIn) {
    EXPECT_EQ(ToHex(Bytes{0x00, 0xAB, 0xFF, 0x10}), "00abff10");
    EXPECT_EQ(ToHex(Bytes{}), "");
    EXPECT_EQ(FromHex("00abFF10"), (Bytes{0x00, 0xAB, 0xFF, 0x10}));
    EXPECT_EQ(FromHex(""), Bytes{});
    EXPECT_FALSE(FromHex("abc").has_value());
    EXPECT_FALSE(FromHex("0g").has_value());
    EXPECT_FALSE(FromHex("01 02").has_value());
}

TEST(Encoding, EncodeExactlyRefusesCharactersOutsideTheCodePage) {
    EXPECT_EQ(EncodeExactly(Windows1252(), u"caf\u00e9 \u20ac"), (Bytes{'c', 'a', 'f', 0xE9, ' ', 0x80}));
    EXPECT_FALSE(EncodeExactly(Windows1252(), u"\u03a9").has_value());  // Greek capital omega
    EXPECT_EQ(EncodeExactly(Windows1252(), u""), Bytes{});
}

TEST(PackageToJson, WorkedExample) {
    ckxDataPak pak;
    pak.Package(kWorkedExample);
    ASSERT_EQ(pak.ErrorNumber(), ckxDataPak_errNoError);
    const Json expected = Json::parse(R"({"category": "", "title": "T",
                                          "records": [{"key": "k", "hex": "0102"}]})");
    EXPECT_EQ(PackageToJson(pak), expected);
    EXPECT_EQ(PackageToJson(pak).dump(), expected.dump());  // member order too
}

TEST(PackageToJson, TextOnlyWhenEveryByteIsPrintable) {
    ckxDataPak pak;
    pak.AppendB(u"printable", Bytes{' ', 'a', '~'});
    pak.AppendB(u"tab", Bytes{'a', '\t'});
    pak.AppendB(u"high", Bytes{'a', 0x7F});
    pak.AppendB(u"latin", Bytes{0xE9});
    pak.AppendB(u"empty", Bytes{});
    const Json records = PackageToJson(pak)["records"];
    EXPECT_EQ(records[0]["text"], " a~");
    EXPECT_FALSE(records[1].contains("text"));
    EXPECT_FALSE(records[2].contains("text"));
    EXPECT_FALSE(records[3].contains("text"));
    EXPECT_EQ(records[3]["hex"], "e9");
    EXPECT_EQ(records[4]["text"], "");
    EXPECT_EQ(records[4]["hex"], "");
}

TEST(PackageFromJson, WorkedExampleGivesTheExactBytes) {
    EXPECT_EQ(Pack(Json::parse(R"({"category": "", "title": "T", "records": [{"key": "k", "hex": "0102"}]})")),
              kWorkedExample);
    // Members left out are empty; the "document" member that dump adds is ignored.
    EXPECT_EQ(Pack(Json::parse(R"({"title": "T", "document": {"version": 1},
                                   "records": [{"key": "k", "hex": "0102"}]})")),
              kWorkedExample);
}

TEST(PackageFromJson, KeepsOrderDuplicatesAndEmptyKeys) {
    ckxDataPak pak;
    PackageFromJson(Json::parse(R"({"records": [{"key": "b", "text": "1"}, {"key": "a", "text": "2"},
                                                {"key": "b", "text": "3"}, {"key": "", "hex": ""}]})"),
                    pak);
    ASSERT_EQ(pak.Count(), 4);
    const auto& records = pak.Records();
    EXPECT_EQ(records[0].Key, u"b");
    EXPECT_EQ(records[1].Key, u"a");
    EXPECT_EQ(records[2].Key, u"b");
    EXPECT_EQ(records[2].Data, Bytes{'3'});
    EXPECT_EQ(records[3].Key, u"");
    EXPECT_TRUE(records[3].Data.empty());
}

TEST(PackageFromJson, TextIsEncodedInTheContainersCodePage) {
    ckxDataPak pak;
    PackageFromJson(Json::parse(R"({"records": [{"key": "k", "text": "caf\u00e9 \u20ac"}]})"), pak);
    EXPECT_EQ(pak.Records().at(0).Data, (Bytes{'c', 'a', 'f', 0xE9, ' ', 0x80}));
}

TEST(PackageFromJson, HexAndTextMustAgreeWhenBothAreGiven) {
    EXPECT_EQ(Pack(Json::parse(R"({"records": [{"key": "k", "hex": "4f4b", "text": "OK"}]})")),
              Pack(Json::parse(R"({"records": [{"key": "k", "text": "OK"}]})")));
    EXPECT_NE(Message(Json::parse(R"({"records": [{"key": "k", "hex": "4f4b", "text": "NO"}]})"))
                  .find("record 0: \"hex\" and \"text\" give different data"),
              std::string::npos);
}

TEST(PackageFromJson, RefusesWhatWouldBeLostOrMisread) {
    const std::string longText(256, 'x');
    const struct {
        Json json;
        std::string expected;
    } cases[] = {
        {Json::array(), "the top level must be an object"},
        {Json::parse(R"({"titel": "T"})"), "unknown member \"titel\""},
        {Json::parse(R"({"title": 5})"), "\"title\" must be a string"},
        {Json{{"title", longText}}, "\"title\" has 256 characters"},
        {Json{{"category", longText}}, "\"category\" has 256 characters"},
        {Json::parse(R"({"title": "\u03a9"})"), "\"title\" holds a character"},
        {Json::parse(R"({"records": {}})"), "\"records\" must be an array"},
        {Json::parse(R"({"records": [{"text": "x"}]})"), "record 0 has no \"key\""},
        {Json::parse(R"({"records": [{"key": "k"}]})"), "record 0 has neither \"hex\" nor \"text\""},
        {Json::parse(R"({"records": [{"key": "k", "Text": "x"}]})"), "record 0: unknown member \"Text\""},
        {Json::parse(R"({"records": [{"key": "k", "hex": "0"}]})"), "even number of hexadecimal digits"},
        {Json::parse(R"({"records": [{"key": "k", "text": "\u03a9"}]})"), "give the data as \"hex\""},
        {Json::parse(R"({"records": [{"key": "k", "text": "a"}, {"key": "\u03a9", "text": "a"}]})"),
         "record 1: the key holds a character"},
        {Json{{"records", {{{"key", longText}, {"text", "a"}}}}}, "record 0: the key has 256 characters"},
    };
    for (const auto& c : cases) {
        const std::string message = Message(c.json);
        EXPECT_NE(message.find(c.expected), std::string::npos) << c.json.dump() << " gave: " << message;
    }
}

TEST(PackageFromJson, LongestTextsAreKept) {
    const std::string text255(255, 'x');
    ckxDataPak pak;
    PackageFromJson(Json{{"title", text255}, {"category", text255}, {"records", {{{"key", text255}, {"text", ""}}}}},
                    pak);
    ckxDataPak loaded;
    loaded.Package(pak.Package());
    ASSERT_EQ(loaded.ErrorNumber(), ckxDataPak_errNoError);
    EXPECT_EQ(loaded.Title().size(), 255u);
    EXPECT_EQ(loaded.Category().size(), 255u);
    EXPECT_EQ(loaded.Records().at(0).Key.size(), 255u);
}

}  // namespace
}  // namespace sorbel::tool
