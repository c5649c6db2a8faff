// Metafile pictures (EMF and WMF) as documents carry them. The platform's graphics library
// plays a metafile's records as they stand, trusting the counts, offsets, sizes and object
// numbers in them: a damaged or hostile metafile makes it read and write outside its buffers
// and brings the process down. So a metafile is rebuilt before anything plays it, from those
// of its records that are of a known kind and whose fields all lie within the record, with
// object numbers within the metafile's object table. Records of other kinds are left out;
// they only lose drawing, not safety.
#pragma once

#include <cstdint>
#include <vector>

namespace docengine {

// Rebuilds `emf` (an enhanced metafile, ENHMETAHEADER first) from its sound records, with its
// header's byte and record counts made to agree. False, and `emf` emptied, when its header or
// the chain of its records is not sound.
bool CleanEmf(std::vector<std::uint8_t>& emf);

// The same for `wmf`, a Windows metafile (METAHEADER first; an Aldus placeable header before
// it is kept). False, and `wmf` emptied, when its header or the chain of its records is not
// sound.
bool CleanWmf(std::vector<std::uint8_t>& wmf);

// Word writes a metafile picture as a WMF that carries the EMF it was drawn as, in chunks of
// comment records; the platform plays that EMF in its place. Puts it in `emf` (not yet
// cleaned) when `wmf` carries one whole; false otherwise.
bool EmbeddedEmf(const std::vector<std::uint8_t>& wmf, std::vector<std::uint8_t>& emf);

}  // namespace docengine
