#include "app/fechas_qt.h"

#include "support/calendar_qt.h"
#include "support/dates.h"
#include "ui/appui.h"

namespace wv {
namespace {

constexpr Colour kDarkRed = 128;

}  // namespace

FFechas::FFechas() : dlg("DLG_FECHAS", &oAppUi().fBold) {
    getInicial = &dateField(101, dInicial, "Introduzca o seleccione la Fecha Inicial");
    getFinal = &dateField(102, dFinal, "Introduzca o seleccione la Fecha Final");
    sayInicial = &fullDate(201, dInicial);
    sayFinal = &fullDate(202, dFinal);
    btnAceptar = &dlg.redefineButton(400, [this] { dlg.end(1); });
    btnAceptar->setToolTip("Presione para Continuar");
    btnSalir = &dlg.redefineButton(401, [this] { dlg.end(2); }, {.cancel = true});
    btnSalir->setToolTip("Presione para Salir");
}

// A date field whose button opens the calendar. Leaving the field refreshes the texts.
TBtnGet& FFechas::dateField(int id, Date& date, const std::string& toolTip) {
    TBtnGet& field = dlg.redefine<TBtnGet>(
        id, setGet(date),
        TGet::Options{.picture = "@D",
                      .valid =
                          [this](TGet&) {
                              dlg.update();
                              return true;
                          }},
        TBtnGet::BtnOptions{.bitmap = "BMP_CALENDARIOPQ",
                            .action = [this, id, &date] { pick(id, date); }});
    field.setToolTip(toolTip);
    return field;
}

// The calendar's date (today when it is dismissed) into the field, which gets the focus back;
// the texts follow.
void FFechas::pick(int id, Date& date) {
    date = calendario();
    if (TControl* field = dlg.control(id)) {
        field->refresh();
        field->setFocus();
    }
    dlg.update();
}

TSay& FFechas::fullDate(int id, const Date& date) {
    return dlg.redefineSay(id, [&date] { return Value(fechaCompleta(date)); },
                           {.text = kDarkRed, .update = true, .font = &oAppUi().fBold});
}

RangoFechas FFechas::run() {
    dlg.activate();
    return {dInicial, dFinal};
}

RangoFechas fFechas() {
    FFechas dlg;
    return dlg.run();
}

}  // namespace wv
