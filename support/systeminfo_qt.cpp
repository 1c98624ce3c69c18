#include "support/systeminfo_qt.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

#include "runtime/operator.h"
#include "ui/text.h"

namespace wv {

SystemFacts currentSystemFactsWithScreen() {
    SystemFacts f = currentSystemFacts();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        f.colorBits = screen->depth();
        f.monitorName = programText((screen->manufacturer() + " " + screen->model()).trimmed());
    }
    return f;
}

void systemInfor() {
    TSystemInfo info(currentSystemFactsWithScreen());
    systemInfor(info, [](const std::string& path) {
        QString file = QDir::current().absoluteFilePath(qtText(path));
        // The desktop's program for text files, through xdg-open; no shell in between, and it
        // lives on by itself once started.
        if (!QProcess::startDetached(QStringLiteral("xdg-open"), {file}))
            msgInfo(Value("El reporte quedó en " + programText(file) +
                          "\r\n(no se encontró xdg-open para abrirlo)"),
                    "Informacion del Sistema");
    });
}

}  // namespace wv
