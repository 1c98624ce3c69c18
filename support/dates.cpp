#include "support/dates.h"

#include <algorithm>

#include "data/application.h"
#include "runtime/date.h"
#include "runtime/operator.h"

namespace wv {

namespace {
const char* const kMeses[] = {"Enero",      "Febrero", "Marzo",     "Abril",
                              "Mayo",       "Junio",   "Julio",     "Agosto",
                              "Septiembre", "Octubre", "Noviembre", "Diciembre"};
}  // namespace

std::string nombreMes(int month) {
    return month >= 1 && month <= 12 ? kMeses[month - 1] : "";
}

std::string fechaCompleta(Date d) {
    if (d.empty()) return "Todas las fechas";
    int y, m, dd;
    ymdFromDate(d, y, m, dd);
    return std::to_string(dd) + " de " + nombreMes(m) + " del " + std::to_string(y);
}

std::string fechaCompleta() { return fechaCompleta(today()); }

int columnaLunes(Date d) {
    const int w = dow(d);
    if (w == 0) return 0;
    return w == 1 ? 7 : w - 1;
}

std::vector<Semana> aSemanas(int month, int year) {
    std::vector<Semana> weeks(1);
    Date d = dateFromYmd(year, month, 1);
    if (d.empty()) return weeks;
    int column = columnaLunes(d);
    int day = 1;
    while (wv::month(d) == month) {
        if (column > 7) {
            column = 1;
            weeks.emplace_back();
        }
        std::string cell = std::to_string(day);
        weeks.back()[size_t(column - 1)] = std::string(4 - cell.size(), ' ') + cell;
        d.jd += 1;
        ++day;
        ++column;
    }
    return weeks;
}

Date getDate(int day, int month, int year) {
    // No month is longer than 31 days, so starting there gives the same answer and keeps the
    // search short whatever day is asked for.
    for (int dd = std::clamp(day, 1, 31); dd >= 1; --dd) {
        Date d = dateFromYmd(year, month, dd);
        if (!d.empty()) return d;
    }
    return Date{};
}

bool fValidaVacio(const Value& value, const std::string& message) {
    if (!value.isEmpty()) return true;
    msgStop(message, oApp().cEmpresa);
    return false;
}

}  // namespace wv
