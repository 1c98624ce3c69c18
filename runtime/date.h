// Dates as Julian day numbers (1 January 2000 is 2451545; 0 is the empty date) and the
// conversions the system uses.
#pragma once

#include <string>
#include <string_view>

#include "runtime/value.h"

namespace wv {

// The date of a calendar day, or the empty date when the day does not exist (31/02, month 13...).
// Years 1..9999 are accepted.
Date dateFromYmd(int year, int month, int day);
void ymdFromDate(Date d, int& year, int& month, int& day);  // all 0 for the empty date

int year(Date d);   // 0 for the empty date
int month(Date d);  // 1..12, 0 for the empty date
int day(Date d);    // 1..31, 0 for the empty date
int dow(Date d);    // 1 = Sunday .. 7 = Saturday, 0 for the empty date

// "YYYYMMDD"; eight blanks for the empty date.
std::string dtos(Date d);
// The inverse of dtos: blanks or an impossible date give the empty date.
Date stod(std::string_view s);
// Text in the process date format ("dd/mm/yy"; blanks where the date is empty).
std::string dtoc(Date d);
// Text in the process date format to a date; a two-digit year is placed in the hundred years
// starting at the epoch. Anything that is not a real date gives the empty date.
Date ctod(std::string_view s);

Date today();
// TIME(): the time of day now, "hh:mm:ss".
std::string timeText();
// The date and the time of day of one reading of the clock (so that they agree at midnight).
struct DateTime {
    Date date;
    std::string time;  // "hh:mm:ss"
};
DateTime now();

}  // namespace wv
