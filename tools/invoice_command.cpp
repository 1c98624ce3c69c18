// wvestor-db factura: one invoice stored in an installation through the routine the invoice
// screen uses, for scripts and front-desk systems that post charges.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "catalog/codes.h"
#include "catalog/catalogo.h"
#include "data/application.h"
#include "data/workarea.h"
#include "invoice/capture.h"
#include "invoice/lines.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/numtext.h"
#include "runtime/operator.h"
#include "tools/commands.h"

namespace {

// The last thing the routines told the operator, for the one-line reason of a refusal.
std::string lastSaid(const wv::ScriptedOperator& op) {
    return op.shown.empty() ? std::string() : wv::toUtf8(op.shown.back().text);
}

double number(const std::string& s, const std::string& what) {
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (s.empty() || *end) fail("not a number for " + what + ": " + s);
    return v;
}

}  // namespace

int cmdFactura(const std::vector<std::string>& a) {
    if (a.size() < 3)
        fail("factura needs DIR CLIENTE ARTICULO:CANTIDAD[:PRECIO] ... [--fecha AAAAMMDD] "
             "[--habitacion H] [--personas N]");
    std::vector<std::string> items;
    std::string fecha, habitacion;
    double personas = 0;
    for (size_t i = 2; i < a.size(); ++i) {
        const std::string& arg = a[i];
        bool option = arg == "--fecha" || arg == "--habitacion" || arg == "--personas";
        if (option && i + 1 >= a.size()) fail(arg + " needs a value");
        if (arg == "--fecha") {
            fecha = a[++i];
        } else if (arg == "--habitacion") {
            habitacion = a[++i];
        } else if (arg == "--personas") {
            personas = number(a[++i], "--personas");
        } else if (arg.rfind("--", 0) == 0) {
            fail("unknown option " + arg);
        } else {
            items.push_back(arg);
        }
    }
    if (items.empty()) fail("an invoice needs at least one ARTICULO:CANTIDAD");
    if (::chdir(a[0].c_str()) != 0) fail("cannot enter " + a[0]);

    wv::oApp().setIdentity();
    wv::applyProcessSettings();
    wv::ScriptedOperator op;  // every question answered "No"; what is said is kept
    wv::ScriptedOperator::Scope scope(op);

    wv::CapturaFactura cap(1);
    if (!cap.open()) fail("cannot open the tables of " + a[0] + ": " + lastSaid(op));
    cap.newCycle();
    if (wv::allTrim(cap.f.cNumFact).empty()) fail("no invoice number to give: " + lastSaid(op));
    if (!fecha.empty()) {
        wv::Date d = wv::stod(fecha);
        if (d.empty()) fail("not a date (AAAAMMDD): " + fecha);
        cap.f.dFecha = d;
    }
    if (!habitacion.empty()) cap.f.cHabita = wv::padR(wv::fromUtf8(habitacion), 4);
    if (personas < 0 || personas > 999) fail("--personas takes 0 to 999");
    cap.f.nPersonas = personas;

    const std::string cliente = wv::cero1(wv::padR(a[1], 4));
    wv::WorkArea* c = wv::workspace().area("CLIENTE");
    c->setOrder(1);
    if (cliente != wv::kClienteOcasional && !c->seek(wv::Value(cliente), false))
        fail("unknown customer " + a[1]);
    cap.f.cIdCliente = cliente;
    cap.customerValid();

    wv::WorkArea* art = wv::workspace().area("ARTICULO");
    for (const std::string& item : items) {
        std::vector<std::string> parts;
        size_t from = 0;
        for (size_t colon; (colon = item.find(':', from)) != std::string::npos; from = colon + 1)
            parts.push_back(item.substr(from, colon - from));
        parts.push_back(item.substr(from));
        if (parts.size() < 2 || parts.size() > 3) fail("not ARTICULO:CANTIDAD[:PRECIO]: " + item);
        const std::string code = wv::cero1(wv::padR(parts[0], 6));
        art->setOrder(1);
        if (!art->seek(wv::Value(code), false)) fail("unknown article " + parts[0]);
        wv::EditorLinea e(cap, 1);
        e.l.cIdArtic = code;
        e.articulo();
        e.l.nCant = number(parts[1], "the quantity of " + parts[0]);
        if (parts.size() == 3) e.l.nPrecioU = number(parts[2], "the price of " + parts[0]);
        e.recalcula();
        std::string why = cap.lineRefusal(e.l);
        if (!why.empty()) fail(parts[0] + ": " + wv::toUtf8(why));
        cap.f.addLine(e.l);
    }

    wv::CapturaFactura::Stored s;
    // Another station may take the proposed number meanwhile: the next free one is used.
    for (int tries = 0; (s = cap.store()) == wv::CapturaFactura::Stored::NumberTaken; ++tries)
        if (tries > 1000 || wv::allTrim(cap.f.cNumFact).empty())
            fail("no free invoice number: " + lastSaid(op));
    if (s != wv::CapturaFactura::Stored::Yes) fail("not stored: " + lastSaid(op));
    std::printf("%s\n", cap.f.cNumFact.c_str());
    cap.close();
    return 0;
}
