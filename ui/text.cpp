#include "ui/text.h"

#include "runtime/codepage.h"

namespace wv {

QString qtText(std::string_view cp1252) { return QString::fromUtf8(toUtf8(cp1252)); }

std::string programText(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    return fromUtf8(std::string_view(utf8.constData(), size_t(utf8.size())));
}

}  // namespace wv
