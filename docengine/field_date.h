// DATE and TIME fields. Word works their result out again whenever it opens or prints a
// document, so they show the day the document is read, not the day it was saved: the reader
// does the same here, in the field's date-time picture (\@ "d MMMM yyyy") and the language of
// its text. The names of months and days are known for a handful of Western languages; others
// take the English names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace docengine {

struct DateTime {
    int year = 2000, month = 1, day = 1;  // month 1-12, day 1-31
    int hour = 0, minute = 0, second = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// The local date and time now.
DateTime LocalNow();

// The result of the field code `code` ("DATE \@ "d MMMM yyyy" \* MERGEFORMAT", "TIME") at
// `when`, in the language `lang` (a Windows language id, as \langN gives it); nothing for
// other fields. Without a picture, DATE shows the language's short date and TIME its short
// time.
//
// The picture: d dd ddd dddd (day, weekday), M MM MMM MMMM (month), yy yyyy (year), h hh H HH
// (hour, 12 and 24), m mm (minutes), s ss (seconds), AM/PM am/pm A/P a/p; text in 'single
// quotes' and every other character stand for themselves.
std::optional<std::u16string> DateFieldResult(std::u16string_view code, const DateTime& when, int lang);

}  // namespace docengine
