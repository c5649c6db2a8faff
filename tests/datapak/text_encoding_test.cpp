// The Windows-1252 text encoding and its use for record text.
#include "test_support.h"

#include <set>

namespace sorbel::test {
namespace {

Bytes Encode(std::u16string_view text) {
    Bytes out(text.size());
    Windows1252().Encode(text, out.data());
    return out;
}

std::u16string Decode(const Bytes& bytes) {
    std::u16string out(bytes.size(), u'\0');
    Windows1252().Decode(bytes, out.data());
    return out;
}

TEST(Windows1252Test, EveryByteRoundTrips) {
    Bytes all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<std::uint8_t>(b));
    const std::u16string text = Decode(all);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(Encode(text), all);
    // Distinct bytes give distinct characters.
    EXPECT_EQ(std::u16string(text).size(), std::set<char16_t>(text.begin(), text.end()).size());
}

TEST(Windows1252Test, KnownCodePoints) {
    EXPECT_EQ(Decode(B({0x41, 0x00, 0x80, 0x9F, 0xA0, 0xE9, 0xFF})),
              (std::u16string{u'A', u'\0', 0x20AC, 0x0178, 0x00A0, 0x00E9, 0x00FF}));
    EXPECT_EQ(Decode(B({0x8A, 0x91, 0x92, 0x96, 0x97, 0x99})),
              (std::u16string{0x0160, 0x2018, 0x2019, 0x2013, 0x2014, 0x2122}));
    // The five bytes 1252 leaves undefined stand for the C1 control of the same code.
    EXPECT_EQ(Decode(B({0x81, 0x8D, 0x8F, 0x90, 0x9D})), (std::u16string{0x81, 0x8D, 0x8F, 0x90, 0x9D}));
}

TEST(Windows1252Test, MissingCharactersBecomeALookAlikeOrQuestionMark) {
    EXPECT_EQ(Encode(u"\u0101\u0141\u017c"), B({'a', 'L', 'z'}));
    EXPECT_EQ(Encode(u"\u2010\u2212\uff21"), B({'-', '-', 'A'}));
    // No look-alike: '?', one byte per character, also for each half of a surrogate pair.
    EXPECT_EQ(Encode(u"\u4e00\u0080\u0132"), B({'?', '?', '?'}));
    EXPECT_EQ(Encode(u"\U0001F600"), B({'?', '?'}));
    // Characters 1252 has are never replaced by a look-alike.
    EXPECT_EQ(Encode(u"\u0152\u0161\u017e"), B({0x8C, 0x9A, 0x9E}));
}

// Long texts are encoded in blocks where they are plain ASCII; the result must
// not depend on where the other characters fall.
TEST(Windows1252Test, LongTextEncodesCharacterByCharacter) {
    std::u16string text;
    for (char16_t c = 0; c < 0x180; ++c) text += c;
    for (char16_t c : {0x20AC, 0x4E00, 0xFF21, 0x2010}) text.insert(text.begin() + (c % 37), c);
    for (std::size_t cut = 0; cut < 24; ++cut) {
        const std::u16string_view part = std::u16string_view(text).substr(cut);
        Bytes expected;
        for (char16_t c : part) expected.push_back(Encode(std::u16string_view(&c, 1))[0]);
        EXPECT_EQ(Encode(part), expected) << cut;
    }
}

TEST(RecordTextTest, EmptyTextIsNoBytes) {
    ckxDataPak pak;
    pak.Append(u"k", u"");
    EXPECT_EQ(pak.Records()[0].Data.capacity(), 0u);
    EXPECT_EQ(pak.Data(u"k"), u"");
}

TEST(RecordTextTest, OneBytePerCharacter) {
    ckxDataPak pak;
    pak.Append(u"k", u"AB");
    EXPECT_EQ(pak.DataB(u"k"), B({65, 66}));
    pak.Data(u"k", u"a\u4e00b");
    EXPECT_EQ(pak.DataB(u"k"), B({'a', '?', 'b'}));
    EXPECT_EQ(pak.Length(u"k"), 3);
    pak.DataB(u"k", B({65, 0, 66}));
    EXPECT_EQ(pak.Data(u"k"), std::u16string(u"A\0B", 3));
}

}  // namespace
}  // namespace sorbel::test
