#include "engine/base/datum.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

#include "engine/base/engassert.h"
#include "platform/clock.h"

namespace DATUM {

namespace {

// Packed date fields.
constexpr int kYearShift = 9;
constexpr int kMonthShift = 5;
constexpr int32_t kMonthMask = 0x0F;
constexpr int32_t kDayMask = 0x1F;
// The largest year whose dates all fit into a signed 32-bit packed value.
constexpr int64_t kMaxPackedYear = std::numeric_limits<int32_t>::max() / 512;

// Date texts: only this many characters are read, and the largest year.
constexpr size_t kMaxDateText = 10;
constexpr int64_t kMaxTextYear = 9999;
// Two-digit years below this one belong to the 2000s, the others to the 1900s.
constexpr int64_t kCenturyPivot = 30;
constexpr int64_t kTwoDigitYears = 100;
// A run of digits is counted up to this value; any larger number is invalid
// wherever it stands, so counting further changes no answer.
constexpr int64_t kDigitRunLimit = 1000000000;

// Day numbers.
constexpr int64_t kDaysPerYear = 365;
constexpr int kWeekdayOffset = 5;  // weekday of day n is (n + 5) mod 7
constexpr int kDaysPerWeek = 7;
// File dates count their years from this one.
constexpr int32_t kFileDateBaseYear = 1980;

// File time fields.
constexpr int kFileHourShift = 11;
constexpr int kFileMinuteShift = 5;
constexpr uint16_t kFileHourMask = 0x1F;
constexpr uint16_t kFileMinuteMask = 0x3F;
constexpr uint16_t kFileTwoSecondMask = 0x1F;
constexpr uint16_t kFileTwoSecondRoundUp = 31;

constexpr int kMinutesPerHour = 60;
constexpr int kHoursPerDay = 24;
constexpr int kHalfDayHours = 12;

constexpr const char* kGermanDays[kDaysPerWeek] = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                                                   "Donnerstag", "Freitag", "Samstag"};
constexpr const char* kEnglishDays[kDaysPerWeek] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                    "Thursday", "Friday", "Saturday"};

int g_dateFormat = kDateDayMonthYear4;
int g_timeFormat = kTimeHoursMinutes;

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Leap days in the years 0 .. year-1 (year >= 0).
int64_t LeapDaysBefore(int64_t year) {
  if (year == 0) return 0;
  int64_t y = year - 1;
  return y / 4 + 1 - y / 100 + y / 400;
}

int MonthLength(int64_t year, int month) {
  static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kLengths[month - 1];
}

// Days of the months before month (1..12) in year.
int64_t DaysBeforeMonth(int64_t year, int month) {
  int64_t days = 0;
  for (int m = 1; m < month; ++m) days += MonthLength(year, m);
  return days;
}

int64_t DayNumberOf(int64_t year, int month, int64_t day) {
  return kDaysPerYear * year + LeapDaysBefore(year) + DaysBeforeMonth(year, month) + day;
}

// 0 = Sunday .. 6 = Saturday, for any day number.
int WeekdayOf(int64_t dayNumber) {
  int64_t w = (dayNumber + kWeekdayOffset) % kDaysPerWeek;
  return int(w < 0 ? w + kDaysPerWeek : w);
}

bool IsCalendarDate(int64_t year, int month, int64_t day) {
  return year >= 1 && year <= kMaxTextYear && month >= 1 && month <= 12 && day >= 1 &&
         day <= MonthLength(year, month);
}

// Reads a run of decimal digits at pos; none counts 0.
int64_t ReadDigits(std::string_view text, size_t& pos) {
  int64_t value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    if (value < kDigitRunLimit) value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  return value;
}

template <typename... Args>
ShortStr Format(const char* pattern, Args... args) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, pattern, args...);
  return ShortStr(buffer);
}

// The fields of a packed value, the month clamped to 1..12.
struct Fields {
  int64_t year;
  int month;
  int64_t day;
};

Fields Split(int64_t value) {
  int month = int((value >> kMonthShift) & kMonthMask);
  return {value >> kYearShift, month < 1 ? 1 : (month > 12 ? 12 : month), value & kDayMask};
}

// Fields of a packed value taken by its absolute value.
Fields SplitAbs(int32_t packed) { return Split(std::llabs(int64_t(packed))); }

}  // namespace

Date UnpackDate(int32_t packed) {
  Fields f = Split(packed);
  return {int32_t(f.year), f.month, int32_t(f.day)};
}

void SetDateTimeFormat(int dateFormat, int timeFormat) {
  ZET_ASSERT(dateFormat >= kDateDayMonthYear4 && dateFormat <= kDateMonthDayYear, "Unknown date format");
  ZET_ASSERT(timeFormat >= kTimeHoursMinutes && timeFormat <= kTimeTwelveHour, "Unknown time format");
  g_dateFormat = dateFormat;
  g_timeFormat = timeFormat;
}

int StrToPackedDate(std::string_view text, int32_t& packed) {
  packed = 0;
  if (text.empty()) return 0;
  // Every accepted form fits into ten characters; a longer text is refused
  // rather than read in part ("01.01.20001" is no date of the year 2000).
  if (text.size() > kMaxDateText) return 1;

  const bool dayFirst = text.find('.') != std::string_view::npos;
  const char separator = dayFirst ? '.' : '/';
  int64_t parts[3] = {0, 0, 0};
  size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != separator) break;
      ++pos;
    }
    parts[i] = ReadDigits(text, pos);
  }
  if (pos != text.size()) return 1;

  int64_t day = dayFirst ? parts[0] : parts[1];
  int64_t month = dayFirst ? parts[1] : parts[0];
  int64_t year = parts[2];
  if (year > kMaxTextYear) return 1;
  if (year < kCenturyPivot)
    year += 2000;
  else if (year < kTwoDigitYears)
    year += 1900;
  if (month < 1 || month > 12 || !IsCalendarDate(year, int(month), day)) return 1;
  packed = PackDate(int32_t(year), int32_t(month), int32_t(day));
  return 0;
}

ShortStr PackedDateToStr(int32_t packed) {
  if (packed == 0) return ShortStr();
  Date d = UnpackDate(packed);
  if (d.year <= 0) d.year = 1;
  if (!IsCalendarDate(d.year, d.month, d.day)) return ShortStr();
  switch (g_dateFormat) {
    case kDateDayMonthYear4:
      return Format("%02d.%02d.%04d", d.day, d.month, d.year);
    case kDateDayMonthYear2:
      return Format("%02d.%02d.%02d", d.day, d.month, d.year % 100);
    default:
      return Format("%02d/%02d/%02d", d.month, d.day, d.year % 100);
  }
}

int StrToMinutes(std::string_view text, int32_t& minutes) {
  minutes = 0;
  if (text.empty()) return 0;
  size_t pos = 0;
  int64_t hours = ReadDigits(text, pos);
  int64_t mins = 0;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    mins = ReadDigits(text, pos);
  }
  if (pos != text.size()) return 1;
  if (!((hours < kHoursPerDay && mins < kMinutesPerHour) || (hours == kHoursPerDay && mins == 0))) return 1;
  minutes = int32_t(hours * kMinutesPerHour + mins);
  return 0;
}

ShortStr MinutesToStr(int32_t minutes) {
  if (minutes < 0 || minutes >= kMinutesPerDay) return ShortStr();
  int hours = minutes / kMinutesPerHour;
  int mins = minutes % kMinutesPerHour;
  if (g_timeFormat != kTimeTwelveHour) return Format("%02d:%02d", hours, mins);
  int clockHours = hours % kHalfDayHours == 0 ? kHalfDayHours : hours % kHalfDayHours;
  return Format("%02d:%02d %s", clockHours, mins, hours < kHalfDayHours ? "am" : "pm");
}

int32_t PackedToDayNumber(int32_t packed) {
  if (packed == 0) return 0;
  Fields f = SplitAbs(packed);
  // The largest packed value gives about 1.5e9 days, within 32 bits.
  return int32_t(DayNumberOf(f.year, f.month, f.day));
}

int32_t DayNumberToPacked(int32_t dayNumber) {
  if (dayNumber == 0) return 0;
  int64_t n = std::llabs(int64_t(dayNumber));
  int64_t year = n / kDaysPerYear;
  int64_t r = n % kDaysPerYear - LeapDaysBefore(year);
  while (r < 1) {
    --year;
    r += kDaysPerYear + (IsLeapYear(year) ? 1 : 0);
  }
  if (year > kMaxPackedYear) return 0;
  int month = 1;
  while (r > MonthLength(year, month)) {
    r -= MonthLength(year, month);
    ++month;
  }
  return PackDate(int32_t(year), month, int32_t(r));
}

ShortStr WeekdayName(int32_t dayNumber) {
  const auto& names = g_dateFormat == kDateMonthDayYear ? kEnglishDays : kGermanDays;
  return ShortStr(names[WeekdayOf(dayNumber)]);
}

int32_t WeekOfYear(int32_t packed) {
  if (packed == 0) return 0;
  Fields f = SplitAbs(packed);
  int64_t dayOfYear = f.day + DaysBeforeMonth(f.year, f.month);
  // Weekday of 1 January counted from Monday = 0 to Sunday = 6.
  int w = (WeekdayOf(DayNumberOf(f.year, 1, 1)) + kDaysPerWeek - 1) % kDaysPerWeek;
  int offset = w < 4 ? w + 6 : w - 1;
  return int32_t((dayOfYear + offset) / kDaysPerWeek);
}

int32_t TodayPacked() {
  platform::LocalDateTime now = platform::LocalNow();
  return PackDate(now.year, now.month, now.day);
}

double NowMinutes() {
  platform::LocalDateTime now = platform::LocalNow();
  return now.hour * 60.0 + now.minute + now.second / 60.0 + now.millisecond / 60000.0;
}

int32_t DosDateToDayNumber(uint16_t fileDate) {
  // The file date's year is turned into the calendar year first, so that the
  // leap years are those of the calendar (2080 is one, file year 100 would
  // not be).
  Fields f = Split(fileDate);
  return int32_t(DayNumberOf(f.year + kFileDateBaseYear, f.month, f.day));
}

int32_t DosTimeToMinutes(uint16_t fileTime) {
  int32_t hours = (fileTime >> kFileHourShift) & kFileHourMask;
  int32_t mins = (fileTime >> kFileMinuteShift) & kFileMinuteMask;
  int32_t extra = (fileTime & kFileTwoSecondMask) == kFileTwoSecondRoundUp ? 1 : 0;
  return hours * kMinutesPerHour + mins + extra;
}

void UnitInit() {
  g_dateFormat = kDateDayMonthYear4;
  g_timeFormat = kTimeHoursMinutes;
}

void UnitDone() {}

}  // namespace DATUM
