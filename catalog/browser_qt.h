// The catalogue browser on the screen: the window DLG_LISTADOS over a catalogue's table, with its
// grid in code or name order, the incremental search, and the buttons that run the catalogue's
// record forms (add, consult, modify, delete, maintenance), print the catalogue and leave.
#pragma once

#include <QFont>
#include <string>
#include <vector>

#include "ui/browse.h"
#include "ui/dialog.h"

namespace wv {

// RGB(r, g, b) as the controls take colours.
constexpr Colour rgb(int r, int g, int b) { return Colour(r | (g << 8) | (b << 16)); }

// The catalogue lists' colours: white titles and footers on dark red.
constexpr Colour kTitleBack = rgb(128, 0, 64);
constexpr Colour kTitleText = rgb(255, 255, 255);
// Whether a cell kind of the browse's cell hooks is a column title or a footer.
constexpr bool titleOrFooter(int kind) {
    return kind == TWBrowse::kCellHeader || kind == TWBrowse::kCellFooter;
}
// The titles' and footers' background of the catalogue lists.
void catalogTitleBack(TWBrowse& brw);

// F_CAMBIARINDICE: the alias ordered by its tag number n; the title of column n in capitals and
// coloured, the others in small letters; the search emptied; the window's caption naming the
// order; the first record.
void fCambiarIndice(const std::string& alias, const std::string& title, int n, TWBrowse& brw,
                    TDialog& dlg);

// The colours of the catalogue lists: a row's background by the parity of its place in the order,
// and the columns' titles and footers.
void catalogGridLook(TWBrowse& brw);

// One browser window. The object is here so that a caller (a test) can reach its controls while
// it is up; CATALOGO and XCATALOGO run one from start to end.
class XCatalogo {
public:
    // Over the catalogue's table, open in the area of its name (the caller's, or opened here).
    XCatalogo(std::string catalogo, std::vector<std::string> actions);
    XCatalogo(const XCatalogo&) = delete;
    XCatalogo& operator=(const XCatalogo&) = delete;

    // Runs the window modally; returns when the operator confirmed its closing.
    void run();
    // The record buttons act on a real record only (an empty order, the end of the table, or a
    // record that went meanwhile have none).
    void runAction(size_t entry);

    const std::string catalogo;
    const std::string display;
    std::vector<std::string> actions;
    std::string cBusqueda;   // the search text
    std::string cIndice;     // the active order's name
    QFont oFont;             // the two labels' font
    TDialog dlg;
    TWBrowse* brw = nullptr;

private:
    void installFooter();
};

// XCATALOGO: the browser over the catalogue; opens its table from cDir unless the caller has it
// open (lAbierto), in which case the table stays open, on the record last highlighted and in the
// order last chosen.
void xCatalogo(const std::string& catalogo, const std::vector<std::string>& actions,
               const std::vector<std::vector<std::string>>& indexes, bool lAbierto = false,
               const std::string& cDir = "");
// CATALOGO: the browser with the catalogue's actions and its code order first.
void catalogo(const std::string& catalogo, bool lAbierto = false, const std::string& cDir = "");

// The forms, the lookup list and the menu's catalogue commands bound to their windows.
void registerCatalogScreens();

}  // namespace wv
