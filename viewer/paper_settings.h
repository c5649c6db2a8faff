// The printer settings that ask for paper of a document's page size and orientation.
// Ownership: plain values in, a copied settings block out.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "viewer_logic.h"

namespace viewer {

// Printer settings asking for paper of `page`'s size (twips) and orientation: a copy of
// `settings` (a DEVMODEW of `size` bytes with its driver data) with the paper size, width,
// length and orientation set. A standard paper within a few twips of the page is asked for by
// its number (DMPAPER_LETTER, DMPAPER_A5, ...), any other size as a custom width and length.
// Landscape pages (wider than high) ask for the portrait paper turned: the width and length
// are those of the paper standing, the orientation DMORIENT_LANDSCAPE. Empty when `settings`
// is too short or the page has no usable size.
std::vector<BYTE> PaperSettings(const BYTE* settings, std::size_t size, const PageSettings& page);

}  // namespace viewer
