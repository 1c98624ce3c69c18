// Texts crossing between the program (code page 1252) and Qt (UTF-16). Every conversion of the
// interface goes through these two, so that a text never reaches the screen in the wrong code page.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace wv {

// A program text (code page 1252) as Qt shows it.
QString qtText(std::string_view cp1252);
// A text typed or shown in Qt back in code page 1252; characters the code page lacks become '?'.
std::string programText(const QString& text);

}  // namespace wv
