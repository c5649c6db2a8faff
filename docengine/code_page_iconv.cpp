// Double-byte code pages on Linux: glibc's iconv, a converter per call (glibc keeps the
// conversion modules loaded, so opening one is cheap), which keeps readers on several threads
// apart.
#include "code_page.h"

#include <iconv.h>

#include <cerrno>

namespace docengine {
namespace {

const char* IconvName(int codePage) {
    switch (codePage) {
        case 932: return "CP932";
        case 936: return "CP936";
        case 949: return "CP949";
        case 950: return "CP950";
        case 1361: return "JOHAB";
        default: return nullptr;
    }
}

}  // namespace

bool AppendDecodedByPlatform(int codePage, std::string_view bytes, std::u16string& out) {
    const char* name = IconvName(codePage);
    if (name == nullptr) return false;
    iconv_t cd = iconv_open("UTF-16LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;

    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
        const int error = r == static_cast<std::size_t>(-1) ? errno : 0;
        for (char* p = buffer; p + 1 < o; p += 2) {
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                                (static_cast<unsigned char>(p[1]) << 8)));
        }
        if (error == EILSEQ || error == EINVAL) {
            // An undefined or cut-off sequence: one replacement character, then go on after
            // its first byte.
            out.push_back(u'\uFFFD');
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        } else if (error != 0 && error != E2BIG) {
            break;
        }
    }
    iconv_close(cd);
    return true;
}

}  // namespace docengine
