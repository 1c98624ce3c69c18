#include "app/utils_qt.h"

#include <QDesktopServices>
#include <QUrl>

#include "runtime/error.h"
#include "ui/dialog.h"
#include "ui/text.h"

namespace wv {

void onInit(TDialog& oDlg) { oDlg.setMessageBar(""); }

namespace {

bool desktopOpener(const std::string& url) {
    // xdg-open (through Qt) hands the address to the browser the desktop is set up with.
    return QDesktopServices::openUrl(QUrl::fromUserInput(qtText(url)));
}

UrlOpener& opener() {
    static UrlOpener o = desktopOpener;
    return o;
}

}  // namespace

UrlOpener setUrlOpener(UrlOpener o) {
    UrlOpener prev = std::move(opener());
    opener() = o ? std::move(o) : UrlOpener(desktopOpener);
    return prev;
}

void conecta(const std::string& cUrl, bool, bool, bool, bool) {
    for (;;) {
        if (opener()(cUrl)) return;
        Error e;
        e.genCode = gen::kOpen;
        e.subSystem = "CONECTA";
        e.subCode = 1;
        e.description = "No se pudo abrir el navegador";
        e.operation = cUrl;
        e.canRetry = true;
        e.canDefault = true;
        if (raiseError(e) != ErrorChoice::Retry) return;
    }
}

}  // namespace wv
