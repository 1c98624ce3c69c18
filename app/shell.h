// The rules of the program's shell that need no screen: the start-up steps (the one-copy name,
// the log-in line, the window title), the menu tree and the button bar as data, the commands
// they run, the about box, the not-available notice and the closing question.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace wv {

// The name of the one-copy rule: the program's file name as started, without its directory
// (the text after the last '\' or '/', else after the first ':'), upper-cased, extension kept.
std::string exeMutexName(const std::string& argv0);

// LOGFILE: appends one line to the file (created when absent): today's date, a blank, the time,
// ": ", then every value as text followed by a TAB, and CR LF. A file that cannot be opened
// drops the line silently.
void logFile(const std::string& cFile, const std::vector<Value>& aValues);
void logFile(const std::string& cFile, const std::vector<Value>& aValues, const std::string& date,
             const std::string& time);

// The log-in log of the current directory.
inline constexpr const char* kLoginLog = "wVestor32.log";
// The start's line in the log-in log.
void logIngreso();

// The main window's title: company, system, the workstation's name and the network user.
std::string windowTitle(const std::string& computer, const std::string& user);

// The user item of the message bar: the first 20 characters of the user name.
std::string userItemText(const std::string& cUsuario);

// ACERCADE: the about box's text for the operating system named, and the box itself.
std::string aboutText(const std::string& osName);
bool acercaDe();
// ENDESARROLLO: the notice for a command that is not available.
bool enDesarrollo();
// The main window's closing question; true when the operator confirms.
bool confirmExit();
// EXITAPP's part below the interface: every table of every work area closed.
void exitApp();

// The commands of the menu and the button bar.
enum class Command {
    None,              // opens a submenu, or a separator
    Captura,           // F_CAP_FACT(1)
    Consulta,          // F_CAP_FACT(2)
    Cancelacion,       // F_CAP_FACT(3)
    Posiciones,        // F_POSICIONES_IMPRESION("FACTURAS")
    FacturasExpedidas, // the invoices issued in a range of dates
    CatArticulo,       // CATALOGO("ARTICULO")
    CatConcepto,       // CATALOGO("CONCFAC")
    CatCliente,        // CATALOGO("CLIENTE")
    Ordena,            // ORDENA
    SystemInfo,        // SYSTEMINFOR
    AcercaDe,          // ACERCADE
    Salir,             // ends the main window (the window asks first)
};

// Runs a command. Commands whose screens are bound to the interface are registered by it;
// until a screen is registered its command shows the not-available notice. Salir does nothing
// here: the window closes itself.
void runCommand(Command c);
void setCommandScreen(Command c, std::function<void()> screen);

// One row of the menu tree: level 1 is the menu bar; a row belongs to the nearest row above of
// the next lower level. The caption "-" is a separator.
struct MenuEntry {
    int level;
    std::string caption;
    std::string message;
    std::string bitmap;
    Command action;
    bool isSeparator() const { return caption == "-"; }
};
const std::vector<MenuEntry>& menuTree();

// The buttons of the main window's bar, left to right.
struct BarButton {
    int slot;  // its slot in aoBtn (1-based)
    std::string bitmap;
    std::string message;
    std::string toolTip;
    Command action;
    bool newGroup;  // a group gap stands before it
};
const std::vector<BarButton>& barButtons();

// F_MENU's choice by the coordinates: both 0 build the menu bar; otherwise a context menu,
// shown at the coordinates only when both are non-zero.
enum class MenuUse { MenuBar, ContextShown, ContextHidden };
MenuUse menuUse(int nRow, int nCol);

}  // namespace wv
