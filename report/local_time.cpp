#include "report/local_time.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace report {

namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

long long SecondsAsIfUtc(const std::tm& tm) {
    return DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) * 86400 + tm.tm_hour * 3600 + tm.tm_min * 60 +
           tm.tm_sec;
}

std::string Offset(int minutes) {
    char text[16];
    const int a = std::abs(minutes);
    std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', a / 60, a % 60);
    return text;
}

}  // namespace

LocalTime ToLocalTime(std::time_t t) {
    // localtime and gmtime share one buffer on some C libraries: each is copied at once.
    static std::mutex mutex;
    std::tm local{}, utc{};
    {
        std::lock_guard guard(mutex);
        if (const std::tm* l = std::localtime(&t)) local = *l;
        if (const std::tm* u = std::gmtime(&t)) utc = *u;
    }
    LocalTime r;
    r.year = local.tm_year + 1900;
    r.month = local.tm_mon + 1;
    r.day = local.tm_mday;
    r.hour = local.tm_hour;
    r.minute = local.tm_min;
    r.second = local.tm_sec;
    r.offsetMinutes = static_cast<int>((SecondsAsIfUtc(local) - SecondsAsIfUtc(utc)) / 60);
    return r;
}

LocalTime Now() { return ToLocalTime(std::time(nullptr)); }

std::string IsoText(const LocalTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text + Offset(t.offsetMinutes);
}

std::string PrintedText(const LocalTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d (UTC", t.day, t.month, t.year, t.hour, t.minute);
    return text + Offset(t.offsetMinutes) + ")";
}

std::string FileStamp(const LocalTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d_%02d-%02d-%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

}  // namespace report
