// The view's calls into the document engine: see engine_seam.h.
#include "engine_seam.h"

#include "docengine/page_layout.h"
#include "docengine/rtf_reader.h"

namespace viewer::engine {

std::optional<docengine::Document> ReadRtf(std::string_view rtf) {
    docengine::ReadResult result = docengine::ReadRtf(rtf);
    if (!result.ok()) return std::nullopt;
    return std::move(result.document);
}

// The paginator borrows the document; the shared pointer held here keeps it alive as long.
struct Pagination::State {
    std::shared_ptr<const docengine::Document> document;
    docengine::Paginator paginator;

    State(std::shared_ptr<const docengine::Document> doc, const docengine::PageSetup& setup,
          docengine::FontMetrics& metrics)
        : document(std::move(doc)), paginator(*document, setup, metrics) {}
};

Pagination::Pagination(std::shared_ptr<const docengine::Document> document,
                       const docengine::PageSetup& setup, docengine::FontMetrics& metrics)
    : state_(std::make_unique<State>(std::move(document), setup, metrics)) {}

Pagination::~Pagination() = default;

bool Pagination::Step(std::size_t maxPages) { return state_->paginator.Step(maxPages); }

bool Pagination::Finished() const { return state_->paginator.Finished(); }

const docengine::Layout& Pagination::Result() const { return state_->paginator.Result(); }

}  // namespace viewer::engine
