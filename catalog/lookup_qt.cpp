#include "catalog/lookup_qt.h"

#include "catalog/browser_qt.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "ui/appui.h"
#include "ui/browse.h"
#include "ui/units.h"

namespace wv {

bool fBKeyDown(int nKey, TDialog& dlg) {
    if (nKey == 13) {
        dlg.end(1);
        return true;
    }
    if (nKey == 27) dlg.end(2);
    return false;
}

bool lookupWindow(const LookupRequest& r) {
    WorkArea* a = workspace().area(r.alias);
    if (!a) return false;
    std::string search(100, ' ');
    bool accepted = false;
    QFont font = programFont("Arial", 0, 18, true);
    TDialog dlg("DLG_VALCOD", &oAppUi().fNormal);
    dlg.cCaption = r.title;
    dlg.redefineSay(101, [&] { return Value(upperCase(search)); },
                    {.text = rgb(128, 0, 0), .update = true, .font = &font});

    TWBrowse* grid = nullptr;
    std::vector<std::function<void(TWBrowse&, int, int)>> actions;
    const size_t titles = r.headers.size();
    if (titles >= 2 && titles <= 4)
        for (size_t n = 1; n <= titles; ++n)
            actions.push_back([&, n](TWBrowse& b, int, int) {
                fCambiarIndice(r.alias, r.headers[n - 1], int(n), b, dlg);
                search = std::string(100, ' ');
                dlg.update();
            });
    TWBrowse& brw = dlg.redefine<TWBrowse>(102, r.line,
                                           TWBrowse::Options{.headers = r.headers,
                                                             .colSizes = {140, 140, 100},
                                                             .ldblClick =
                                                                 [&](int, int, int) {
                                                                     accepted = true;
                                                                     dlg.end(1);
                                                                 },
                                                             .update = true,
                                                             .alias = r.alias,
                                                             .actions = actions});
    grid = &brw;
    brw.setToolTip("Seleccione una opcion...");
    brw.bLogicLen = [a] { return long(a->keyCount()); };
    brw.aJustify = {TWBrowse::kCentre, TWBrowse::kLeft, TWBrowse::kLeft, TWBrowse::kLeft};
    brw.aHJustify = {TWBrowse::kCentre, TWBrowse::kCentre, TWBrowse::kCentre, TWBrowse::kCentre};
    brw.nFooterStyle = 3;
    brw.nFreeze = int(titles);
    catalogGridLook(brw);
    // The list searches without a sound when nothing follows.
    brw.bSeek = [grid] { return grid->dbfSeek({.notFound = [] { return true; }}); };
    brw.bUpdateBuffer = [&] {
        search = grid->cBuffer;
        dlg.update();
    };
    brw.bKeyChar = [&](int nKey, int) {
        accepted = fBKeyDown(nKey, dlg);
        return nKey == 13 || nKey == 27;
    };
    dlg.redefineButtonBmp(
        103,
        [&] {
            accepted = true;
            dlg.end(1);
        },
        {.msg = "Aceptar", .caption = "A&ceptar "},
        {.bitmap = "BTN_OK", .toolTip = "Presione para Continuar"});
    dlg.activate([&] {
        fCambiarIndice(r.alias, r.headers.empty() ? std::string() : r.headers[0], 1, brw, dlg);
        search = std::string(100, ' ');
        dlg.update();
        brw.setFocus();
    });
    return accepted;
}

}  // namespace wv
