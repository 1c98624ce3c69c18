#include "app/startup_qt.h"

#include <QApplication>
#include <QScreen>

#include "app/mainwindow_qt.h"
#include "app/fechas_qt.h"
#include "app/shell.h"
#include "catalog/browser_qt.h"
#include "data/application.h"
#include "invoice/capture_qt.h"
#include "invoice/listing_qt.h"
#include "invoice/positions_qt.h"
#include "runtime/operator.h"
#include "storage/workstation.h"
#include "support/systeminfo_qt.h"
#include "ui/appui.h"
#include "ui/controls.h"
#include "ui/image.h"
#include "ui/interface.h"

namespace wv {

bool startUp(const char* argv0) {
    TApplication& app = oApp();
    applyProcessSettings();
    app.setIdentity();
    if (os::isExeRunning(exeMutexName(argv0 ? argv0 : "wvestor"))) {
        msgWait("Advertencia, el Sistema ya est\xE1 abierto...", app.cEmpresa + " - " + app.cSistema,
                4);
        return false;
    }
    TApplicationUi& ui = oAppUi();
    ui.createFonts();
    QPixmap icon = resourceBitmap("ICO_KESTROM");
    if (!icon.isNull()) ui.oIcon = QIcon(icon);
    ui.oImagen = loadImage(".\\bitmaps\\empresa.jpg");
    logIngreso();
    return true;
}

void registerScreens() {
    setCommandScreen(Command::Posiciones, [] { fPosicionesImpresion(); });
    registerCatalogScreens();
    setCommandScreen(Command::CatArticulo, [] { catalogo("ARTICULO", false, oApp().xDatos); });
    setCommandScreen(Command::CatConcepto, [] { catalogo("CONCFAC", false, oApp().xDatos); });
    setCommandScreen(Command::CatCliente, [] { catalogo("CLIENTE", false, oApp().xDatos); });
    setCommandScreen(Command::SystemInfo, [] { systemInfor(); });
    registerInvoiceScreens();
    setCommandScreen(Command::Captura, [] { fCapFact(1); });
    setCommandScreen(Command::Consulta, [] { fCapFact(2); });
    setCommandScreen(Command::Cancelacion, [] { fCapFact(3); });
    setListingRange([]() -> std::optional<std::array<Date, 2>> {
        FFechas f;
        RangoFechas r = f.run();
        if (f.dlg.nResult != 1) return std::nullopt;
        return r;
    });
    setCommandScreen(Command::FacturasExpedidas, [] { facturasExpedidas(consultaFactura); });
}

void exitProgram() {
    exitApp();
    oAppUi().release();
}

int mainProgram(int argc, char** argv) {
    QApplication qapp(argc, argv);
    initInterface();
    registerScreens();
    if (!startUp(argc > 0 ? argv[0] : nullptr)) {
        exitProgram();
        return 0;
    }
    {
        TMainWindow wnd;
        // Where no window manager maximises it the window still takes most of the screen, and
        // that is also the size it comes back to when the operator restores it.
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect area = screen->availableGeometry();
            QSize size = area.size() * 0.9;
            wnd.setGeometry(QRect(area.topLeft() + QPoint((area.width() - size.width()) / 2,
                                                          (area.height() - size.height()) / 2),
                                  size));
        }
        wnd.showMaximized();
        qapp.exec();
    }
    exitProgram();
    return 0;
}

}  // namespace wv
