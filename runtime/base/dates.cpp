#include "runtime/base/dates.h"

#include "runtime/base/scratch_text.h"

#include <atomic>
#include <ctime>

namespace {

struct DateFields {
    int64_t year, month, day, hour, minute, second;
};

bool IsLeapYear(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int64_t DaysInMonth(int64_t y, int64_t m) {
    static const int Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : Days[m - 1];
}

// Days from 1970-01-01 to a civil date. Counting in eras of 400 years from
// March 1st puts the leap day at the end of each year, where it is easy to add.
int64_t DaysFromFields(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yearOfEra = y - era * 400;
    int64_t dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

DateFields FieldsFromDate(int64_t date) {
    if (date < 0 || date > LastValidDate) return {0, 0, 0, 0, 0, 0};
    int64_t days = date / 86400, rest = date % 86400;
    int64_t z = days + 719468;
    int64_t era = z / 146097;
    int64_t dayOfEra = z - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthIndex = (5 * dayOfYear + 2) / 153; // from March
    int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    int64_t year = yearOfEra + era * 400 + (month <= 2);
    return {year, month, day, rest / 3600, rest / 60 % 60, rest % 60};
}

void AppendDigits(int64_t value, int digits) {
    char16_t text[4];
    for (int i = digits - 1; i >= 0; --i, value /= 10) text[i] = char16_t(u'0' + value % 10);
    AppendScratch(text, size_t(digits));
}

bool MatchesToken(const String &mask, size_t at, const char16_t *token) {
    for (; *token; ++token, ++at) {
        if (at >= mask.size()) return false;
        char16_t c = mask[at];
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
        if (c != *token) return false;
    }
    return true;
}

} // namespace

int64_t CurrentDate() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return InvalidDate;
    return CurrentDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                       local.tm_min, local.tm_sec == 60 ? 59 : local.tm_sec);
}

int64_t CurrentDate(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                    int64_t second) {
    if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return InvalidDate;
    return DaysFromFields(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

String FormatDateMask(const String &mask, int64_t date) {
    DateFields f = FieldsFromDate(date);
    size_t mark = ScratchMark();
    for (size_t i = 0; i < mask.size();) {
        if (mask[i] == u'%') {
            size_t at = i + 1;
            if (MatchesToken(mask, at, u"yyyy")) {
                AppendDigits(f.year, 4);
                i = at + 4;
                continue;
            }
            struct Token {
                const char16_t *letters;
                int64_t value;
            };
            const Token twoDigit[] = {{u"yy", f.year % 100}, {u"mm", f.month},  {u"dd", f.day},
                                      {u"hh", f.hour},       {u"ii", f.minute}, {u"ss", f.second}};
            bool replaced = false;
            for (const Token &t : twoDigit) {
                if (MatchesToken(mask, at, t.letters)) {
                    AppendDigits(t.value, 2);
                    i = at + 2;
                    replaced = true;
                    break;
                }
            }
            if (replaced) continue;
        }
        AppendScratch(mask[i++]);
    }
    return TakeScratchText(mark);
}

int64_t MillisecondClock() {
    // The base second is set once by whichever thread calls first.
    static std::atomic<int64_t> baseSecond{-1};
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t expected = -1;
    baseSecond.compare_exchange_strong(expected, int64_t(now.tv_sec));
    return (int64_t(now.tv_sec) - baseSecond.load()) * 1000 + now.tv_nsec / 1000000;
}
