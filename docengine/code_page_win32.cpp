// Double-byte code pages on Windows: MultiByteToWideChar, which replaces what does not decode
// with the code page's default character.
#include "code_page.h"

#include <windows.h>

#include <climits>

namespace docengine {

bool AppendDecodedByPlatform(int codePage, std::string_view bytes, std::u16string& out) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX / 2)) return false;
    const int n = static_cast<int>(bytes.size());
    const int needed = MultiByteToWideChar(static_cast<UINT>(codePage), 0, bytes.data(), n, nullptr, 0);
    if (needed <= 0) return false;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(needed));
    const int written = MultiByteToWideChar(static_cast<UINT>(codePage), 0, bytes.data(), n,
                                            reinterpret_cast<wchar_t*>(out.data() + start), needed);
    out.resize(start + static_cast<std::size_t>(written > 0 ? written : 0));
    return written > 0;
}

}  // namespace docengine
