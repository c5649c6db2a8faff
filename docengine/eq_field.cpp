// Evaluating the EQ field's code. The code is a sequence of text and elements; an element is
// a backslash, a one-letter name, its switches (\ad, \up 10, \bc\{ ...) and its arguments in
// parentheses, separated by commas (or semicolons, where the decimal sign is a comma). Each
// element turns its arguments' pieces into pieces of its own.
#include "eq_field.h"

#include <algorithm>
#include <cstddef>

namespace docengine {
namespace {

using Pieces = std::vector<EqPiece>;
using Position = EqPiece::Position;

// Deeper elements are skipped whole, so that evaluation stays linear in the code's length.
constexpr int kMaxDepth = 16;
// \up N and the like are points; more than this is a fault in the file, not a layout.
constexpr int kMaxRaisePoints = 1000;

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

void Append(Pieces& out, std::u16string_view text, Position position = Position::Baseline, int raise = 0) {
    if (text.empty()) return;
    if (!out.empty() && out.back().position == position && out.back().raiseHalfPoints == raise &&
        out.back().ruby.empty()) {
        out.back().text += text;
    } else {
        out.push_back(EqPiece{std::u16string(text), position, raise, {}, 0});
    }
}

void Append(Pieces& out, const Pieces& more) {
    for (const auto& piece : more) {
        if (piece.ruby.empty()) Append(out, piece.text, piece.position, piece.raiseHalfPoints);
        else out.push_back(piece);
    }
}

// `pieces` set as sub- or superscript (Baseline leaves their position) and raised by `raise`.
Pieces Shifted(Pieces pieces, Position position, int raise) {
    for (auto& piece : pieces) {
        if (position != Position::Baseline) piece.position = position;
        piece.raiseHalfPoints += raise;
    }
    return pieces;
}

std::u16string PlainText(const Pieces& pieces) {
    std::u16string text;
    for (const auto& piece : pieces) text += piece.text;
    return text;
}

Pieces Joined(const std::vector<Pieces>& args, std::u16string_view separator) {
    Pieces out;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (k > 0) Append(out, separator);
        Append(out, args[k]);
    }
    return out;
}

char16_t ClosingBracket(char16_t open) {
    switch (open) {
        case u'(': return u')';
        case u'[': return u']';
        case u'{': return u'}';
        case u'<': return u'>';
        default: return open;
    }
}

// Shapes drawn around a character with \o: the character alone stands for the pair.
bool IsEnclosure(const Pieces& arg) {
    const std::u16string text = PlainText(arg);
    return text.size() == 1 && std::u16string_view(u"\u25CB\u25EF\u3007\u25A1\u25B3\u25C7").find(text[0]) !=
                                   std::u16string_view::npos;
}

bool IsCircle(const Pieces& arg) {
    const std::u16string text = PlainText(arg);
    return text == u"\u25CB" || text == u"\u25EF" || text == u"\u3007";
}

// Ruby: the first of two elements raised above the second.
bool IsRuby(const std::vector<Pieces>& args) {
    return args.size() == 2 && !args[0].empty() && !args[1].empty() &&
           std::all_of(args[0].begin(), args[0].end(), [](const EqPiece& p) { return p.raiseHalfPoints > 0; });
}

struct Switches {
    int up = 0, down = 0, columns = 1;
    char16_t open = 0, close = 0, integral = 0;
    bool sum = false, product = false, aligned = false;
};

class EqParser {
public:
    explicit EqParser(std::u16string_view code) : code_(code) {}

    Pieces Parse() {
        SkipSpaces();
        if (code_.size() - i_ >= 2 && (code_[i_] | 0x20) == u'e' && (code_[i_ + 1] | 0x20) == u'q' &&
            (code_.size() - i_ == 2 || !IsAsciiLetter(code_[i_ + 2]))) {
            i_ += 2;
        }
        Pieces out = Sequence(0, false);
        for (auto& piece : out) {
            if (!piece.ruby.empty()) piece.rubyHalfPoints = rubyHalfPoints_;
        }
        // spaces that only separated the code's switches
        if (!out.empty()) {
            auto& first = out.front().text;
            first.erase(0, std::min(first.find_first_not_of(u' '), first.size()));
            auto& last = out.back().text;
            last.erase(std::min(last.find_last_not_of(u' ') + 1, last.size()));
            std::erase_if(out, [](const EqPiece& p) { return p.text.empty(); });
        }
        return out;
    }

private:
    bool At(char16_t c) const { return i_ < code_.size() && code_[i_] == c; }
    bool AtSwitch() const { return At(u'\\') && i_ + 1 < code_.size() && IsAsciiLetter(code_[i_ + 1]); }
    bool AtFormatSwitch() const { return At(u'\\') && i_ + 1 < code_.size() && code_[i_ + 1] == u'*'; }
    void SkipSpaces() {
        while (At(u' ') || At(u'\t')) ++i_;
    }

    // Text and elements up to the end of the code or, inside an argument, up to a separator or
    // the closing parenthesis at this level.
    Pieces Sequence(int depth, bool inArgument) {
        Pieces out;
        int open = 0;  // bare parentheses in the text, which pair up as text
        while (i_ < code_.size()) {
            const char16_t c = code_[i_];
            if (inArgument && open == 0 && (c == u',' || c == u';' || c == u')')) break;
            if (AtSwitch()) {
                Append(out, Element(depth));
            } else if (AtFormatSwitch()) {
                SkipFormatSwitch();
            } else if (c == u'\\') {
                if (i_ + 1 < code_.size()) Append(out, code_.substr(i_ + 1, 1));
                i_ += 2;
            } else {
                if (c == u'(') ++open;
                if (c == u')' && open > 0) --open;
                Append(out, code_.substr(i_++, 1));
            }
        }
        return out;
    }

    std::u16string SwitchName() {
        ++i_;  // the backslash
        std::u16string name;
        while (i_ < code_.size() && IsAsciiLetter(code_[i_])) name.push_back(char16_t(code_[i_++] | 0x20));
        return name;
    }

    int Number() {
        SkipSpaces();
        const bool negative = At(u'-');
        if (negative) ++i_;
        int n = 0;
        while (i_ < code_.size() && code_[i_] >= u'0' && code_[i_] <= u'9') {
            n = std::min(n * 10 + (code_[i_++] - u'0'), kMaxRaisePoints);
        }
        return negative ? -n : n;
    }

    // The character after \lc, \rc, \bc, \fc, \vc: written escaped (\{) or as it is.
    char16_t SwitchChar() {
        if (At(u'\\')) ++i_;
        return i_ < code_.size() ? code_[i_++] : char16_t{0};
    }

    // \* jc2, \* "Font:..." , \* hps10, \* MERGEFORMAT: formatting for Word's own drawing.
    void SkipFormatSwitch() {
        i_ += 2;
        SkipSpaces();
        if (At(u'"')) {
            const std::size_t end = code_.find(u'"', i_ + 1);
            i_ = end == std::u16string_view::npos ? code_.size() : end + 1;
        } else {
            const std::size_t start = i_;
            while (i_ < code_.size() && code_[i_] != u' ' && code_[i_] != u'\\' && code_[i_] != u'(') ++i_;
            // hpsN: the size of ruby, in half-points
            const std::u16string_view word = code_.substr(start, i_ - start);
            if (word.size() > 3 && (word[0] | 0x20) == u'h' && (word[1] | 0x20) == u'p' && (word[2] | 0x20) == u's') {
                int n = 0;
                for (char16_t c : word.substr(3)) {
                    if (c < u'0' || c > u'9') break;
                    n = std::min(n * 10 + (c - u'0'), 2 * kMaxRaisePoints);
                }
                rubyHalfPoints_ = n;
            }
        }
        SkipSpaces();
    }

    // From an opening parenthesis past its closing one, escapes included.
    void SkipBalanced() {
        int level = 0;
        while (i_ < code_.size()) {
            const char16_t c = code_[i_++];
            if (c == u'\\') ++i_;
            else if (c == u'(') ++level;
            else if (c == u')' && --level <= 0) return;
        }
        i_ = std::min(i_, code_.size());
    }

    std::vector<Pieces> Arguments(int depth) {
        std::vector<Pieces> args;
        ++i_;  // the opening parenthesis
        while (true) {
            args.push_back(Sequence(depth, true));
            if (At(u',') || At(u';')) {
                ++i_;
                continue;
            }
            if (At(u')')) ++i_;
            break;
        }
        return args;
    }

    Pieces Element(int depth) {
        const std::u16string name = SwitchName();
        Switches sw;
        while (true) {
            SkipSpaces();
            if (AtFormatSwitch()) {
                SkipFormatSwitch();
                continue;
            }
            if (!AtSwitch()) break;
            const std::u16string option = SwitchName();
            if (option == u"up" || option == u"ai") sw.up += Number();
            else if (option == u"do" || option == u"di") sw.down += Number();
            else if (option == u"co") sw.columns = std::max(Number(), 1);
            else if (option == u"vs" || option == u"hs" || option == u"fo" || option == u"ba") Number();
            else if (option == u"lc") sw.open = SwitchChar();
            else if (option == u"rc") sw.close = SwitchChar();
            else if (option == u"bc") sw.open = SwitchChar(), sw.close = ClosingBracket(sw.open);
            else if (option == u"fc" || option == u"vc") sw.integral = SwitchChar();
            else if (option == u"su") sw.sum = true;
            else if (option == u"pr") sw.product = true;
            else if (option == u"ad" || option == u"al" || option == u"ac" || option == u"ar") sw.aligned = true;
            // \in \to \bo \le \ri \li: drawing only
        }
        std::vector<Pieces> args;
        if (At(u'(')) {
            if (depth >= kMaxDepth) {
                SkipBalanced();
                return {};
            }
            args = Arguments(depth + 1);
        }
        return Build(name, sw, args);
    }

    static Pieces Build(const std::u16string& name, const Switches& sw, std::vector<Pieces>& args) {
        Pieces out;
        const auto arg = [&](std::size_t k) { return k < args.size() ? args[k] : Pieces{}; };
        if (name == u"f") {
            Append(out, arg(0));
            if (args.size() > 1) {
                Append(out, u"\u2044");
                Append(out, arg(1));
            }
        } else if (name == u"r") {
            if (args.size() > 1) Append(out, Shifted(arg(0), Position::Super, 0));
            Append(out, u"\u221A(");
            Append(out, arg(args.size() > 1 ? 1 : 0));
            Append(out, u")");
        } else if (name == u"b") {
            const char16_t open = sw.open ? sw.open : u'(';
            const char16_t close = sw.close ? sw.close : sw.open ? ClosingBracket(sw.open) : u')';
            Append(out, std::u16string_view(&open, 1));
            Append(out, Joined(args, u","));
            Append(out, std::u16string_view(&close, 1));
        } else if (name == u"s") {
            const int raise = 2 * (sw.up - sw.down);
            if (raise == 0 && args.size() > 1) {
                Append(out, Shifted(arg(0), Position::Super, 0));
                for (std::size_t k = 1; k < args.size(); ++k) Append(out, Shifted(args[k], Position::Sub, 0));
            } else {
                for (auto& a : args) a = Shifted(std::move(a), Position::Baseline, raise);
                Append(out, Joined(args, u" "));
            }
        } else if (name == u"i") {
            const char16_t op = sw.integral ? sw.integral : sw.sum ? u'\u2211' : sw.product ? u'\u220F' : u'\u222B';
            Append(out, std::u16string_view(&op, 1));
            Append(out, Shifted(arg(0), Position::Sub, 0));
            Append(out, Shifted(arg(1), Position::Super, 0));
            for (std::size_t k = 2; k < args.size(); ++k) Append(out, args[k]);
        } else if (name == u"a") {
            for (std::size_t k = 0; k < args.size(); ++k) {
                if (k > 0) Append(out, k % static_cast<std::size_t>(sw.columns) == 0 ? u"; " : u" ");
                Append(out, args[k]);
            }
        } else if (name == u"o") {
            if (IsRuby(args)) {
                out.push_back(EqPiece{PlainText(args[1]), Position::Baseline, 0, PlainText(args[0]), 0});
                return out;
            }
            const bool circle = std::any_of(args.begin(), args.end(), IsCircle);
            std::vector<Pieces> kept;
            for (const auto& a : args) {
                if (!IsEnclosure(a)) kept.push_back(a);
            }
            if (kept.empty()) kept = args;
            const std::u16string text = PlainText(Joined(kept, u""));
            int n = 0;
            if (circle && kept.size() == 1 && !text.empty() && text.size() <= 2 &&
                std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
                n = text.size() == 1 ? text[0] - u'0' : (text[0] - u'0') * 10 + (text[1] - u'0');
            }
            if (n >= 1 && n <= 20) {
                const char16_t circled = char16_t(0x2460 + n - 1);
                Append(out, std::u16string_view(&circled, 1));
            } else {
                Append(out, Joined(kept, u""));
            }
        } else if (name == u"d") {
            // displacement: space or a line, nothing to read
        } else {
            // \l lists, \x boxes and elements unknown here show their arguments
            Append(out, Joined(args, u","));
        }
        return out;
    }

    std::u16string_view code_;
    std::size_t i_ = 0;
    int rubyHalfPoints_ = 0;
};

}  // namespace

std::vector<EqPiece> EvaluateEq(std::u16string_view code) { return EqParser(code).Parse(); }

}  // namespace docengine
