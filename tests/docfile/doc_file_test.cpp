// The .orl reader and writer: golden leading-part bytes, round trips, every
// header status, truncation at every byte, hostile offsets and lengths, and
// the block reader's boundaries.
#include "doc_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

// The 23-byte package of an object titled "T" holding one record k = 01 02.
const Bytes kPackage = {0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x17, 0x00, 0x01, 0x00, 0x00,
                        0x00, 0x01, 0x54, 0x01, 0x00, 0x00, 0x00, 0x02, 0x6B, 0x01, 0x02};
const std::string kRtf = "{\\rtf1 Hi}";

Bytes RtfBytes() { return Bytes(kRtf.begin(), kRtf.end()); }

class DocFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               (std::string("docfile_test_") + info->name() + "_" +
                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path Path(const char* name) const { return dir_ / name; }

    fs::path WriteRaw(const char* name, const Bytes& bytes) const {
        const auto path = Path(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // A valid document's bytes: leading part, kPackage, the RTF.
    static Bytes GoodDocument() {
        Bytes doc = docfile::MakeLeadingPart(static_cast<std::int32_t>(kPackage.size()));
        doc.insert(doc.end(), kPackage.begin(), kPackage.end());
        doc.insert(doc.end(), kRtf.begin(), kRtf.end());
        return doc;
    }

    // A document whose leading part says P and L (and version), with `fileSize` bytes in all.
    fs::path WithHeader(std::int32_t version, std::int32_t p, std::int32_t l, std::size_t fileSize) const {
        Bytes doc = GoodDocument();
        doc.resize(fileSize, 0x20);
        const auto put = [&](std::size_t at, std::int32_t v) {
            const auto u = static_cast<std::uint32_t>(v);
            for (int i = 0; i < 4; ++i) doc[at + i] = static_cast<std::uint8_t>(u >> (24 - 8 * i));
        };
        put(8, version);
        put(12, p);
        put(16, l);
        return WriteRaw("header.orl", doc);
    }

    static Bytes ReadAll(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir_;
};

TEST_F(DocFileTest, LeadingPartHasGoldenBytes) {
    const Bytes expected = {0x89, 0x4F, 0x52, 0x4C, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00,
                            0x00, 0x01, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x17};
    EXPECT_EQ(docfile::MakeLeadingPart(23), expected);
    const Bytes big = docfile::MakeLeadingPart(0x01020304);
    EXPECT_EQ(Bytes(big.begin() + 16, big.end()), (Bytes{0x01, 0x02, 0x03, 0x04}));
}

TEST_F(DocFileTest, LeadingPartRefusesLengthsADocumentCannotHold) {
    EXPECT_THROW(docfile::MakeLeadingPart(-1), std::length_error);
    EXPECT_THROW(docfile::MakeLeadingPart(kMin), std::length_error);
    // P + L + 1 (the text's load position) must stay a 32-bit value.
    EXPECT_THROW(docfile::MakeLeadingPart(kMax - 20), std::length_error);
    EXPECT_NO_THROW(docfile::MakeLeadingPart(kMax - 21));
}

TEST_F(DocFileTest, WrittenDocumentReadsBack) {
    const auto path = Path("good.orl");
    docfile::WriteDocument(path, kPackage, RtfBytes());
    EXPECT_EQ(ReadAll(path), GoodDocument());
    EXPECT_FALSE(fs::exists(Path("good.orl.tmp")));

    const auto h = docfile::ReadDocHeader(path);
    EXPECT_EQ(h.status, docfile::kDocOk);
    EXPECT_EQ(h.version, 1);
    EXPECT_EQ(h.packageOffset, 20);
    EXPECT_EQ(h.packageLength, 23);
    EXPECT_EQ(h.fileSize, 20 + 23 + static_cast<std::int64_t>(kRtf.size()));

    // The viewer's two reads: the package from P + 1, the text from P + L + 1.
    Bytes block;
    ASSERT_EQ(docfile::ReadBlock(path, h.packageOffset + 1, h.packageLength, block), docfile::kBlockOk);
    EXPECT_EQ(block, kPackage);
    const auto textAt = h.packageOffset + h.packageLength + 1;
    ASSERT_EQ(docfile::ReadBlock(path, textAt, static_cast<std::int32_t>(kRtf.size()), block), docfile::kBlockOk);
    EXPECT_EQ(block, RtfBytes());
}

TEST_F(DocFileTest, WriterReplacesAnExistingDocumentAndTakesEmptyParts) {
    const auto path = Path("twice.orl");
    docfile::WriteDocument(path, kPackage, RtfBytes());
    docfile::WriteDocument(path, {}, {});
    EXPECT_EQ(ReadAll(path), docfile::MakeLeadingPart(0));
    const auto h = docfile::ReadDocHeader(path);
    EXPECT_EQ(h.status, docfile::kDocOk);
    EXPECT_EQ(h.packageLength, 0);
}

TEST_F(DocFileTest, WriterFailureNamesThePathAndLeavesNothing) {
    const auto path = Path("no-such-dir") / "doc.orl";
    try {
        docfile::WriteDocument(path, kPackage, RtfBytes());
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("doc.orl"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(DocFileTest, NonAsciiPathsWork) {
    const auto path = dir_ / fs::path(u8"Dokument \u00e4\u00f6\u00fc \u65e5\u672c.orl");
    docfile::WriteDocument(path, kPackage, RtfBytes());
    EXPECT_EQ(docfile::ReadDocHeader(path).status, docfile::kDocOk);
    Bytes block;
    EXPECT_EQ(docfile::ReadBlock(path, 21, 23, block), docfile::kBlockOk);
    EXPECT_EQ(block, kPackage);
}

TEST_F(DocFileTest, MissingAndUnreadableFilesHaveTheirOwnStatus) {
    EXPECT_EQ(docfile::ReadDocHeader(Path("absent.orl")).status, docfile::kDocMissing);
    EXPECT_EQ(docfile::ReadDocHeader(dir_).status, docfile::kDocUnreadable);
    Bytes block{1, 2, 3};
    EXPECT_EQ(docfile::ReadBlock(Path("absent.orl"), 1, 1, block), docfile::kBlockMissing);
    EXPECT_TRUE(block.empty());
    EXPECT_EQ(docfile::ReadBlock(dir_, 1, 0, block), docfile::kBlockUnreadable);
    // A FIFO and a device exist but are no document; neither is opened (a FIFO
    // without a writer would block, /dev/zero would never end).
    ASSERT_EQ(::mkfifo(Path("fifo.orl").c_str(), 0600), 0);
    for (const fs::path& special : {Path("fifo.orl"), fs::path("/dev/zero"), fs::path("/dev/null")}) {
        EXPECT_EQ(docfile::ReadDocHeader(special).status, docfile::kDocUnreadable) << special;
        EXPECT_EQ(docfile::ReadBlock(special, 1, 0, block), docfile::kBlockUnreadable) << special;
    }

    // A NUL inside the path must not open the file named by the part before it.
    docfile::WriteDocument(Path("good.orl"), kPackage, RtfBytes());
    auto withNul = Path("good.orl").native();
    withNul += fs::path::value_type{0};
    withNul += fs::path("x").native();
    EXPECT_EQ(docfile::ReadDocHeader(withNul).status, docfile::kDocMissing);
    EXPECT_EQ(docfile::ReadBlock(withNul, 1, 1, block), docfile::kBlockMissing);
}

TEST_F(DocFileTest, EveryTruncationOfTheLeadingPartIsNotADocument) {
    const Bytes doc = GoodDocument();
    for (std::size_t n = 0; n < 20; ++n) {
        const auto path = WriteRaw("short.orl", Bytes(doc.begin(), doc.begin() + n));
        EXPECT_EQ(docfile::ReadDocHeader(path).status, docfile::kDocNotDocument) << n << " bytes";
    }
}

TEST_F(DocFileTest, EveryTruncationInsideThePackageIsOutside) {
    const Bytes doc = GoodDocument();
    for (std::size_t n = 20; n < 20 + kPackage.size(); ++n) {
        const auto path = WriteRaw("cut.orl", Bytes(doc.begin(), doc.begin() + n));
        EXPECT_EQ(docfile::ReadDocHeader(path).status, docfile::kDocPackageOutside) << n << " bytes";
    }
    // Without any text the package still lies wholly inside.
    const auto path = WriteRaw("notext.orl", Bytes(doc.begin(), doc.begin() + 20 + kPackage.size()));
    EXPECT_EQ(docfile::ReadDocHeader(path).status, docfile::kDocOk);
}

TEST_F(DocFileTest, AnyWrongSignatureByteIsNotADocument) {
    for (std::size_t i = 0; i < 8; ++i) {
        Bytes doc = GoodDocument();
        doc[i] ^= 0x01;
        EXPECT_EQ(docfile::ReadDocHeader(WriteRaw("sig.orl", doc)).status, docfile::kDocNotDocument) << i;
    }
    // A plain RTF file is the likeliest wrong file to be opened.
    const auto rtf = RtfBytes();
    EXPECT_EQ(docfile::ReadDocHeader(WriteRaw("plain.rtf", Bytes(30, 'x'))).status, docfile::kDocNotDocument);
    EXPECT_EQ(docfile::ReadDocHeader(WriteRaw("plain2.rtf", rtf)).status, docfile::kDocNotDocument);
}

TEST_F(DocFileTest, OtherVersionsAreUnsupported) {
    for (std::int32_t v : {0, 2, -1, kMax, kMin}) {
        const auto h = docfile::ReadDocHeader(WithHeader(v, 20, 23, 53));
        EXPECT_EQ(h.status, docfile::kDocUnsupportedVersion) << v;
        EXPECT_EQ(h.version, v);
    }
}

TEST_F(DocFileTest, PackageMustLieWhollyInsideTheFile) {
    struct Case {
        std::int32_t p, l;
        std::size_t size;
        std::int32_t status;
    };
    const Case cases[] = {
        {20, 23, 43, docfile::kDocOk},                // ends exactly at the end of the file
        {20, 24, 43, docfile::kDocPackageOutside},    // one byte past the end
        {25, 18, 43, docfile::kDocOk},                // a longer leading part is fine
        {43, 0, 43, docfile::kDocOk},                 // empty package right at the end
        {44, 0, 43, docfile::kDocPackageOutside},     // empty package beyond the end
        {19, 23, 53, docfile::kDocPackageOutside},    // overlaps the leading part
        {0, 10, 53, docfile::kDocPackageOutside},
        {-1, 23, 53, docfile::kDocPackageOutside},
        {kMin, 23, 53, docfile::kDocPackageOutside},
        {20, -1, 53, docfile::kDocPackageOutside},
        {20, kMin, 53, docfile::kDocPackageOutside},
        {20, kMax, 53, docfile::kDocPackageOutside},  // P + L overflows 32 bits
        {kMax, kMax, 53, docfile::kDocPackageOutside},
        {kMax, 0, 53, docfile::kDocPackageOutside},
    };
    for (const auto& c : cases) {
        const auto h = docfile::ReadDocHeader(WithHeader(1, c.p, c.l, c.size));
        EXPECT_EQ(h.status, c.status) << "P=" << c.p << " L=" << c.l << " size=" << c.size;
        EXPECT_EQ(h.packageOffset, c.p);
        EXPECT_EQ(h.packageLength, c.l);
    }
}

TEST_F(DocFileTest, BlockReadsAtTheEdgesOfTheFile) {
    const auto path = WriteRaw("block.orl", GoodDocument());
    const Bytes all = GoodDocument();
    const auto size = static_cast<std::int32_t>(all.size());
    Bytes block;

    ASSERT_EQ(docfile::ReadBlock(path, 1, size, block), docfile::kBlockOk);  // the whole file
    EXPECT_EQ(block, all);
    ASSERT_EQ(docfile::ReadBlock(path, size, 1, block), docfile::kBlockOk);  // the last byte
    EXPECT_EQ(block, Bytes{all.back()});
    ASSERT_EQ(docfile::ReadBlock(path, 5, size - 4, block), docfile::kBlockOk);  // exactly to the end
    EXPECT_EQ(block, Bytes(all.begin() + 4, all.end()));

    // Empty reads succeed anywhere from the first position to just past the last byte.
    for (std::int32_t start : {1, 10, size, size + 1}) {
        block = {9};
        EXPECT_EQ(docfile::ReadBlock(path, start, 0, block), docfile::kBlockOk) << start;
        EXPECT_TRUE(block.empty());
    }

    struct Case {
        std::int32_t start, length;
    };
    const Case outside[] = {
        {0, 1}, {0, 0}, {-1, 1}, {kMin, 1},  // positions count from 1
        {1, -1}, {1, kMin},                  // negative length
        {5, size - 3},                       // one byte past the end
        {1, size + 1},
        {size + 1, 1},                       // starts just past the end
        {size + 2, 0},
        {kMax, 1}, {kMax, kMax}, {2, kMax},  // no overflow, no 2 GB allocation
        {1, kMax},
    };
    for (const auto& c : outside) {
        block = {9};
        EXPECT_EQ(docfile::ReadBlock(path, c.start, c.length, block), docfile::kBlockOutside)
            << "start=" << c.start << " length=" << c.length;
        EXPECT_TRUE(block.empty());
    }
}

}  // namespace
