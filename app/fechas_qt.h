// F_FECHAS: asks for a range of dates, initial and final, each typed or picked from the calendar
// and shown written out in full below its field.
#pragma once

#include <array>

#include "runtime/date.h"
#include "ui/btnget.h"
#include "ui/dialog.h"

namespace wv {

// {initial, final}.
using RangoFechas = std::array<Date, 2>;

// One run of the dialog. fFechas() is the whole of it; the object is here so that a caller (a
// test) can reach the controls while it is up.
class FFechas {
public:
    FFechas();
    FFechas(const FFechas&) = delete;
    FFechas& operator=(const FFechas&) = delete;

    // Shows the dialog modally and returns the two dates as they stand when it closes, whichever
    // button closed it (dlg.nResult tells: 1 accepted, 2 left).
    RangoFechas run();

    Date dInicial = today();
    Date dFinal = today();
    TDialog dlg;
    TBtnGet* getInicial = nullptr;
    TBtnGet* getFinal = nullptr;
    TSay* sayInicial = nullptr;
    TSay* sayFinal = nullptr;
    TButton* btnAceptar = nullptr;
    TButton* btnSalir = nullptr;

private:
    TBtnGet& dateField(int id, Date& date, const std::string& toolTip);
    TSay& fullDate(int id, const Date& date);
    void pick(int id, Date& date);
};

// F_FECHAS: {initial, final}; both start as today.
RangoFechas fFechas();

}  // namespace wv
