// The RTF reader: turns the bytes of a rich-text file into a Document, whatever the bytes.
//
// One pass over the input with an explicit stack of group states (no recursion), so that
// time is linear in the input and the stack is bounded by ReadLimits::maxGroupDepth. Every
// part of the model the reader builds is counted against a budget proportional to the input,
// so memory stays a small multiple of the file. A file that breaks a limit or is not RTF gives
// a failure status; the Document then holds what was read up to that point.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "document.h"
#include "field_date.h"

namespace docengine {

struct ReadLimits {
    // Groups nested deeper than this fail the read (Word's own files stay below 20 or so).
    int maxGroupDepth = 1000;
    // Tables nested deeper than this are flattened into the deepest allowed level.
    int maxTableDepth = 32;
    // One picture's data; larger pictures are dropped (the text around them is kept).
    std::size_t maxPictureBytes = std::size_t{256} << 20;
    // The model may take at most modelBytesPerInputByte x input + modelBytesBase bytes. Documents
    // as word processors write them need 2 to 6 times their size; only long runs of empty
    // paragraphs, cells or one-letter format changes come near this bound.
    std::size_t modelBytesPerInputByte = 32;
    std::size_t modelBytesBase = std::size_t{16} << 20;
    // Inputs larger than this are refused before reading.
    std::size_t maxInputBytes = std::size_t{1} << 30;
};

enum class ReadStatus {
    Ok,
    NotRtf,     // the input does not start with "{\rtf"
    Malformed,  // \binN past the end of the input (missing closing braces at the end are supplied)
    TooDeep,    // groups nested deeper than ReadLimits::maxGroupDepth
    TooLarge,   // the input or the model would exceed its limit
};

struct ReadResult {
    ReadStatus status = ReadStatus::Ok;
    std::string message;  // what went wrong, in a few words; empty when Ok
    Document document;
    bool ok() const { return status == ReadStatus::Ok; }
};

// DATE and TIME fields show `now`, the local date and time when not given.
ReadResult ReadRtf(std::string_view bytes, const ReadLimits& limits = {},
                   const std::optional<DateTime>& now = std::nullopt);

}  // namespace docengine
