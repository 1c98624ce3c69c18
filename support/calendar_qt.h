// The month calendar the operator picks a date from (the button of the date fields opens it):
// a month list, a year with spinner arrows and a grid of the month's weeks, Monday first. A
// double click (or Enter) on a day accepts it; on an empty cell it turns the page, back a month
// from the first week and forward a month from the others.
#pragma once

#include <string>
#include <vector>

#include "runtime/date.h"
#include "runtime/value.h"
#include "support/dates.h"
#include "ui/dialog.h"

namespace wv {

class TWBrowse;

// ROWCOLDATE: the date getDate(day, month, year), with the grid's cell cursor put on it (first
// week, first column, then the date's column and its week). The week is written to `row`.
Date rowColDate(int day, int month, int year, TWBrowse& grid, int& row);

// One run of the calendar. calendario() is the whole of it; the object is here so that a caller
// (a test) can reach the controls while it is up.
class Calendario {
  public:
    explicit Calendario(Date start = today(), const std::string& title = "Seleccione la Fecha");
    Calendario(const Calendario&) = delete;
    Calendario& operator=(const Calendario&) = delete;

    // Shows the calendar modally and returns the picked date, or the given one when the
    // calendar was closed without accepting a day.
    Date run();

    // The day number of the grid's active cell; 0 for an empty cell.
    int activeDay() const;
    // Another month (1..12) or year: the grid is rebuilt and the same day number kept, limited
    // to the new month's length. A year that gives no valid date is refused (false).
    void setMonth(int month);
    bool setYear(int year);
    // The action of a double click (or Enter) on the active cell.
    void doubleClick();
    // The action of a single click on the active cell.
    void singleClick();

    TDialog dlg;
    TWBrowse* grid = nullptr;
    TComboBox* cbxMes = nullptr;
    TGet* getAnio = nullptr;

    const Date dInicio;
    std::vector<Semana> aSemanas;
    int nRow = 1;  // the current week of the grid
    int nMes = 1;
    int nAnio = 0;
    Date dFecha;   // the current date
    bool lAceptar = false;

  private:
    void rebuild();
    void spin(int step);
};

// CALENDARIO: the picked date; when none was accepted, the given one (today by default).
Date calendario(Date start = today(), const std::string& title = "Seleccione la Fecha");

}  // namespace wv
