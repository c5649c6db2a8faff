// layout_bench: the page layout's speed on a generated document of many pages.
//   layout_bench [MB of text, default 40] [--step N]
// Builds a document of that much text (paragraphs of varied words, a bordered table every 40
// paragraphs, a footnote every 25, a header with the page number), lays it out with metrics
// that give each character its own width, and prints pages, seconds, pages/s and the peak
// resident memory. With --step N it lays out N pages per step, as the view does in idle time,
// and also reports how long the first page took.
#include <sys/resource.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "page_layout.h"

using namespace docengine;

namespace {

class VaryingMetrics : public FontMetrics {
public:
    VerticalMetrics Metrics(const FontSpec& f) override { return {f.sizeTwips * 9 / 10, f.sizeTwips / 4}; }
    void Advances(const FontSpec& f, std::u16string_view text, std::vector<int>& out) override {
        ++calls;
        for (char16_t c : text) out.push_back(f.sizeTwips * (30 + c % 40) / 100);
    }
    long calls = 0;
};

Document Generate(std::size_t textBytes) {
    static const char* words[] = {"layout", "page", "of", "the", "document", "engine", "a", "paragraph",
                                  "with", "words", "international", "breaking", "line", "justified", "to"};
    Document d;
    d.sections.emplace_back();
    Section& s = d.sections.back();
    Paragraph header;
    Inline page;
    page.kind = Inline::Kind::PageNumber;
    header.content.push_back(page);
    s.headers.both.push_back(Block{header});
    std::size_t total = 0;
    unsigned seed = 1;
    int n = 0;
    ParaFormat justified, ragged;
    justified.alignment = Alignment::Justify;
    justified.spaceAfter = ragged.spaceAfter = 120;
    const SharedParaFormat justifiedShared(justified), raggedShared(ragged);
    while (total < textBytes) {
        ++n;
        if (n % 40 == 0) {
            Table t;
            for (int r = 0; r < 4; ++r) {
                TableRow row;
                row.gapHalf = 108;
                row.header = r == 0;
                for (int c = 0; c < 3; ++c) {
                    TableCell cell;
                    cell.rightEdge = 3000 * (c + 1);
                    cell.borders.top.style = cell.borders.bottom.style = BorderLine::Style::Single;
                    Paragraph p;
                    Inline in;
                    in.text = u"cell text " + std::u16string(1, u'A' + c);
                    total += in.text.size();
                    p.content.push_back(in);
                    cell.content.push_back(Block{p});
                    row.cells.push_back(cell);
                }
                t.rows.push_back(row);
            }
            s.body.push_back(Block{t});
            continue;
        }
        Paragraph p;
        p.format = n % 3 == 0 ? justifiedShared : raggedShared;
        Inline in;
        for (int w = 0; w < 40; ++w) {
            seed = seed * 1103515245 + 12345;
            const char* word = words[(seed >> 16) % 15];
            in.text.append(word, word + std::strlen(word));
            in.text.push_back(u' ');
        }
        in.format.bold = n % 7 == 0;
        total += in.text.size();
        p.content.push_back(in);
        if (n % 25 == 0) {
            Note note;
            note.mark = u"*";
            Paragraph np;
            Inline nt;
            nt.text = u"A footnote with some text in it.";
            np.content.push_back(nt);
            note.content.push_back(Block{np});
            d.notes.push_back(note);
            Inline ref;
            ref.kind = Inline::Kind::NoteRef;
            ref.note = static_cast<int>(d.notes.size() - 1);
            p.content.push_back(ref);
        }
        s.body.push_back(Block{p});
    }
    return d;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    double mb = 40;
    std::size_t step = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--step") == 0 && i + 1 < argc) step = std::strtoul(argv[++i], nullptr, 10);
        else mb = std::atof(argv[i]);
    }
    const auto t0 = std::chrono::steady_clock::now();
    const Document d = Generate(static_cast<std::size_t>(mb * 1e6));
    const double generate = Seconds(t0);
    rusage generated{};
    getrusage(RUSAGE_SELF, &generated);

    VaryingMetrics metrics;
    const auto t1 = std::chrono::steady_clock::now();
    const std::clock_t c1 = std::clock();
    double firstPage = 0;
    Layout layout;
    if (step) {
        Paginator p(d, PageSetup{}, metrics);
        p.Step(1);
        firstPage = Seconds(t1);
        while (!p.Step(step)) {
        }
        layout = p.TakeLayout();
    } else {
        layout = LayOut(d, PageSetup{}, metrics);
    }
    const double seconds = Seconds(t1);
    const double cpu = static_cast<double>(std::clock() - c1) / CLOCKS_PER_SEC;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("text %.1f MB (%zu chars of plainText), generated in %.2f s\n", mb, layout.plainText.size(),
                generate);
    std::printf("layout: %zu pages in %.2f s wall, %.2f s CPU = %.0f pages/s (CPU), %.1f MB text/s; metrics calls %ld\n",
                layout.pages.size(), seconds, cpu, layout.pages.size() / cpu, mb / cpu, metrics.calls);
    if (step) std::printf("first page ready after %.4f s (steps of %zu pages)\n", firstPage, step);
    std::printf("peak resident memory %.0f MB (%.0f MB after generating the document)\n", usage.ru_maxrss / 1024.0,
                generated.ru_maxrss / 1024.0);
    return 0;
}
