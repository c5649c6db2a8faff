// The system ANSI code page as the record text encoding of the COM server.
#pragma once

#include "text_encoding.h"

namespace sorbel::com {

// Encodes with WideCharToMultiByte(CP_ACP), best fit allowed, one byte per
// 16-bit unit; decodes with MultiByteToWideChar(CP_ACP), one unit per byte.
// On a double-byte system code page a character that needs two bytes throws
// std::overflow_error. The object is stateless and lives for the whole
// process; every ckxDataPak object refers to it.
const TextEncoding& AnsiCodePage();

}  // namespace sorbel::com
