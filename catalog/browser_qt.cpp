#include "catalog/browser_qt.h"

#include <QLabel>

#include "catalog/catalogo.h"
#include "catalog/forms_qt.h"
#include "catalog/lookup_qt.h"
#include "catalog/names.h"
#include "data/application.h"
#include "data/netuse.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/operator.h"
#include "ui/appui.h"
#include "ui/ssay.h"
#include "ui/units.h"

namespace wv {

namespace {

constexpr Colour kWhite = kTitleText;

// The browser's message bar, also the generic form's.
const char* const kSearchHint =
    "Para busquedas habilite la opcion presionando el titulo de la columna...";

}  // namespace

void catalogGridLook(TWBrowse& brw) {
    brw.lCellStyle = false;
    brw.lAdjLastCol = true;
    brw.lDrawFocusRect = false;
    brw.nHeaderStyle = 3;
    brw.nHeaderHeight = 25;
    brw.nLineStyle = 10;
    brw.nLineHeight = 22;
    brw.nClrForeFocus = kWhite;
    brw.nClrBackFocus = rgb(0, 78, 152);
    brw.nClrBackHead = rgb(105, 132, 192);
    brw.nClrForeHead = kWhite;
    brw.nClrPane = ColourRule([&brw] {
        return brw.nLogicRow() % 2 == 0 ? rgb(193, 221, 255) : rgb(221, 245, 255);
    });
    brw.bFont = [](int row, int col, int kind) {
        TApplicationUi& ui = oAppUi();
        return seleccionaFuente(row, col, kind, &ui.fNormal, &ui.fBold, &ui.fBold, &ui.fBold);
    };
}

void catalogTitleBack(TWBrowse& brw) {
    brw.bBkColor = [](int, int, int kind) {
        return titleOrFooter(kind) ? kTitleBack : kDefaultColour;
    };
}

void fCambiarIndice(const std::string& alias, const std::string& title, int n, TWBrowse& brw,
                    TDialog& dlg) {
    if (WorkArea* a = workspace().area(alias)) a->setOrder(n);
    brw.bBkColor = [n](int, int col, int kind) {
        return kind == TWBrowse::kCellHeader && col == n ? kTitleBack : kDefaultColour;
    };
    brw.bTextColor = [n](int, int col, int kind) {
        return kind == TWBrowse::kCellHeader && col == n ? kWhite : kDefaultColour;
    };
    for (size_t i = 0; i < brw.aHeaders.size(); ++i)
        brw.aHeaders[i] = int(i) + 1 == n ? upperCase(brw.aHeaders[i])
                                          : lowerCase(brw.aHeaders[i]);
    brw.cBuffer.clear();
    dlg.setCaption("Listado de: " + nomCatalogos(alias) + ": Ordenando por: " + title);
    brw.goTop();
    brw.refresh();
}

XCatalogo::XCatalogo(std::string cat, std::vector<std::string> acts)
    : catalogo(upperCase(cat)),
      display(nomCatalogos(cat)),
      actions(std::move(acts)),
      oFont(programFont("Arial", 0, -16, true)),
      dlg("DLG_LISTADOS", &oAppUi().fNormal) {
    dlg.cCaption = "Catalogo de: " + display;
    WorkArea* a = workspace().area(catalogo);
    workspace().select(catalogo);
    const CatalogFields fields = catalogFields();

    TSay& banner = dlg.redefineSay(110, [] { return Value(); });
    if (QLabel* l = banner.label()) {
        l->setPixmap(resourceBitmap("BMP_BARRITA"));
        l->setScaledContents(true);
    }
    dlg.redefine<TSSay>(112, [this] { return Value(display); },
                        TSSay::Options{.centered = true, .text = kWhite,
                                       .font = &oAppUi().fTitulo, .transparent = true});
    dlg.redefineSay(101, [this] { return Value(upperCase(cBusqueda)); },
                    {.text = rgb(128, 0, 0), .update = true, .font = &oFont});
    dlg.redefineSay(102, [this] { return Value(upperCase(cIndice)); },
                    {.text = rgb(0, 0, 128), .update = true, .font = &oFont});

    auto order = [this](const std::string& title, int n, const std::string& name) {
        return [this, title, n, name](TWBrowse& b, int, int) {
            fCambiarIndice(catalogo, title, n, b, dlg);
            cBusqueda = std::string(100, ' ');
            cIndice = name;
            dlg.update();
        };
    };
    brw = &dlg.redefine<TWBrowse>(
        500,
        [a, fields] {
            if (!a) return Array{};
            return Array{a->get(fields.code), a->get(fields.name)};
        },
        TWBrowse::Options{.headers = {"codigo", "nombre"},
                          .colSizes = {70, 100},
                          .ldblClick =
                              [this](int, int, int) {
                                  runAction(1);
                                  dlg.update();
                              },
                          .update = true,
                          .alias = catalogo,
                          .actions = {order("ID", 1, "Codigo"), order("NOMBRE", 2, "Nombre")}});
    brw->aJustify = {TWBrowse::kCentre, TWBrowse::kLeft};
    brw->aHJustify = {TWBrowse::kCentre, TWBrowse::kCentre};
    catalogGridLook(*brw);
    brw->bTextColor = [](int, int, int kind) {
        return titleOrFooter(kind) ? kWhite : kDefaultColour;
    };
    catalogTitleBack(*brw);
    brw->nFreeze = 1;
    brw->lDrawFooters = true;
    brw->nFooterStyle = 6;
    brw->nFooterHeight = 25;
    brw->aFJustify = {TWBrowse::kCentre, TWBrowse::kCentre};
    installFooter();
    brw->bLogicLen = [a] { return a ? long(a->recCount()) : 0L; };
    brw->bSeek = [this] {
        return brw->dbfSeek({.notFound = [] {
            // 500 Hz for three ticks where a speaker can sound it; the bell here.
            msgBeep();
            return true;
        }});
    };
    brw->bUpdateBuffer = [this] {
        cBusqueda = brw->cBuffer;
        if (TControl* c = dlg.control(101)) c->refresh();
    };

    auto rows = [this] { return brw->nLen > 0; };
    auto changes = [this] { return mayChangeCatalog(oApp().cNivel) && brw->nLen > 0; };
    auto always = [] { return true; };
    struct ButtonDef {
        int id;
        const char *bitmap, *caption;
        std::string msg, tip;
        std::function<bool()> when;
        std::function<void()> action;
    };
    const std::vector<ButtonDef> buttons = {
        {201, "BMP_AGREGAR", "Agregar \r\n Registro ", "Agregar un Registro",
         "Presione para Agregar un registro", always,
         [this] {
             runAction(0);
             cIndice.clear();
             brw->goTop();
             installFooter();
         }},
        {202, "BMP_CONSULTAR", "Consultar \r\nRegistro \r\nActivo ",
         "Consultar datos del registro Activo", "Presione para Consultar Datos del Registro Activo",
         rows, [this] { runAction(1); }},
        {203, "BMP_MODIFICAR", "Modificar \r\nRegistro \r\nActivo ",
         "Modificar datos del registro Activo", "Presione para Modificar Datos del Registro Activo",
         changes, [this] { runAction(2); }},
        {204, "BMP_BORRAR", "Eliminar \r\nRegistro \r\nActivo ", "Borrar el Registro Activo",
         "Presione para Borrar el registro Activo", changes,
         [this] {
             runAction(3);
             installFooter();
         }},
        {205, "BMP_ORDENAR", "Mtto. \r\n Registros ", "Reorganizar catalogo",
         "Presione para Reorganizar Catalogo", changes, [this] { runAction(4); }},
        {206, "IMPRIMIR", "Imprimir \r\nCatalogo ", "Imprimir Catalogo de: " + display,
         "Presione para Imprimir del Catalogo de: " + display, always,
         [this] {
             if (actions.size() >= 6)
                 runAction(5);
             else
                 brw->report("Impresion Catalogo: " + display, true);
         }},
    };
    for (const ButtonDef& b : buttons)
        dlg.redefineButtonBmp(
            b.id,
            [this, action = b.action] {
                action();
                dlg.update();
            },
            {.msg = b.msg, .update = true, .when = b.when, .caption = b.caption},
            {.bitmap = b.bitmap, .toolTip = b.tip});
    dlg.redefineButtonBmp(207, [this] { dlg.end(); },
                          {.msg = "Salir del Catalogo de: " + display,
                           .update = true,
                           .caption = "Salir \r\ndel \r\nCatalogo "},
                          {.bitmap = "SALIR",
                           .toolTip = "Presione para Salir del Catalogo de: " + display});
    // Every way out asks first: the button, the close box, Escape.
    dlg.bValid = [this] {
        return msgYesNo("Desea cerrar el catalogo de: " + display, oApp().cEmpresa);
    };
}

void XCatalogo::installFooter() {
    WorkArea* a = workspace().area(catalogo);
    brw->aFooters = BrowseFooters([a] {
        return std::vector<std::string>{"", footerCount(a ? a->keyCount() : 0)};
    });
}

void XCatalogo::runAction(size_t entry) {
    if (entry >= actions.size()) return;
    workspace().select(catalogo);
    const bool onRecord = entry >= 1 && entry <= 3;
    if (onRecord && (brw->nLen <= 0 || !onRealRecord(catalogo))) {
        // No record under the cursor (an empty order, the end of the table, a record another
        // station took away): the grid shows what there is now.
        brw->refresh();
        return;
    }
    runCatalogAction(actions[entry]);
    workspace().select(catalogo);
}

void XCatalogo::run() {
    dlg.activate([this] {
        dlg.setMessageBar(kSearchHint);
        brw->setFocus();
    });
}

void xCatalogo(const std::string& cat, const std::vector<std::string>& actions,
               const std::vector<std::vector<std::string>>& indexes, bool lAbierto,
               const std::string& cDir) {
    const std::string name = upperCase(cat);
    if (!lAbierto && !netUse(name, false, name, cDir)) {
        workspace().closeAll();
        return;
    }
    WorkArea* a = workspace().area(name);
    if (!a) return;
    workspace().select(name);
    a->setOrder(indexes.empty() || indexes[0].empty() ? std::string("id") : indexes[0][0]);
    a->goTop();
    {
        XCatalogo window(name, actions);
        window.run();
    }
    if (!lAbierto) workspace().closeArea(workspace().areaOf(name));
}

void catalogo(const std::string& cat, bool lAbierto, const std::string& cDir) {
    xCatalogo(cat, catalogActions(cat), {{"id"}, {"nombre"}}, lAbierto, cDir);
}

void registerCatalogScreens() {
    setLookupDialog(lookupWindow);
    setCatalogForm("f_Articulo", [](int mode) {
        fArticulo(mode, [](RecordForm& f) { return formDialog(f, FormWindow::Kind::Articulo); });
    });
    setCatalogForm("f_Clientes", [](int mode) {
        fClientes(mode, [](RecordForm& f) { return formDialog(f, FormWindow::Kind::Cliente); });
    });
    setCatalogForm("f_Comunes", [](int mode) {
        fComunes(mode, [](RecordForm& f) { return formDialog(f, FormWindow::Kind::Comunes); });
    });
}

}  // namespace wv
