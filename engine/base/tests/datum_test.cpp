#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

#include "engine/base/datum.h"
#include "engine/base/engassert.h"
#include "engine/testsupport/engine_fixture.h"
#include "engine/units.h"
#include "platform/clock.h"

namespace {

namespace chr = std::chrono;
using DATUM::PackDate;

class DatumTest : public zettest::EngineTest {
 protected:
  void TearDown() override {
    platform::SetLocalTimeSource(nullptr);
    zettest::EngineTest::TearDown();
  }

  // Day number of 1 January 1970, to compare with the calendar of <chrono>.
  static int64_t EpochDay() { return DATUM::PackedToDayNumber(PackDate(1970, 1, 1)); }
  static int64_t ChronoDays(const chr::year_month_day& ymd) {
    return chr::sys_days(ymd).time_since_epoch().count();
  }
};

TEST_F(DatumTest, UnpackClampsTheMonthAndKeepsTheDayBits) {
  struct Case {
    int32_t packed;
    DATUM::Date expected;
  };
  const Case cases[] = {
      {PackDate(2024, 2, 29), {2024, 2, 29}},
      {PackDate(1999, 12, 31), {1999, 12, 31}},
      {PackDate(2000, 0, 5), {2000, 1, 5}},     // month 0 reads as January
      {PackDate(2000, 13, 5), {2000, 12, 5}},   // 13..15 read as December
      {PackDate(2000, 15, 31), {2000, 12, 31}},
      {PackDate(7, 4, 0), {7, 4, 0}},
  };
  for (const Case& c : cases) {
    DATUM::Date d = DATUM::UnpackDate(c.packed);
    EXPECT_EQ(d.year, c.expected.year) << c.packed;
    EXPECT_EQ(d.month, c.expected.month) << c.packed;
    EXPECT_EQ(d.day, c.expected.day) << c.packed;
  }
}

TEST_F(DatumTest, DayNumbersAndWeekdays) {
  EXPECT_EQ(DATUM::PackedToDayNumber(PackDate(2000, 1, 1)), 730486);
  EXPECT_EQ(DATUM::WeekdayName(730486).str(), "Samstag");
  EXPECT_EQ(DATUM::PackedToDayNumber(PackDate(0, 1, 1)), 1);  // day 1 is 1 January of year 0
  EXPECT_EQ(DATUM::PackedToDayNumber(PackDate(1, 1, 1)), 367);  // year 0 is a leap year
  EXPECT_EQ(DATUM::PackedToDayNumber(0), 0);
  EXPECT_EQ(DATUM::DayNumberToPacked(0), 0);
  // Negative values count by their absolute value.
  EXPECT_EQ(DATUM::PackedToDayNumber(-PackDate(2000, 1, 1)), 730486);
  EXPECT_EQ(DATUM::DayNumberToPacked(-730486), PackDate(2000, 1, 1));
  // Month bits 0 and 13..15 count as January and December.
  EXPECT_EQ(DATUM::PackedToDayNumber(PackDate(2000, 0, 1)), 730486);
  EXPECT_EQ(DATUM::PackedToDayNumber(PackDate(2000, 14, 31)), DATUM::PackedToDayNumber(PackDate(2000, 12, 31)));

  struct Case {
    int32_t packed;
    const char* german;
    const char* english;
  };
  const Case cases[] = {
      {PackDate(1970, 1, 1), "Donnerstag", "Thursday"}, {PackDate(2023, 12, 24), "Sonntag", "Sunday"},
      {PackDate(2024, 2, 26), "Montag", "Monday"},      {PackDate(1900, 3, 6), "Dienstag", "Tuesday"},
      {PackDate(2080, 2, 28), "Mittwoch", "Wednesday"}, {PackDate(1, 1, 5), "Freitag", "Friday"},
  };
  for (int format : {DATUM::kDateDayMonthYear4, DATUM::kDateDayMonthYear2, DATUM::kDateMonthDayYear}) {
    DATUM::SetDateTimeFormat(format, DATUM::kTimeHoursMinutes);
    for (const Case& c : cases) {
      const char* expected = format == DATUM::kDateMonthDayYear ? c.english : c.german;
      EXPECT_EQ(DATUM::WeekdayName(DATUM::PackedToDayNumber(c.packed)).str(), expected) << c.packed;
    }
  }
}

// Every day of the years 1..9999 against the calendar of <chrono>: the day
// number counts on by one per day and converts back to the same date.
TEST_F(DatumTest, DayNumbersFollowTheCalendarForEveryDayOfYears1To9999) {
  const int64_t epoch = EpochDay();
  const chr::sys_days first = chr::sys_days(chr::year(1) / 1 / 1);
  const chr::sys_days last = chr::sys_days(chr::year(9999) / 12 / 31);
  for (chr::sys_days d = first; d <= last; d += chr::days(1)) {
    chr::year_month_day ymd(d);
    int32_t packed = PackDate(int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())));
    int32_t n = DATUM::PackedToDayNumber(packed);
    ASSERT_EQ(n - epoch, d.time_since_epoch().count()) << packed;
    ASSERT_EQ(DATUM::DayNumberToPacked(n), packed) << n;
  }
}

TEST_F(DatumTest, DayNumbersAtTheEndsOfThe32BitRange) {
  // The last date a packed value can hold converts both ways.
  const int32_t lastPackable = PackDate(4194303, 12, 31);
  const int32_t lastDay = DATUM::PackedToDayNumber(lastPackable);
  EXPECT_GT(lastDay, 0);
  EXPECT_EQ(DATUM::DayNumberToPacked(lastDay), lastPackable);
  // Later day numbers have no packed date: 0 (no date), never a wrapped value.
  EXPECT_EQ(DATUM::DayNumberToPacked(lastDay + 1), 0);
  EXPECT_EQ(DATUM::DayNumberToPacked(std::numeric_limits<int32_t>::max()), 0);
  EXPECT_EQ(DATUM::DayNumberToPacked(std::numeric_limits<int32_t>::min()), 0);
  // The absolute value of the smallest packed value is day 0 of the next year.
  EXPECT_EQ(DATUM::PackedToDayNumber(std::numeric_limits<int32_t>::min()), lastDay);
}

// The weekday index of a negative day number must stay inside the name table.
TEST_F(DatumTest, WeekdayNamesOfNegativeDayNumbersKeepTheCycle) {
  EXPECT_EQ(DATUM::WeekdayName(-1).str(), "Donnerstag");  // (-1 + 5) mod 7 = 4
  EXPECT_EQ(DATUM::WeekdayName(-5).str(), "Sonntag");
  for (int32_t n : {-1, -6, -100, -730486, std::numeric_limits<int32_t>::min() + 7})
    EXPECT_EQ(DATUM::WeekdayName(n).str(), DATUM::WeekdayName(n - 7).str()) << n;
  EXPECT_FALSE(DATUM::WeekdayName(std::numeric_limits<int32_t>::min()).empty());
  EXPECT_FALSE(DATUM::WeekdayName(std::numeric_limits<int32_t>::max()).empty());
}

TEST_F(DatumTest, WeekOfYear) {
  struct Case {
    int32_t packed;
    int32_t week;
  };
  const Case cases[] = {
      {PackDate(2018, 1, 1), 1},    // Monday
      {PackDate(2020, 1, 1), 1},    // Wednesday
      {PackDate(2015, 1, 1), 1},    // Thursday
      {PackDate(2016, 1, 1), 0},    // Friday
      {PackDate(2022, 1, 1), 0},    // Saturday
      {PackDate(2017, 1, 1), 0},    // Sunday
      {PackDate(2017, 1, 2), 1},    // the Monday after
      {PackDate(2016, 1, 3), 0},    // Sunday before the first Monday
      {PackDate(2016, 1, 4), 1},
      {PackDate(2018, 12, 31), 53}, // stays in its year (week 1 of 2019 elsewhere)
      {PackDate(2020, 12, 31), 53},
      {PackDate(2021, 12, 31), 52},
      {0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(DATUM::WeekOfYear(c.packed), c.week) << c.packed;

  // Against weeks counted from the ISO weekday of each day, 1600..2400:
  // (day of year - ISO weekday + 10) div 7, without moving days to another
  // year, gives the same numbers including week 0 and week 53.
  for (chr::sys_days d = chr::sys_days(chr::year(1600) / 1 / 1); d <= chr::sys_days(chr::year(2400) / 12 / 31);
       d += chr::days(1)) {
    chr::year_month_day ymd(d);
    int dayOfYear = int((d - chr::sys_days(ymd.year() / 1 / 1)).count()) + 1;
    int isoWeekday = int(chr::weekday(d).iso_encoding());
    int32_t packed = PackDate(int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())));
    ASSERT_EQ(DATUM::WeekOfYear(packed), (dayOfYear - isoWeekday + 10) / 7) << packed;
  }
}

struct ParseCase {
  const char* text;
  int result;
  int32_t packed;
};

TEST_F(DatumTest, StrToPackedDateAcceptsTheDateForms) {
  const ParseCase cases[] = {
      {"", 0, 0},
      {"29.2.2000", 0, PackDate(2000, 2, 29)},
      {"01.03.2024", 0, PackDate(2024, 3, 1)},
      {"30.4.2001", 0, PackDate(2001, 4, 30)},
      {"1.1.29", 0, PackDate(2029, 1, 1)},
      {"1.1.30", 0, PackDate(1930, 1, 1)},
      {"31.12.99", 0, PackDate(1999, 12, 31)},
      {"1.1.0", 0, PackDate(2000, 1, 1)},
      {"1.1.100", 0, PackDate(100, 1, 1)},
      {"31.12.9999", 0, PackDate(9999, 12, 31)},
      {"1.1", 0, PackDate(2000, 1, 1)},   // a missing year counts 0
      {"1.1.", 0, PackDate(2000, 1, 1)},
      {"12/31/99", 0, PackDate(1999, 12, 31)},
      {"2/29/2004", 0, PackDate(2004, 2, 29)},
      {"7/4/1776", 0, PackDate(1776, 7, 4)},
      {"1/15", 0, PackDate(2000, 1, 15)},
  };
  for (const ParseCase& c : cases) {
    int32_t packed = -1;
    EXPECT_EQ(DATUM::StrToPackedDate(c.text, packed), c.result) << c.text;
    EXPECT_EQ(packed, c.packed) << c.text;
  }
}

TEST_F(DatumTest, StrToPackedDateRefusesInvalidTexts) {
  const char* cases[] = {
      "29.2.1900",  "31.4.2001",  "29.2.2001", "31.6.2000", "31.9.2000",  "31.11.2000", "30.2.2000",
      "0.1.2000",   "32.1.2000",  "1.0.2000",  "1.13.2000", "1.1.10000",  "13/1/2000",  "2/30/2000",
      "1.1.2000x",  "1.1.2000 ",  " 1.1.2000", "1/2.2000",  "1-2-2000",   "1..2000",    ".1.2000",
      "1.",         "15",         "x",         "1.1.2.3",   "9999999999", "1/1/1/1",
      // More than ten characters: refused, not read in part as a date of 2000.
      "01.01.20001", "01.01.2000 ", "001.01.2000",
  };
  for (const char* text : cases) {
    int32_t packed = -1;
    EXPECT_EQ(DATUM::StrToPackedDate(text, packed), 1) << text;
    EXPECT_EQ(packed, 0) << text;
  }
}

TEST_F(DatumTest, PackedDateToStrInTheThreeFormats) {
  struct Case {
    int32_t packed;
    const char* texts[3];
  };
  const Case cases[] = {
      {PackDate(2024, 3, 5), {"05.03.2024", "05.03.24", "03/05/24"}},
      {PackDate(1999, 12, 31), {"31.12.1999", "31.12.99", "12/31/99"}},
      {PackDate(2000, 2, 29), {"29.02.2000", "29.02.00", "02/29/00"}},
      {PackDate(0, 7, 1), {"01.07.0001", "01.07.01", "07/01/01"}},  // year 0 written as 1
      {PackDate(9999, 1, 9), {"09.01.9999", "09.01.99", "01/09/99"}},
      {0, {"", "", ""}},
      // No calendar date: empty text.
      {PackDate(2001, 2, 29), {"", "", ""}},
      {PackDate(2000, 4, 31), {"", "", ""}},
      {PackDate(2000, 4, 0), {"", "", ""}},
      {PackDate(10000, 1, 1), {"", "", ""}},
      {PackDate(0, 2, 29), {"", "", ""}},  // as year 1 no leap day
  };
  for (int format = 0; format < 3; ++format) {
    DATUM::SetDateTimeFormat(format, DATUM::kTimeHoursMinutes);
    for (const Case& c : cases) EXPECT_EQ(DATUM::PackedDateToStr(c.packed).str(), c.texts[format]) << c.packed;
  }
}

TEST_F(DatumTest, DateTextsReadBackInEveryFormat) {
  for (int format = 0; format < 3; ++format) {
    DATUM::SetDateTimeFormat(format, DATUM::kTimeHoursMinutes);
    // Two-digit years read back for the years 1930..2029.
    for (int32_t n = DATUM::PackedToDayNumber(PackDate(1930, 1, 1));
         n <= DATUM::PackedToDayNumber(PackDate(2029, 12, 31)); ++n) {
      int32_t packed = DATUM::DayNumberToPacked(n);
      int32_t back = 0;
      ASSERT_EQ(DATUM::StrToPackedDate(DATUM::PackedDateToStr(packed), back), 0) << packed;
      ASSERT_EQ(back, packed);
    }
  }
}

TEST_F(DatumTest, StrToMinutes) {
  struct Case {
    const char* text;
    int result;
    int32_t minutes;
  };
  const Case cases[] = {
      {"", 0, 0},          {"0:00", 0, 0},       {"00:01", 0, 1},       {"12:30", 0, 750},
      {"23:59", 0, 1439},  {"24:00", 0, 1440},   {"24:0", 0, 1440},     {"24", 0, 1440},
      {"7", 0, 420},       {"7:", 0, 420},       {":30", 0, 30},        {"0007:05", 0, 425},
      {"24:01", 1, 0},     {"12:60", 1, 0},      {"25:00", 1, 0},       {"12:30x", 1, 0},
      {" 12:30", 1, 0},    {"12.30", 1, 0},      {"12:30:00", 1, 0},    {"1:05 pm", 1, 0},
      {"99999999999999999999:00", 1, 0},         {"00:99999999999999999999", 1, 0},
  };
  for (const Case& c : cases) {
    int32_t minutes = -1;
    EXPECT_EQ(DATUM::StrToMinutes(c.text, minutes), c.result) << c.text;
    if (c.result == 0) {
      EXPECT_EQ(minutes, c.minutes) << c.text;
    }
  }
}

TEST_F(DatumTest, MinutesToStrInTheThreeFormats) {
  struct Case {
    int32_t minutes;
    const char* text24;
    const char* text12;
  };
  const Case cases[] = {
      {0, "00:00", "12:00 am"},   {59, "00:59", "12:59 am"},   {60, "01:00", "01:00 am"},
      {719, "11:59", "11:59 am"}, {720, "12:00", "12:00 pm"},  {785, "13:05", "01:05 pm"},
      {1439, "23:59", "11:59 pm"}, {1440, "", ""},             {100000, "", ""},
      {-1, "", ""},
  };
  for (int format = 0; format < 3; ++format) {
    DATUM::SetDateTimeFormat(DATUM::kDateDayMonthYear4, format);
    for (const Case& c : cases) {
      const char* expected = format == DATUM::kTimeTwelveHour ? c.text12 : c.text24;
      EXPECT_EQ(DATUM::MinutesToStr(c.minutes).str(), expected) << c.minutes << " format " << format;
    }
  }
}

TEST_F(DatumTest, UnknownFormatsRaiseAndChangeNothing) {
  DATUM::SetDateTimeFormat(DATUM::kDateMonthDayYear, DATUM::kTimeTwelveHour);
  const int32_t packed = PackDate(2024, 3, 5);
  struct Case {
    int date, time;
    const char* text;
  };
  const Case cases[] = {{3, 0, "Unknown date format"}, {-1, 0, "Unknown date format"},
                        {0, 3, "Unknown time format"}, {0, -1, "Unknown time format"}};
  for (const Case& c : cases) {
    try {
      DATUM::SetDateTimeFormat(c.date, c.time);
      ADD_FAILURE() << "no assertion for " << c.date << "," << c.time;
    } catch (const EAssertion& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
    EXPECT_EQ(DATUM::PackedDateToStr(packed).str(), "03/05/24");
    EXPECT_EQ(DATUM::MinutesToStr(785).str(), "01:05 pm");
  }
}

TEST_F(DatumTest, EngineStartResetsTheFormats) {
  DATUM::SetDateTimeFormat(DATUM::kDateMonthDayYear, DATUM::kTimeTwelveHour);
  Units::StopEngine();
  Units::StartEngine();
  EXPECT_EQ(DATUM::PackedDateToStr(PackDate(2024, 3, 5)).str(), "05.03.2024");
  EXPECT_EQ(DATUM::MinutesToStr(785).str(), "13:05");
  EXPECT_EQ(DATUM::WeekdayName(730486).str(), "Samstag");
}

uint16_t FileDate(int year, int month, int day) { return uint16_t(((year - 1980) << 9) | (month << 5) | day); }

TEST_F(DatumTest, FileDatesCountTheCalendarYears) {
  EXPECT_EQ(DATUM::DosDateToDayNumber(FileDate(2000, 1, 1)), 730486);
  EXPECT_EQ(DATUM::DosDateToDayNumber(FileDate(1980, 1, 1)), 723181);
  // 2080 is a leap year: 29 February and 1 March are two days, one apart.
  const int32_t leapDay = DATUM::DosDateToDayNumber(FileDate(2080, 2, 29));
  EXPECT_EQ(leapDay, DATUM::PackedToDayNumber(PackDate(2080, 2, 29)));
  EXPECT_EQ(DATUM::DosDateToDayNumber(FileDate(2080, 3, 1)), leapDay + 1);
  EXPECT_EQ(DATUM::DayNumberToPacked(leapDay), PackDate(2080, 2, 29));

  // Every file date of 1980..2107 against the calendar of <chrono>.
  const int64_t epoch = EpochDay();
  for (chr::sys_days d = chr::sys_days(chr::year(1980) / 1 / 1); d <= chr::sys_days(chr::year(2107) / 12 / 31);
       d += chr::days(1)) {
    chr::year_month_day ymd(d);
    uint16_t fileDate = FileDate(int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())));
    ASSERT_EQ(DATUM::DosDateToDayNumber(fileDate) - epoch, d.time_since_epoch().count()) << fileDate;
  }
}

TEST_F(DatumTest, FileTimes) {
  auto fileTime = [](int h, int m, int twoSeconds) { return uint16_t((h << 11) | (m << 5) | twoSeconds); };
  EXPECT_EQ(DATUM::DosTimeToMinutes(fileTime(0, 0, 0)), 0);
  EXPECT_EQ(DATUM::DosTimeToMinutes(fileTime(13, 45, 29)), 825);  // 58 seconds stay in the minute
  EXPECT_EQ(DATUM::DosTimeToMinutes(fileTime(13, 45, 31)), 826);
  EXPECT_EQ(DATUM::DosTimeToMinutes(fileTime(23, 59, 0)), 1439);
  EXPECT_EQ(DATUM::DosTimeToMinutes(fileTime(23, 59, 31)), 1440);
}

platform::LocalDateTime FixedLocalTime() {
  platform::LocalDateTime t;
  t.year = 2024;
  t.month = 2;
  t.day = 29;
  t.hour = 13;
  t.minute = 45;
  t.second = 30;
  t.millisecond = 600;
  t.weekday = 4;
  return t;
}

TEST_F(DatumTest, TodayAndNowFromTheLocalClock) {
  platform::SetLocalTimeSource(FixedLocalTime);
  EXPECT_EQ(DATUM::TodayPacked(), PackDate(2024, 2, 29));
  EXPECT_DOUBLE_EQ(DATUM::NowMinutes(), 13 * 60 + 45 + 30 / 60.0 + 600 / 60000.0);
}

}  // namespace
