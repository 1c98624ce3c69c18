// The application object's interface resources: its fonts, icon, background image and the main
// window with its button bar. Start-up creates them and every screen reads them (the dialogs'
// font is fNormal, titles use fBold); they are released at exit.
#pragma once

#include <QAbstractButton>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QToolBar>
#include <array>

namespace wv {

struct TApplicationUi {
    QFont oMainFont;   // Arial, height -13
    QFont oFontLetra;  // Arial, height 50, bold
    QFont fTitulo;     // Arial, height -72, bold italic
    QFont fNormal;     // MS Sans Serif 8
    QFont fBold;       // MS Sans Serif 8, bold
    QIcon oIcon;
    QImage oImagen;    // the main window's background; null when there is none
    QPointer<QMainWindow> oWnd;
    QPointer<QToolBar> oBar;
    std::array<QPointer<QAbstractButton>, 6> aoBtn{};  // slots 1..6 as aoBtn[0..5]

    // The five fonts as start-up creates them.
    void createFonts();
    // Fonts, icon and image dropped; the window pointers forgotten.
    void release();
};

TApplicationUi& oAppUi();

}  // namespace wv
