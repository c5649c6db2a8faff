// DATE and TIME field results: the field code's picture applied to a date and time.
#include "field_date.h"

#include <algorithm>
#include <array>
#include <ctime>

namespace docengine {

namespace {

struct Names {
    int language;  // primary language id (the low 10 bits of a Windows language id)
    std::array<std::u16string_view, 12> months;
    std::array<std::u16string_view, 7> days;  // Sunday first
    std::u16string_view shortDate, shortTime;
};

constexpr int kEnglish = 0x09;

const Names kNames[] = {
    {kEnglish,
     {u"January", u"February", u"March", u"April", u"May", u"June", u"July", u"August", u"September",
      u"October", u"November", u"December"},
     {u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"},
     u"dd/MM/yyyy", u"h:mm AM/PM"},
    {0x0C,
     {u"janvier", u"février", u"mars", u"avril", u"mai", u"juin", u"juillet", u"août", u"septembre",
      u"octobre", u"novembre", u"décembre"},
     {u"dimanche", u"lundi", u"mardi", u"mercredi", u"jeudi", u"vendredi", u"samedi"},
     u"dd/MM/yyyy", u"HH:mm"},
    {0x07,
     {u"Januar", u"Februar", u"März", u"April", u"Mai", u"Juni", u"Juli", u"August", u"September",
      u"Oktober", u"November", u"Dezember"},
     {u"Sonntag", u"Montag", u"Dienstag", u"Mittwoch", u"Donnerstag", u"Freitag", u"Samstag"},
     u"dd.MM.yyyy", u"HH:mm"},
    {0x0A,
     {u"enero", u"febrero", u"marzo", u"abril", u"mayo", u"junio", u"julio", u"agosto", u"septiembre",
      u"octubre", u"noviembre", u"diciembre"},
     {u"domingo", u"lunes", u"martes", u"miércoles", u"jueves", u"viernes", u"sábado"},
     u"dd/MM/yyyy", u"H:mm"},
    {0x10,
     {u"gennaio", u"febbraio", u"marzo", u"aprile", u"maggio", u"giugno", u"luglio", u"agosto",
      u"settembre", u"ottobre", u"novembre", u"dicembre"},
     {u"domenica", u"lunedì", u"martedì", u"mercoledì", u"giovedì", u"venerdì", u"sabato"},
     u"dd/MM/yyyy", u"HH:mm"},
    {0x13,
     {u"januari", u"februari", u"maart", u"april", u"mei", u"juni", u"juli", u"augustus", u"september",
      u"oktober", u"november", u"december"},
     {u"zondag", u"maandag", u"dinsdag", u"woensdag", u"donderdag", u"vrijdag", u"zaterdag"},
     u"d-M-yyyy", u"HH:mm"},
    {0x16,
     {u"janeiro", u"fevereiro", u"março", u"abril", u"maio", u"junho", u"julho", u"agosto", u"setembro",
      u"outubro", u"novembro", u"dezembro"},
     {u"domingo", u"segunda-feira", u"terça-feira", u"quarta-feira", u"quinta-feira", u"sexta-feira",
      u"sábado"},
     u"dd/MM/yyyy", u"HH:mm"},
};

const Names& NamesOf(int lang) {
    for (const Names& names : kNames) {
        if (names.language == (lang & 0x3FF)) return names;
    }
    return kNames[0];
}

// 0 for Sunday (days from the civil calendar's epoch, proleptic Gregorian).
int Weekday(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = static_cast<long long>(era) * 146097 + doe - 719468;  // 0: 1970-01-01, a Thursday
    return static_cast<int>(((days % 7) + 7 + 4) % 7);
}

void Number(std::u16string& out, int value, int digits) {
    std::u16string text;
    if (value < 0) value = 0;
    do {
        text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value > 0);
    while (static_cast<int>(text.size()) < digits) text.insert(text.begin(), u'0');
    out += text;
}

// The first three letters of a name, for ddd and MMM.
std::u16string_view Abbreviated(std::u16string_view name) { return name.substr(0, 3); }

bool StartsWithFolded(std::u16string_view text, std::u16string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t k = 0; k < prefix.size(); ++k) {
        char16_t c = text[k];
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
        if (c != prefix[k]) return false;
    }
    return true;
}

std::u16string Format(std::u16string_view picture, const DateTime& when, const Names& names) {
    std::u16string out;
    const int month = (when.month >= 1 && when.month <= 12) ? when.month : 1;
    std::size_t k = 0;
    while (k < picture.size()) {
        const char16_t c = picture[k];
        if (c == u'\'') {
            const std::size_t close = picture.find(u'\'', k + 1);
            const std::size_t end = close == std::u16string_view::npos ? picture.size() : close;
            out += picture.substr(k + 1, end - k - 1);
            k = end + 1;
            continue;
        }
        if (StartsWithFolded(picture.substr(k), u"AM/PM")) {
            const bool lower = c == u'a';
            out += when.hour < 12 ? (lower ? u"am" : u"AM") : (lower ? u"pm" : u"PM");
            k += 5;
            continue;
        }
        if (StartsWithFolded(picture.substr(k), u"A/P")) {
            const bool lower = c == u'a';
            out += when.hour < 12 ? (lower ? u"a" : u"A") : (lower ? u"p" : u"P");
            k += 3;
            continue;
        }
        std::size_t run = 1;
        while (k + run < picture.size() && picture[k + run] == c) ++run;
        const int n = static_cast<int>(run);
        const int hour12 = when.hour % 12 == 0 ? 12 : when.hour % 12;
        switch (c) {
            case u'd': case u'D':
                if (n <= 2) Number(out, when.day, n);
                else {
                    const auto name = names.days[static_cast<std::size_t>(Weekday(when.year, month, when.day))];
                    out += n == 3 ? Abbreviated(name) : name;
                }
                break;
            case u'M':
                if (n <= 2) Number(out, month, n);
                else {
                    const auto name = names.months[static_cast<std::size_t>(month - 1)];
                    out += n == 3 ? Abbreviated(name) : name;
                }
                break;
            case u'y': case u'Y':
                if (n <= 2) Number(out, when.year % 100, 2);
                else Number(out, when.year, 4);
                break;
            case u'h': Number(out, hour12, std::min(n, 2)); break;
            case u'H': Number(out, when.hour, std::min(n, 2)); break;
            case u'm': Number(out, when.minute, std::min(n, 2)); break;
            case u's': case u'S': Number(out, when.second, std::min(n, 2)); break;
            default: out.append(run, c); break;
        }
        k += run;
    }
    return out;
}

}  // namespace

DateTime LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

std::optional<std::u16string> DateFieldResult(std::u16string_view code, const DateTime& when, int lang) {
    std::size_t k = 0;
    const auto skipBlanks = [&] {
        while (k < code.size() && (code[k] == u' ' || code[k] == u'\t')) ++k;
    };
    const auto nextWord = [&] {
        skipBlanks();
        std::u16string word;
        if (k < code.size() && code[k] == u'"') {
            const std::size_t close = code.find(u'"', k + 1);
            const std::size_t end = close == std::u16string_view::npos ? code.size() : close;
            word = code.substr(k + 1, end - k - 1);
            k = end + 1;
        } else {
            while (k < code.size() && code[k] != u' ' && code[k] != u'\t') word.push_back(code[k++]);
        }
        return word;
    };
    std::u16string type = nextWord();
    if (!type.empty() && type[0] == u'\\') type.erase(0, 1);
    const bool date = StartsWithFolded(type, u"DATE") && type.size() == 4;
    const bool time = StartsWithFolded(type, u"TIME") && type.size() == 4;
    if (!date && !time) return std::nullopt;
    const Names& names = NamesOf(lang);
    const bool usEnglish = lang == 0x0409 || (lang & 0x3FF) != names.language;
    std::u16string picture(date ? (usEnglish ? u"M/d/yyyy" : names.shortDate)
                                : (usEnglish ? u"h:mm AM/PM" : names.shortTime));
    while (k < code.size()) {
        skipBlanks();
        if (code.substr(k, 2) == u"\\@") {
            k += 2;
            picture = nextWord();
            break;
        }
        nextWord();
    }
    return Format(picture, when, names);
}

}  // namespace docengine
