// The view's two calls into the document engine, in one place: reading RTF bytes into a
// docengine::Document, and laying a document out on pages a few at a time. The view, the
// renderer and printing use nothing else of the reader and the paginator.
//
// Ownership: a Pagination shares the document and borrows the metrics, which must outlive it.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "docengine/document.h"
#include "docengine/layout.h"

namespace viewer::engine {

// The document in `rtf` (the bytes from "{\rtf" on); empty when the reader refuses them
// (not RTF, malformed, or beyond its limits).
std::optional<docengine::Document> ReadRtf(std::string_view rtf);

// Lays `document` out at `setup`, measuring with `metrics`.
class Pagination {
public:
    Pagination(std::shared_ptr<const docengine::Document> document, const docengine::PageSetup& setup,
               docengine::FontMetrics& metrics);
    Pagination(const Pagination&) = delete;
    Pagination& operator=(const Pagination&) = delete;
    ~Pagination();

    // Lays out about `maxPages` more pages; true once the whole document is laid out.
    bool Step(std::size_t maxPages);
    bool Finished() const;
    // The pages laid out so far. Layout::plainText covers at least the text of those pages;
    // between steps it is only appended to (the view indexes it as it grows). The object
    // stays at its address for the Pagination's life.
    const docengine::Layout& Result() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace viewer::engine
