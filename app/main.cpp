// The program's entry. It works in its current directory, unless WVESTOR_DIR names the
// installation to work in (the desktop menu's launcher sets it, ~/wvestor by default): then a
// directory without data is given a new, empty installation and the company's pictures first.
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/startup_qt.h"
#include "data/tables.h"
#include "runtime/codepage.h"
#include "runtime/operator.h"
#include "ui/interface.h"

namespace fs = std::filesystem;

namespace {

// The new installation's notice, shown once the window system is up.
std::string newInstallation;

void showNewInstallation() {
    if (newInstallation.empty()) return;
    QTimer::singleShot(0, [] {
        wv::msgInfo(wv::Value("Se creó una instalación nueva, sin registros, en\r\n" +
                              newInstallation +
                              "\r\n\r\nCapture sus catálogos antes de facturar."),
                    "Instalación nueva");
    });
}
Q_COREAPP_STARTUP_FUNCTION(showNewInstallation)

// Where the installed pictures are: share/wvestor beside the program's bin/, else where the
// build installs them.
fs::path sharedPictures() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        fs::path beside = exe.parent_path().parent_path() / "share" / "wvestor";
        if (fs::is_directory(beside, ec)) return beside;
    }
#ifdef WV_SHARE_DIR
    return WV_SHARE_DIR;
#else
    return {};
#endif
}

// Enters the installation directory, laying it out when it has no data; false with the reason.
bool enterInstallation(const fs::path& dir, std::string* error) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        *error = "No se pudo crear el directorio " + dir.string();
        return false;
    }
    if (!fs::exists(dir / "datos", ec)) {
        if (!wv::initInstallation(dir.string(), false, error)) return false;
        newInstallation = wv::fromUtf8(dir.string());
    }
    fs::create_directories(dir / "bitmaps", ec);
    fs::path pictures = sharedPictures();
    for (const char* name : {"empresa.jpg", "logo_impresion.bmp"})
        if (!pictures.empty() && !fs::exists(dir / "bitmaps" / name, ec))
            fs::copy_file(pictures / name, dir / "bitmaps" / name, ec);
    if (::chdir(dir.c_str()) != 0) {
        *error = "No se pudo entrar al directorio " + dir.string();
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("WVESTOR_DIR");
    if (dir && *dir) {
        std::string error;
        if (!enterInstallation(dir, &error)) {
            std::fprintf(stderr, "wvestor: %s\n", error.c_str());
            QApplication qapp(argc, argv);
            wv::initInterface();
            wv::msgStop(wv::Value(wv::fromUtf8(error) + "\r\n(WVESTOR_DIR=" + wv::fromUtf8(dir) + ")"),
                        "wvestor");
            return 1;
        }
    }
    return wv::mainProgram(argc, argv);
}
