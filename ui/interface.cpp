#include "ui/interface.h"

#include <QApplication>

#include "ui/errordialog.h"
#include "ui/qtoperator.h"
#include "ui/units.h"

namespace wv {

void initInterface() {
    installFontSubstitutes();
    QApplication::setFont(dialogFont());
    static QtOperator op;
    setOperator(&op);
    setErrorPresenter(errorDialogPresenter);
}

}  // namespace wv
