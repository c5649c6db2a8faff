// The word-processor documents of tests/corpus, read and laid out with fixed metrics: each one
// reads without a failure, gives pages, keeps its words in the laid-out text, and each text
// item stands at its offset in that text.
#include "page_layout.h"
#include "rtf_reader.h"

#include <gtest/gtest.h>

#include "fixed_metrics.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace docengine {
namespace {

TEST(Corpus, EveryDocumentReadsAndLaysOut) {
    int documents = 0;
    for (const auto& entry : std::filesystem::directory_iterator(DOCENGINE_CORPUS_DIR)) {
        if (entry.path().extension() != ".rtf") continue;
        ++documents;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};

        const ReadResult read = ReadRtf(bytes);
        ASSERT_TRUE(read.ok()) << read.message;
        FixedMetrics metrics;
        const Layout layout = LayOut(read.document, PageSetup{}, metrics);
        EXPECT_GE(layout.pages.size(), 1u);

        std::size_t drawnUnits = 0;
        for (const Page& page : layout.pages) {
            for (const TextItem& item : page.texts) {
                if (item.textOffset == kNoTextOffset) continue;
                ASSERT_LE(item.textOffset + item.text.size(), layout.plainText.size());
                ASSERT_EQ(layout.plainText.compare(item.textOffset, item.text.size(), item.text), 0);
                drawnUnits += item.text.size();
            }
        }
        // Text that is read but never drawn would be lost on screen and paper alike.
        std::size_t visibleUnits = 0;
        for (char16_t c : layout.plainText) visibleUnits += (c > u' ' && c != u'\uFFFC');  // pictures are not text
        EXPECT_GE(drawnUnits, visibleUnits);
    }
    EXPECT_GE(documents, 25);
}

}  // namespace
}  // namespace docengine
