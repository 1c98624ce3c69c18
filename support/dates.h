// Dates in Spanish: the full written form used by print headers and date-range labels, the month
// grid of the calendar, the last valid day of a month on or before a given day, and the check
// that a field is not empty.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace wv {

// "Enero" .. "Diciembre" for 1..12; an empty text for any other number.
std::string nombreMes(int month);

// FECHACOMPLETA: "5 de Mayo del 2008"; "Todas las fechas" for the empty date. Without an
// argument, today.
std::string fechaCompleta(Date d);
std::string fechaCompleta();

// The Monday-based column of a date: 1 for Monday .. 7 for Sunday (0 for the empty date).
int columnaLunes(Date d);

// One week of the month grid, Monday to Sunday. A cell holding a day has the day number
// right-aligned in four characters; other cells are empty texts.
using Semana = std::array<std::string, 7>;

// ASEMANAS: the weeks (four to six) of a month. A month or year that gives no valid first day
// yields one week of empty cells.
std::vector<Semana> aSemanas(int month, int year);

// GETDATE: the latest valid date of the month on or before the given day (day 31 of April gives
// the 30th; a day below 1 counts as the 1st). The empty date when the month or year is not one
// a date can hold.
Date getDate(int day, int month, int year);

// F_VALIDAVACIO: true when the value is not empty; otherwise a stop box with the message, titled
// with the application's name, and false.
bool fValidaVacio(const Value& value, const std::string& message = "Campo Vacio, Introduzca valor...");

}  // namespace wv
