// Pictures of the dialogs and boxes for a person to look at. Skipped unless WV_UI_SHOTS names a
// directory; run under a virtual display:
//   WV_UI_SHOTS=/tmp/shots QT_QPA_PLATFORM=xcb xvfb-run -a tests/wv_ui_tests --gtest_filter='Shots*'
#include <gtest/gtest.h>

#include <QPushButton>
#include <cstdlib>

#include "runtime/date.h"
#include "ui/dialog.h"
#include "ui_fixture.h"

namespace wv {
namespace {

using test::cp;
using test::whenModal;

class Shots : public ::testing::Test {
protected:
    void SetUp() override {
        const char* dir = std::getenv("WV_UI_SHOTS");
        if (!dir) GTEST_SKIP() << "WV_UI_SHOTS is not set";
        dir_ = QString::fromUtf8(dir);
        test::ensureApp();
    }
    void save(QWidget* w, const char* name) {
        QTest::qWait(150);
        EXPECT_TRUE(w->grab().save(dir_ + "/" + name + ".png")) << name;
    }
    // Shows a box through `show` and saves its picture, then closes it.
    void shoot(const char* name, const std::function<void()>& show) {
        whenModal([&](QWidget* w) { save(w, name); });
        show();
    }

    QString dir_;
};

TEST_F(Shots, DialogAndBoxes) {
    std::string nombre = cp("HOTEL SAN JOSÉ, S.A.") + std::string(10, ' ');
    Date fecha = dateFromYmd(2008, 2, 29);
    double importe = 1234567.5, iva = 15;
    int personas = 2, pago = 2;
    bool cancelada = false;
    TDialog dlg("DLG_PRUEBA");
    dlg.setMessageBar("");
    dlg.redefineGet(101, setGet(nombre), {.picture = "@!", .msg = "Nombre del cliente"});
    dlg.redefineGet(102, setGet(fecha), {.picture = "@D"});
    dlg.redefineGet(103, setGet(importe), {.picture = "9,999,999.99"});
    dlg.redefineGet(104, setGet(personas), {.picture = "999"});
    dlg.redefineGet(105, setGet(iva), {.picture = "99%"});
    dlg.redefineComboBox(107, setGet(pago), {"Efectivo", "Tarjeta", "Transferencia"});
    dlg.redefineCheckBox(106, setGet(cancelada));
    dlg.redefineSay(201, [] { return Value(cp("Total con letra: UN MILLÓN...")); },
                    {.text = 128});
    dlg.redefineButtonBmp(400, [&] { dlg.end(1); }, {.caption = "A&ceptar "},
                          {.bitmap = "PRUEBA_OK", .toolTip = "Presione para Continuar"});
    dlg.redefineButtonBmp(401, [&] { dlg.end(2); }, {.caption = "&Cancelar ", .cancel = true},
                          {.bitmap = "PRUEBA_CAN", .toolTip = "Presione para Cancelar"});
    whenModal([&](QWidget* w) {
        save(w, "dlg_prueba");
        dlg.end(1);
    });
    dlg.activate([&] { dlg.control(101)->setFocus(); });

    shoot("msginfo", [] { msgInfo(cp("Registro grabado con éxito"), std::string("Hotel")); });
    shoot("msgalert", [] { msgAlert("Imposible duplicar codigo, verifique o cambie..."); });
    shoot("msgstop", [] { msgStop("No se pudo abrir la tabla: CLIENTE", std::string("Hotel")); });
    shoot("msgyesno", [] { msgYesNo(cp("¿Desea cerrar el catalogo de: Clientes?")); });
    shoot("msgnoyes", [] { msgNoYes(cp("¿Eliminar la factura A000000012?"), std::string("Hotel")); });
    shoot("msgwait", [] { msgWait("El sistema ya se encuentra activo...", "", 1); });
    shoot("alert", [] {
        alert("El mantenimiento a: CLIENTES\r\n En: .\\datos\\cliente.dbf, se finalizo "
              "satisfactoriamente...",
              {"&Reintentar", "&Esperar", "&Salir"}, std::string("Hotel"), 2);
    });
    msgProgress(
        [&](Progress& p) {
            p.setRange(100);
            p.setPosition(40);
            QTest::qWait(100);
            save(QApplication::activeModalWidget(), "msgprogress");
        },
        "INDEXANDO: .\\DATOS\\FACTURAS.DBF EN: numero CON LLAVE: numero", "Hotel");
}

}  // namespace
}  // namespace wv
