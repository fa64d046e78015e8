// Dates and times of the engine.
//
// A date field holds a packed date, a time field a count of minutes since
// midnight. This unit turns both into text and back, counts days for date
// arithmetic, names weekdays and numbers weeks. One global setting chooses the
// date format, the time format and the language of the weekday names.
//
// Packed date (signed 32 bits; 0 means no date):
//
//   bit  31 ............ 9 | 8 ..... 5 | 4 ..... 0
//        year              | month     | day
//
// Day number: days counted from year 0 (which counts as a leap year), so that
// 1 January 2000 is day 730486; the weekday of day n is (n + 5) mod 7 with
// 0 = Sunday.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"

namespace DATUM {

// Date formats.
inline constexpr int kDateDayMonthYear4 = 0;  // "dd.mm.yyyy", at start
inline constexpr int kDateDayMonthYear2 = 1;  // "dd.mm.yy"
inline constexpr int kDateMonthDayYear = 2;   // "mm/dd/yy", English weekday names
// Time formats.
inline constexpr int kTimeHoursMinutes = 0;      // "hh:nn", at start
inline constexpr int kTimeHoursMinutesAlt = 1;   // "hh:nn" as well
inline constexpr int kTimeTwelveHour = 2;        // "hh:nn am/pm"

// Minutes of a whole day; as a time it stands for 24:00.
inline constexpr int32_t kMinutesPerDay = 1440;

struct Date {
  int32_t year = 0;
  int32_t month = 0;  // 1..12
  int32_t day = 0;    // 0..31 as stored
};

inline constexpr int32_t PackDate(int32_t year, int32_t month, int32_t day) {
  return year * 512 + month * 32 + day;
}
// Splits a packed date: the year from bit 9 on, the month from bits 5-8
// clamped to 1..12, the day from bits 0-4.
Date UnpackDate(int32_t packed);

// Sets both formats and with them the weekday names; an unknown format raises
// "Unknown date format" or "Unknown time format".
void SetDateTimeFormat(int dateFormat, int timeFormat);

// Reads "d.m.y" (any text with a ".") or "m/d/y". Answers 0 for a valid date
// (an empty text is valid and gives 0) and 1 for an invalid one, with packed 0.
int StrToPackedDate(std::string_view text, int32_t& packed);
// The date in the current format; empty for 0 and for a value that is no
// calendar date. A year of 0 or less is written as year 1.
ShortStr PackedDateToStr(int32_t packed);

// Reads "hh:mm" (24:00 included). Answers 0 for a valid time (an empty text is
// valid and gives 0) and 1 for an invalid one.
int StrToMinutes(std::string_view text, int32_t& minutes);
// The time in the current format; empty outside 0..1439.
ShortStr MinutesToStr(int32_t minutes);

// 0 for 0; a negative value is taken by its absolute value.
int32_t PackedToDayNumber(int32_t packed);
// 0 for 0, and for a day number whose year does not fit into a packed date; a
// negative value is taken by its absolute value.
int32_t DayNumberToPacked(int32_t dayNumber);

// The name of the weekday of a day number, German or English by the format.
ShortStr WeekdayName(int32_t dayNumber);
// Week of the year: week 1 holds the year's first Thursday, earlier days are
// in week 0, and late December stays in the year's last week. 0 for 0.
int32_t WeekOfYear(int32_t packed);

// Today's date and the time of day (minutes with their fraction) by the local
// clock of the platform.
int32_t TodayPacked();
double NowMinutes();

// Day number of a file date in the operating system's packing (the packed
// layout with the year counted from 1980).
int32_t DosDateToDayNumber(uint16_t fileDate);
// Minutes of a file time: hours in bits 11-15, minutes in bits 5-10, and one
// more when the two-second field in bits 0-4 holds 31.
int32_t DosTimeToMinutes(uint16_t fileTime);

void UnitInit();
void UnitDone();

}  // namespace DATUM
