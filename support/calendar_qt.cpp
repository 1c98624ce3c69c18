#include "support/calendar_qt.h"

#include <algorithm>
#include <cstdlib>

#include "ui/browse.h"

namespace wv {
namespace {

const char* const kDias[7] = {"Lun", "Mar", "Mie", "Jue", "Vie", "Sab", "Dom"};

std::vector<std::string> monthNames() {
    std::vector<std::string> names;
    for (int m = 1; m <= 12; ++m) names.push_back(nombreMes(m));
    return names;
}

Value gridValue(const std::vector<Semana>& weeks) {
    Array rows;
    for (const Semana& w : weeks) {
        Array cells;
        for (const std::string& c : w) cells.emplace_back(c);
        rows.emplace_back(std::move(cells));
    }
    return Value(std::move(rows));
}

}  // namespace

Date rowColDate(int day, int month, int year, TWBrowse& grid, int& row) {
    const Date date = getDate(day, month, year);
    if (date.empty()) return date;
    const Date before{dateFromYmd(year, month, 1).jd - 1};
    grid.refresh();
    grid.goTop();
    grid.setColumn(1);
    grid.setColumn(columnaLunes(date));
    row = (wv::day(date) + dow(before) - 1 - grid.nColAct + 7) / 7;
    grid.skip(row - 1);
    grid.nRowPos = row;
    grid.refresh();
    return date;
}

Calendario::Calendario(Date start, const std::string& title)
    : dlg("DLG_CALENDARIO"), dInicio(start) {
    dlg.cCaption = title;
    dFecha = start;
    nMes = std::clamp(month(start), 1, 12);
    nAnio = year(start);
    aSemanas = wv::aSemanas(nMes, nAnio);

    grid = &dlg.redefine<TWBrowse>(
        100, std::function<Array()>{},
        TWBrowse::Options{.headers = {kDias, kDias + 7}, .colSizes = std::vector<int>(7, 30)});
    grid->setArray(gridValue(aSemanas));
    grid->lCellStyle = true;
    grid->bLClick = [this](int, int, int) { singleClick(); };
    grid->bLDblClick = [this](int, int, int) { doubleClick(); };
    grid->bKeyDown = [this](int nKey, int) {
        if (nKey == vk::kReturn) {
            doubleClick();
            return true;
        }
        singleClick();
        return false;
    };

    cbxMes = &dlg.redefineComboBox(101, setGet(nMes), monthNames(),
                                   {.change = [this](TComboBox& c) { setMonth(c.nAt); }});
    getAnio = &dlg.redefineGet(102, setGet(nAnio),
                               {.picture = "9999", .valid = [this](TGet& g) {
                                    return setYear(int(g.value().num()));
                                }});
    dlg.redefineButton(103, [this] { spin(1); });
    dlg.redefineButton(104, [this] { spin(-1); });
    dlg.redefineButton(400, [this] {
        lAceptar = true;
        dlg.end(1);
    });
    dlg.redefineButton(401, [this] { dlg.end(2); }, {.cancel = true});
}

Date Calendario::run() {
    dlg.activate([this] {
        dFecha = rowColDate(day(dInicio), nMes, nAnio, *grid, nRow);
        grid->setFocus();
    });
    return lAceptar ? getDate(activeDay(), nMes, nAnio) : dInicio;
}

int Calendario::activeDay() const {
    const long at = grid->nAt;
    if (at < 1 || size_t(at) > aSemanas.size()) return 0;
    return std::atoi(aSemanas[size_t(at - 1)][size_t(grid->nColAct - 1)].c_str());
}

void Calendario::rebuild() {
    aSemanas = wv::aSemanas(nMes, nAnio);
    grid->setArray(gridValue(aSemanas));
    const Date d = rowColDate(day(dFecha), nMes, nAnio, *grid, nRow);
    if (!d.empty()) dFecha = d;
}

void Calendario::setMonth(int month) {
    if (month < 1 || month > 12) return;
    nMes = month;
    rebuild();
}

bool Calendario::setYear(int year) {
    if (year < 0 || year > 9999 || getDate(1, nMes, year).empty()) return false;
    nAnio = year;
    rebuild();
    return true;
}

void Calendario::spin(int step) {
    if (setYear(nAnio + step)) getAnio->refresh();
}

void Calendario::singleClick() {
    const Date d = getDate(activeDay(), nMes, nAnio);
    if (!d.empty()) dFecha = d;
}

void Calendario::doubleClick() {
    if (activeDay() > 0) {
        lAceptar = true;
        dlg.end(1);
        return;
    }
    if (grid->nAt <= 1) {
        if (--nMes < 1) {
            nMes = 12;
            --nAnio;
        }
    } else if (++nMes > 12) {
        nMes = 1;
        ++nAnio;
    }
    cbxMes->refresh();
    getAnio->refresh();
    rebuild();
}

Date calendario(Date start, const std::string& title) {
    Calendario cal(start, title);
    return cal.run();
}

}  // namespace wv
