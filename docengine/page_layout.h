// Pagination: lays a Document out on pages of a given size and margins (see layout.h for what
// a page holds). The view lays out incrementally so that it can show page 1 at once and finish
// in idle time:
//
//   Paginator paginator(document, setup, metrics);
//   paginator.Step(1);                        // page 1 (and maybe more) is ready
//   while (!paginator.Step(50)) { ... }        // more pages per idle slice
//   Layout layout = paginator.TakeLayout();
//
// or all at once with LayOut(). Until Finished(), Result().pages grows (hold indices, not
// references), the last page may still change, footnote items' textOffsets are provisional and
// PageCount fields show the count the file stored; once Finished() everything is final.
//
// What it lays out: sections (page, continuous, column, even and odd breaks; columns with the
// line between; headers and footers first/left/right; page numbering restarts), paragraphs
// (line breaking, alignment, indents, spacing, tabs, borders and shading, keeps, widow and
// orphan control, page breaks before and after), tables (rows moved whole to the next page
// unless taller than a page, repeated header rows, merged cells), inline pictures, footnotes at
// the page foot and endnotes at the document's end. Degenerate input (sizes of zero or beyond
// reason, absurd page settings, huge pictures or words) is clamped, never looped on: the work
// is linear in the document's size.
#pragma once

#include <cstddef>
#include <memory>

#include "document.h"
#include "layout.h"

namespace docengine {

// The page settings layout uses: `setup` unless it is unusable (a size of 0 or less, or
// margins that leave no room), in which case Letter with 1-inch margins, like the viewer.
PageSetup UsablePageSetup(const PageSetup& setup);

class Paginator {
public:
    // `document` and `metrics` must outlive the paginator.
    Paginator(const Document& document, const PageSetup& setup, FontMetrics& metrics);
    ~Paginator();
    Paginator(const Paginator&) = delete;
    Paginator& operator=(const Paginator&) = delete;

    // Lays out until `maxPages` more pages are ready or the document is done; returns
    // Finished(). Step(0) does nothing.
    bool Step(std::size_t maxPages);
    bool Finished() const;
    // Pages that will not change any more (all of them once finished).
    std::size_t PagesReady() const;
    const Layout& Result() const;
    // The finished layout (finishing it first); the paginator is spent afterwards.
    Layout TakeLayout();

private:
    class Flow;
    std::unique_ptr<Flow> flow_;
};

// The whole layout at once.
Layout LayOut(const Document& document, const PageSetup& setup, FontMetrics& metrics);

}  // namespace docengine
