#include "data/application.h"

#include <cctype>

#include "runtime/settings.h"

namespace wv {

TApplication& oApp() {
    static TApplication app;
    return app;
}

void TApplication::setIdentity() {
    cSistema = "Sistema Demo de Facturacion \xAE";
    cEmpresa = "Empresa de Pruebas \xAE";
    cDomicilio = "";
    xVersion = "Ordavex.2008.19/05/2008 12:07p.";
    for (char& c : xVersion) c = char(std::tolower(static_cast<unsigned char>(c)));
    xAdmin = "ADMIN";
    cProgramador = "Equipo de Desarrollo";
    cEmail = "soporte@example.com";
    cTelefono = "+52 000 000 0000";
    cPaginaWeb = "https://www.example.com";
    xDatos = ".\\datos\\";
    cUsuario = "USUARIO DEMO";
}

void applyProcessSettings() {
    Settings& s = settings();
    s.century = false;
    s.epoch = 1960;
    s.confirm = true;
    s.deleted = true;
    s.exclusive = false;
    s.language = "ES";
}

}  // namespace wv
