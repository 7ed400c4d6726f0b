// A moment as the user's clock shows it, with the zone's offset from UTC.
#pragma once

#include <ctime>
#include <string>

namespace report {

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int offsetMinutes = 0;  // east of UTC positive
};

// The moment `t` on the user's clock.
LocalTime ToLocalTime(std::time_t t);
LocalTime Now();

// 2026-12-07T19:25:03+03:00
std::string IsoText(const LocalTime& t);
// 07.12.2026 19:25 (UTC+03:00), as a person reads it on paper.
std::string PrintedText(const LocalTime& t);
// 2026-12-07_19-25-03, for file names.
std::string FileStamp(const LocalTime& t);

}  // namespace report
