#include "invoice/numbering.h"

#include <cstdint>

#include "data/application.h"
#include "data/config.h"
#include "runtime/operator.h"

namespace wv {

namespace {
constexpr int kDigitos = 10;
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
}  // namespace

std::optional<std::string> nextInvoiceNumber(const std::string& last) {
    std::string prefix;
    size_t i = 0;
    if (!last.empty() && isLetter(last[0])) {
        prefix = last.substr(0, 1);
        i = 1;
    }
    const int width = kDigitos - int(prefix.size());
    while (i < last.size() && last[i] == ' ') ++i;
    // The value of the leading digits; more digits than the series holds means it is past its
    // end already (a hand-typed number can be anything).
    int64_t value = 0;
    int significant = 0;
    for (; i < last.size() && last[i] >= '0' && last[i] <= '9'; ++i) {
        if (value == 0 && last[i] == '0') continue;
        if (++significant > width) return std::nullopt;
        value = value * 10 + (last[i] - '0');
    }
    ++value;
    std::string digits = std::to_string(value);
    if (int(digits.size()) > width) return std::nullopt;
    return prefix + std::string(size_t(width) - digits.size(), '0') + digits;
}

std::string proposeInvoiceNumber(const Value& stored) {
    if (stored.isNil()) return "";
    const std::string last = stored.isText() ? stored.text() : stored.toText();
    if (auto next = nextInvoiceNumber(last)) return *next;
    msgStop("Se agotaron los numeros de Factura de la serie de la ultima: " + last + "\r\n" +
                "Introduzca el numero de la Factura con una serie nueva...",
            oApp().cEmpresa);
    return "";
}

std::string fGetNewIdFactura() {
    return proposeInvoiceNumber(getCfg("CFACTURA", Value("0000000000")));
}

}  // namespace wv
