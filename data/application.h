// The application object: the identity texts, the data directory, the user's level and the
// number of printed copies that every screen reads. The interface adds the fonts, icon, image and
// main window when it starts; this part knows no screen.
#pragma once

#include <string>

namespace wv {

class TApplication {
public:
    // Construction gives the defaults; start-up then calls setIdentity().
    TApplication() = default;
    // The identity members as start-up sets them.
    void setIdentity();

    std::string cNivel;       // "B" disables modify and reorganise in the catalogues
    std::string cUsuario;
    std::string xDatos;       // data directory, ends with a backslash
    std::string xVersion;
    std::string xAdmin;
    std::string cIniciales;
    std::string cEmpresa;     // title of every message box
    std::string cDomicilio;
    std::string cProgramador;
    std::string cEmail;
    std::string cTelefono;
    std::string cPaginaWeb;
    std::string cDriver, cClaveAcceso, cIdUsuario, xSistema;
    std::string cSistema;
    std::string xVestor = ".\\", xQuenda = ".\\", xTorvel = ".\\";
    bool lErrorIdx = false, lAdmin = false;
    double nIva = 0, nHospedaje = 0;
    double nCopias = 0;
};

// The one application object of the process (GETAPP).
TApplication& oApp();

// Start-up's process-wide settings: date format "dd/mm/yy", epoch 1960, confirm on, deleted on,
// exclusive off, language "ES".
void applyProcessSettings();

}  // namespace wv
