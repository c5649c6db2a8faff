// The EQ field: Word's older equation field, used for fractions, radicals, brackets,
// overstruck and enclosed characters and, in Japanese documents, for ruby (the reading of a
// word set above it). Word stores no result for it and works the result out from the field's
// code, so the reader does the same here. The result is linear, like the other equations the
// reader shows: pieces of text, some raised, lowered or set small, in reading order.
#pragma once

#include <string_view>
#include <string>
#include <vector>

namespace docengine {

struct EqPiece {
    enum class Position : unsigned char { Baseline, Super, Sub };
    std::u16string text;
    Position position = Position::Baseline;  // Super/Sub: smaller, as limits and indices are
    int raiseHalfPoints = 0;                  // \s\up N, \s\do N: raised (or lowered) at full size
    std::u16string ruby;                      // a reading set above `text`
    int rubyHalfPoints = 0;                   // its size (\* hpsN); 0: not given
    friend bool operator==(const EqPiece&, const EqPiece&) = default;
};

// The result of the field code `code` ("EQ \f(1,2)", with or without its leading "EQ"):
// - \f(a,b) a fraction, a⁄b; \r(x) and \r(n,x) radicals, √(x) with n as an index;
// - \b(x) brackets, ( ) unless \lc\c \rc\c \bc\c choose others; \l(a,b) a list, a,b;
// - \s\up N(x) \s\do N(x) raised and lowered text; \i(lower,upper,x) ∫ (∑ with \su, ∏ with
//   \pr) with its limits; \a(...) an array, its rows separated by "; "; \x(x) a box, its text;
// - \o(a,b) overstruck elements one after the other, except that ruby, \o\ad(\s\up N(reading),
//   base), is a piece with its ruby, a circle around 1-20 is the circled number, and an
//   enclosing circle, square, triangle or diamond gives way to what it encloses;
// - \d displacement adds nothing; \* switches (font, size, MERGEFORMAT) are skipped;
// - \, \( \) \\ stand for the character itself.
// Nesting beyond a fixed depth is skipped, so that any code is evaluated in linear time.
std::vector<EqPiece> EvaluateEq(std::u16string_view code);

}  // namespace docengine
