#include "print/impresion.h"

#include <cmath>
#include <cstdio>

#include "runtime/codepage.h"

namespace wv {

namespace {

bool esCorte(char c) {
    return c == ' ' || c == ',' || c == ';' || c == kFinLinea;
}

}  // namespace

std::string xPadMemoR(const std::string& cText, double nWidth, const MideTexto& width) {
    size_t n = 0;
    bool forced = false;
    while (n < cText.size() && width(cText.substr(0, n + 1)) < nWidth) {
        ++n;
        if (cText[n - 1] == kFinLinea) {
            forced = true;
            break;
        }
    }
    // A forced line end is where the line ends, whatever follows it.
    if (n == cText.size() || forced) return cText.substr(0, n);
    // Back from the first character that did not fit to a break character.
    size_t pos = n;  // 0-based: the character just after the fitted part
    while (!esCorte(cText[pos]) && pos > 0) --pos;
    if (esCorte(cText[pos])) return cText.substr(0, pos + 1);
    return cText.substr(0, n);
}

std::string xPadMemoL(const std::string& cText, double nWidth, const std::string& cFill,
                      const MideTexto& width) {
    std::string out = cText;
    if (cFill.empty() || width(cFill) <= 0) return out;
    while (width(cFill + out) < nWidth) out.insert(0, cFill);
    return out;
}

std::string xPadMemoC(const std::string& cText, double nWidth, const std::string& cFill,
                      const MideTexto& width) {
    const std::string trimmed = allTrim(cText);
    const double w = width(cText);
    const double f = cFill.empty() ? 0 : width(cFill.substr(0, 1));
    if (nWidth <= w || f <= 0) return trimmed;
    const double field = std::floor(double(cText.size()) + (nWidth - w) / f);
    if (field <= double(trimmed.size())) return trimmed;
    const size_t room = size_t(field) - trimmed.size();
    const size_t left = room / 2;
    return std::string(left, cFill[0]) + trimmed + std::string(room - left, cFill[0]);
}

Renglones partirTexto(const std::string& cText, double nWidth, const MideTexto& width,
                      int nMaxLines) {
    Renglones r;
    r.rest = cText;
    while (!r.rest.empty()) {
        std::string line = xPadMemoR(r.rest, nWidth, width);
        if (line.empty()) break;  // not even one character fits
        r.rest.erase(0, line.size());
        if (line.back() == kFinLinea) line.pop_back();
        r.lines.push_back(std::move(line));
        if (int(r.lines.size()) == nMaxLines) break;
    }
    return r;
}

bool saltoDePagina(double nLinea) {
    return nLinea >= kLineaSalto - 1e-6;
}

std::string textoPagina(int nPage) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", nPage);
    return std::string("Pagina: ") + digits;
}

std::optional<size_t> dispositivoDeModelo(const std::vector<Dispositivo>& devices,
                                          const Value& xModel) {
    if (xModel.isNumber()) {
        const double n = std::trunc(xModel.num());
        if (n >= 1 && n <= double(devices.size())) return size_t(n) - 1;
        return std::nullopt;
    }
    if (!xModel.isText() || xModel.text().empty()) return std::nullopt;
    const std::string wanted = lowerCase(xModel.text());
    for (size_t i = 0; i < devices.size(); ++i)
        if (lowerCase(devices[i].name).find(wanted) != std::string::npos) return i;
    return std::nullopt;
}

EleccionImpresora eligeImpresora(const std::vector<Dispositivo>& devices, const Value& xModel,
                                 bool lUser) {
    if (xModel.isNil()) return {lUser, "", false};
    const std::optional<size_t> i = dispositivoDeModelo(devices, xModel);
    if (!i) return {true, "", true};
    return {false, devices[*i].name + "," + devices[*i].entry, false};
}

}  // namespace wv
