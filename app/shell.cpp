#include "app/shell.h"

#include <cstdio>
#include <map>

#include "app/utils.h"
#include "data/application.h"
#include "data/maintenance.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/operator.h"
#include "storage/platform.h"
#include "storage/workstation.h"

namespace wv {

std::string exeMutexName(const std::string& argv0) {
    std::string name = argv0;
    size_t cut = name.find_last_of("\\/");
    if (cut != std::string::npos)
        name = name.substr(cut + 1);
    else if (size_t colon = name.find(':'); colon != std::string::npos)
        name = name.substr(colon + 1);
    return upperCase(name);
}

void logFile(const std::string& cFile, const std::vector<Value>& aValues, const std::string& date,
             const std::string& time) {
    std::string line = date + " " + time + ": ";
    for (const Value& v : aValues) line += xToC(v) + "\t";
    line += "\r\n";
    std::FILE* f = std::fopen(os::resolvePath(cFile).c_str(), "ab");
    if (!f) return;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
}

void logFile(const std::string& cFile, const std::vector<Value>& aValues) {
    DateTime n = now();
    logFile(cFile, aValues, dtoc(n.date), n.time);
}

void logIngreso() {
    DateTime n = now();
    std::string date = dtoc(n.date), time = n.time;
    logFile(kLoginLog, {Value("ingreso al sistema"), Value(oApp().cIniciales), Value(date),
                        Value(time)},
            date, time);
}

std::string windowTitle(const std::string& computer, const std::string& user) {
    const TApplication& app = oApp();
    return app.cEmpresa + " - " + app.cSistema + "  [ Estacion de Red: " + computer +
           " Usuario de Red: " + user + " ]";
}

std::string userItemText(const std::string& cUsuario) { return cUsuario.substr(0, 20); }

std::string aboutText(const std::string& osName) {
    const TApplication& app = oApp();
    return app.cEmpresa + " - " + app.cSistema + "\r\n" +
           "\r\n" +
           "Version: " + app.xVersion + "\r\n" +
           "Programador: " + app.cProgramador + "\r\n" +
           "Sistema Operativo: " + osName + "\r\n" +
           "Soporte Tecnico email: " + app.cEmail + "\r\n" +
           "Soporte Tecnico Tel.: " + app.cTelefono;
}

bool acercaDe() {
    msgInfo(Value(aboutText(os::systemName())), "Informacion del Sistema");
    return true;
}

bool enDesarrollo() {
    msgStop(Value("En Desarrollo"), oApp().cEmpresa);
    return true;
}

bool confirmExit() {
    return msgNoYes(Value("Esta seguro de querer Salir..."), "Salir del Sistema");
}

void exitApp() { workspace().closeAll(); }

namespace {

std::map<Command, std::function<void()>>& screens() {
    static std::map<Command, std::function<void()>> m;
    return m;
}

}  // namespace

void setCommandScreen(Command c, std::function<void()> screen) { screens()[c] = std::move(screen); }

void runCommand(Command c) {
    switch (c) {
        case Command::None:
        case Command::Salir:
            return;
        case Command::Ordena:
            ordena();
            return;
        case Command::AcercaDe:
            acercaDe();
            return;
        default:
            break;
    }
    auto it = screens().find(c);
    if (it != screens().end() && it->second)
        it->second();
    else
        enDesarrollo();
}

const std::vector<MenuEntry>& menuTree() {
    static const std::vector<MenuEntry> tree = {
        {1, "&Facturacion", "Captura/Consulta/Borrado/Cancelacion de Facturas", "B_FAC",
         Command::None},
        {2, "&Captura", "Captura de Facturas", "NUEVO", Command::Captura},
        {2, "C&onsulta / Re-Impresion", "Consulta / Re-Impresion de Facturas", "CONSULTA",
         Command::Consulta},
        {2, "Cance&lacion / Eliminacion", "Cancelacion/Borrado de Facturas", "BORRAR",
         Command::Cancelacion},
        {2, "-", "", "", Command::None},
        {2, "&Posiciones de Impresion", "Posiciones de Impresion de Facturas", "BRWSMAL",
         Command::Posiciones},
        {2, "-", "", "", Command::None},
        {2, "&Reportes", "", "PRINT", Command::None},
        {3, "&Facturas Expedidas", "Listado de Facturas", "PRINT", Command::FacturasExpedidas},
        {1, "&Catalogos", "Menu de Catalogos", "", Command::None},
        {2, "Articulo", "Catalogo de Articulos", "PACK", Command::CatArticulo},
        {2, "Concepto de Facturacion", "Catalogo de Conceptos de Facturacion", "PACK",
         Command::CatConcepto},
        {2, "-", "", "", Command::None},
        {2, "Clientes", "Catalogo de Clientes", "PACK", Command::CatCliente},
        {1, "&Utilerias", "Menu de Utilerias", "", Command::None},
        {2, "Mtto. Base Datos", "Mantenimiento a las bases de datos", "INDICE", Command::Ordena},
        {2, "Ayuda", "Ayuda del Sistema", "", Command::None},
        {3, "Informacion del Sistema\tF1", "Informacion del Sistema", "BMP_AYUDAIND",
         Command::SystemInfo},
        {3, "Acerca de...", "Acerca de...", "ABOUT", Command::AcercaDe},
        {2, "-", "", "", Command::None},
        {2, "Salir", "Salir del Sistema", "bmp_salirpq", Command::Salir},
    };
    return tree;
}

const std::vector<BarButton>& barButtons() {
    static const std::vector<BarButton> bar = {
        {1, "CLIENTE32", "Catalogo de Clientes", "Catalogo de Clientes", Command::CatCliente,
         false},
        {3, "PRODS32", "Catalogo de Articulos", "Catalogo de Articulos", Command::CatArticulo,
         false},
        {4, "IMPRE32", "Captura de Facturas", "Captura de Facturas", Command::Captura, true},
        {5, "INDICES", "Mantenimiento a las bases de datos",
         "Mantenimiento a las bases de datos en General", Command::Ordena, true},
        {6, "SALIR", "Salir del Sistema", "Salir del Sistema", Command::Salir, true},
    };
    return bar;
}

MenuUse menuUse(int nRow, int nCol) {
    if (nRow == 0 && nCol == 0) return MenuUse::MenuBar;
    if (nRow != 0 && nCol != 0) return MenuUse::ContextShown;
    return MenuUse::ContextHidden;
}

}  // namespace wv
