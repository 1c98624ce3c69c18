#include "invoice/capture.h"

#include <cctype>

#include "catalog/catalogo.h"
#include "catalog/lookup.h"
#include "data/application.h"
#include "data/config.h"
#include "data/netuse.h"
#include "data/workarea.h"
#include "invoice/numbering.h"
#include "invoice/taxes.h"
#include "runtime/codepage.h"
#include "runtime/numtext.h"
#include "runtime/operator.h"
#include "runtime/transform.h"
#include "storage/platform.h"

namespace wv {

namespace {

// The line table's fields, in order.
enum LineField : size_t {
    kIdArtic, kArticul, kCant, kPrecioU, kPorcIVA, kIVA, kPorcHos, kHospeda, kPorcDes, kDescto,
    kImporte, kRegistro, kLineFields
};
const char* const kLineNames[kLineFields] = {"cIdArtic", "cArticul", "nCant",    "nPrecioU",
                                             "nPorcIVA", "nIVA",     "nPorcHos", "nHospeda",
                                             "nPorcDes", "nDescto",  "nImporte", "nRegistro"};

constexpr const char* kTotalsPicture = "999,999,999.99";
// Where the form prints the amounts: a line's price, discount and amount; the totals.
constexpr const char* kLinePicture = "99,999.99";
constexpr const char* kTotalPrinted = "9,999,999.99";
constexpr double kLineStep = 0.3;  // cm between printed lines

double cents(double v) { return roundTo(v, 2); }

bool fitsPicture(double v, const char* picture) {
    return transform(Value::number(v), picture).find('*') == std::string::npos;
}

// Whether a value fits a numeric field of the table.
bool fitsField(const TableSpec& layout, const std::string& name, double v) {
    for (const FieldDef& f : layout.fields)
        if (f.name == name) return str(v, f.len, f.dec).find('*') == std::string::npos;
    return true;
}

bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lines

double LineaFactura::bruto() const { return cents(nCant * nPrecioU); }

void LineaFactura::calcula() {
    const double gross = bruto();
    const double base = gross / (1 + (nPorcIVA + nPorcHos) / 100);
    nIVA = cents(nImpuestosValor(base, nPorcIVA));
    nHospeda = cents(nImpuestosValor(base, nPorcHos));
    nImporte = cents(gross - (nHospeda + nIVA + nDescto));
}

Factura::Factura() {
    for (size_t i = 0; i < kLineFields; ++i)
        oFacturas.addField(kLineNames[i], i <= kArticul ? FieldValue(Value(std::string()))
                                                        : FieldValue(Value::number(0)));
    reset("");
}

void Factura::blankCustomer() {
    cNombre = std::string(100, ' ');
    cDomicilio = std::string(100, ' ');
    cTelefono = std::string(50, ' ');
    cCp = std::string(5, ' ');
    cRfc = std::string(14, ' ');
    cCiudadEdo = std::string(50, ' ');
}

void Factura::reset(const std::string& number) {
    oFacturas.zap();
    cNumFact = padR(number, 10);
    dFecha = today();
    cIdCliente = std::string(4, ' ');
    blankCustomer();
    cComenta1 = std::string(50, ' ');
    cComenta2 = std::string(50, ' ');
    cHabita = std::string(4, ' ');
    nPersonas = 0;
    nSubtot = nDescto = nIva = nHospe = nTotal = 0;
    mEdita = false;
    lCancelada = false;
}

LineaFactura Factura::line(long row) const {
    LineaFactura l;
    if (row < 1 || row > lineCount()) return l;
    const TArray::Row& r = oFacturas.aDatos[size_t(row - 1)];
    auto num = [&](size_t i) { return i < r.size() ? r[i].num() : 0.0; };
    l.cIdArtic = r.size() > kIdArtic ? r[kIdArtic].text() : "";
    l.cArticul = r.size() > kArticul ? r[kArticul].text() : "";
    l.nCant = num(kCant);
    l.nPrecioU = num(kPrecioU);
    l.nPorcIVA = num(kPorcIVA);
    l.nIVA = num(kIVA);
    l.nPorcHos = num(kPorcHos);
    l.nHospeda = num(kHospeda);
    l.nPorcDes = num(kPorcDes);
    l.nDescto = num(kDescto);
    l.nImporte = num(kImporte);
    l.nRegistro = num(kRegistro);
    return l;
}

void Factura::addLine(const LineaFactura& l) {
    TArray::Row& b = oFacturas.aBuffer;
    b.resize(kLineFields);
    b[kIdArtic] = Value(l.cIdArtic);
    b[kArticul] = Value(l.cArticul);
    const double nums[] = {l.nCant, l.nPrecioU, l.nPorcIVA, l.nIVA,     l.nPorcHos,
                           l.nHospeda, l.nPorcDes, l.nDescto, l.nImporte, l.nRegistro};
    for (size_t i = kCant; i < kLineFields; ++i) b[i] = Value::number(nums[i - kCant]);
    oFacturas.add();
    sumTotals();
}

void Factura::removeLine() {
    oFacturas.deleteRow();
    sumTotals();
}

void Factura::sumTotals() {
    nSubtot = nDescto = nIva = nHospe = nTotal = 0;
    for (long r = 1; r <= lineCount(); ++r) {
        LineaFactura l = line(r);
        nSubtot += l.nImporte;
        nDescto += l.nDescto;
        nIva += l.nIVA;
        nHospe += l.nHospeda;
    }
    nSubtot = cents(nSubtot);
    nDescto = cents(nDescto);
    nIva = cents(nIva);
    nHospe = cents(nHospe);
    nTotal = cents(nSubtot + nDescto + nIva + nHospe);
}

std::string Factura::footerLabels() const {
    return "SubTotal:\r\nDescuento:\r\nI.V.A.:\r\nHospedaje:\r\nTotal:";
}

std::string Factura::footerValues() const {
    std::string out;
    for (double v : {nSubtot, nDescto, nIva, nHospe, nTotal}) {
        if (!out.empty()) out += "\r\n";
        out += transform(Value::number(v), kTotalsPicture);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Numbers

std::optional<std::string> normalizaNumero(const std::string& typed) {
    std::string t = allTrim(typed);
    if (t.empty()) return std::nullopt;
    std::string prefix;
    if (isLetter(t[0])) {
        prefix = upperCase(t.substr(0, 1));
        t = allTrim(t.substr(1));
    }
    const size_t width = 10 - prefix.size();
    if (t.empty() || t.size() > width) return std::nullopt;
    for (char c : t)
        if (c < '0' || c > '9') return std::nullopt;
    return prefix + std::string(width - t.size(), '0') + t;
}

bool counterAdvances(const std::string& stored, const std::string& number) {
    auto prefixOf = [](const std::string& s) {
        return !s.empty() && isLetter(s[0]) ? upperCase(s.substr(0, 1)) : std::string();
    };
    if (prefixOf(stored) != prefixOf(number)) return true;
    return val(number.substr(prefixOf(number).size())) >
           val(stored.substr(prefixOf(stored).size()));
}

// ---------------------------------------------------------------------------------------------
// The screen's tables

CapturaFactura::CapturaFactura(int m) : mode(m) {}

CapturaFactura::~CapturaFactura() { close(); }

bool CapturaFactura::open() {
    const std::string& dir = oApp().xDatos;
    const std::string ocas = occasionalTable().name;
    if (!os::fileExists(dir + ocas + ".dbf")) {
        std::string error;
        std::string path = os::resolvePath(dir + ocas + ".dbf");
        if (!createTable(path, occasionalTable(), &error)) {
            msgStop("No se pudo crear la tabla de datos de clientes ocasionales: " + error,
                    oApp().cEmpresa);
            return false;
        }
    }
    for (const char* t : {"cliente", "articulo", "facturas", "det_fact", "pos_fac", "fac_ocas"})
        if (!netUse(t, false, "", dir)) {
            workspace().closeAll();
            return false;
        }
    WorkArea* p = workspace().selectArea("POS_FAC");
    if (!p || p->recCount() < uint32_t(kPositions)) {
        msgStop("Faltan parametros necesarios para la impresion de: FACTURAS, consulte a su "
                "asesor...",
                oApp().cEmpresa);
        workspace().closeAll();
        return false;
    }
    pos = loadPositions();
    p->goTop();
    // The counter's table is kept open too, for the proposals and the saves of the counter: a
    // store that cannot be had now is said, and then tried again at each call.
    // Taken as it is found: a look at its tags could close every table of the screen.
    if (os::fileExists(std::string(kConfigDir) + "cfg.dbf"))
        netUseAsIs("cfg", false, "", kConfigDir);
    workspace().select("FACTURAS");
    open_ = true;
    return true;
}

void CapturaFactura::close() {
    if (!open_) return;
    for (const char* t :
         {"CLIENTE", "ARTICULO", "FACTURAS", "DET_FACT", "POS_FAC", "FAC_OCAS", "CFG"})
        if (int n = workspace().areaOf(t)) workspace().closeArea(n);
    open_ = false;
}

bool CapturaFactura::numberUsed(const std::string& number) {
    WorkArea* h = workspace().area("FACTURAS");
    WorkArea* d = workspace().area("DET_FACT");
    h->setOrder(1);
    d->setOrder(1);
    return h->seek(Value(number), false) || d->seek(Value(number), false);
}

std::string CapturaFactura::proposal() {
    const int back = workspace().current();
    std::string n = fGetNewIdFactura();
    workspace().select(back);
    if (n.empty()) return "";
    if (nextProposal_ && nextProposal_->first == n) return nextProposal_->second;
    while (numberUsed(n)) {
        std::optional<std::string> next = nextInvoiceNumber(n);
        if (!next) return proposeInvoiceNumber(Value(n));  // told: the series is used up
        n = *next;
    }
    return n;
}

void CapturaFactura::newCycle() { f.reset(mode == 1 ? proposal() : ""); }

// ---------------------------------------------------------------------------------------------
// Fields

bool CapturaFactura::numberValid() {
    if (mode != 1) {
        valCod(f.cNumFact, "facturas", {"Factura"}, [] {
            return Array{workspace().area("FACTURAS")->get("NUMERO")};
        });
        cargaDatos();
        return true;
    }
    std::optional<std::string> n = normalizaNumero(f.cNumFact);
    if (!n) {
        msgStop("El numero de Factura debe tener digitos, con una letra de serie al principio si "
                "la lleva (A000000001), verifique...",
                oApp().cEmpresa);
        return false;
    }
    f.cNumFact = *n;
    if (numberUsed(*n)) {
        msgStop("El numero de Factura que Introdujo ya existe en el Sistema, Verifique...",
                oApp().cEmpresa);
        return false;
    }
    return true;
}

bool CapturaFactura::customerValid() {
    if (f.cIdCliente == kClienteOcasional) {
        f.mEdita = true;
        return true;
    }
    f.cIdCliente = padR(valCod(f.cIdCliente, "cliente"), 4);
    WorkArea* c = workspace().area("CLIENTE");
    f.cNombre = padR(c->get("NOMBRE").text(), 100);
    f.cDomicilio = padR(c->get("DOMICILIO").text(), 100);
    f.cCp = padR(c->get("CP").text(), 5);
    f.cRfc = padR(c->get("RFC").text(), 14);
    f.cCiudadEdo = padR(c->get("CIUDAD_EDO").text(), 50);
    f.cTelefono = padR(c->get("TELEFONOS").text(), 50);
    return true;
}

void CapturaFactura::cargaDatos() {
    f.oFacturas.zap();
    // Nothing of the invoice shown before stays on the screen or reaches the printer.
    f.blankCustomer();
    WorkArea* h = workspace().area("FACTURAS");
    f.cNumFact = padR(h->get("NUMERO").text(), 10);
    f.dFecha = h->get("FECHA").date();
    f.cIdCliente = padR(h->get("IDCLIENTE").text(), 4);
    f.cComenta1 = padR(h->get("COME1").text(), 50);
    f.cComenta2 = padR(h->get("COME2").text(), 50);
    f.cHabita = padR(h->get("HABITACION").text(), 4);
    f.nPersonas = h->get("PERSONAS").num();
    f.lCancelada = !h->eof() && h->get("CANCE").logical();

    auto copyFrom = [&](WorkArea* from) {
        f.cNombre = padR(from->get("NOMBRE").text(), 100);
        f.cDomicilio = padR(from->get("DOMICILIO").text(), 100);
        f.cTelefono = padR(from->get("TELEFONOS").text(), 50);
        f.cCp = padR(from->get("CP").text(), 5);
        f.cRfc = padR(from->get("RFC").text(), 14);
        f.cCiudadEdo = padR(from->get("CIUDAD_EDO").text(), 50);
    };
    WorkArea* o = workspace().area("FAC_OCAS");
    WorkArea* c = workspace().area("CLIENTE");
    c->setOrder(1);
    if (f.cIdCliente == kClienteOcasional && o && !h->eof() &&
        (o->setOrder(1), o->seek(Value(f.cNumFact), false)))
        copyFrom(o);
    else if (!allTrim(f.cIdCliente).empty() && c->seek(Value(f.cIdCliente), false))
        copyFrom(c);

    WorkArea* d = workspace().area("DET_FACT");
    d->setOrder(1);
    if (!h->eof() && d->seek(Value(f.cNumFact), false)) {
        for (; !d->eof() && d->get("NUMERO").text() == f.cNumFact; d->skip(1)) {
            LineaFactura l;
            l.cIdArtic = d->get("IDARTICULO").text();
            l.cArticul = d->get("CONCEPTO1").text();
            l.nCant = d->get("CANTIDAD").num();
            l.nPrecioU = d->get("PRECIO").num();
            l.nPorcIVA = d->get("PORCIVA").num();
            l.nIVA = d->get("IVA").num();
            l.nPorcHos = d->get("PORCHOSPE").num();
            l.nHospeda = d->get("HOSPEDAJE").num();
            l.nPorcDes = d->get("PORCDESC").num();
            l.nDescto = d->get("DESCTO").num();
            l.nImporte = d->get("IMPORTE").num();
            l.nRegistro = d->recNo();
            f.addLine(l);
        }
    }
    // The totals as the invoice stored them.
    f.nSubtot = h->get("SUBTOTAL").num();
    f.nDescto = h->get("DESCTO").num();
    f.nIva = h->get("IVA").num();
    f.nTotal = h->get("TOTAL").num();
    f.nHospe = h->get("HOSPEDAJE").num();
    f.oFacturas.goTop();
}

// ---------------------------------------------------------------------------------------------
// Lines accepted

long CapturaFactura::roomForLines() const {
    // The lines go down from the row of position 12; the first printed total is the limit.
    double limit = 1e9;
    for (int n = 18; n <= 22; ++n)
        if (pos.p3[size_t(n)]) limit = std::min(limit, pos.p1[size_t(n)]);
    if (limit >= 1e9) return 1000;
    long room = 0;
    while (pos.p1[12] + kLineStep * double(room + 1) < limit - 1e-9) ++room;
    return room;
}

std::string CapturaFactura::lineRefusal(const LineaFactura& l) const {
    if (l.nPrecioU == 0) return "Es necesario un valor mayor a 0, verifique...";
    const TableSpec& lines = *tableSpec("det_fact");
    const bool fits = fitsField(lines, "CANTIDAD", l.nCant) && fitsPicture(l.nCant, "999") &&
                      fitsPicture(l.nPrecioU, kLinePicture) &&
                      fitsPicture(l.nDescto, kLinePicture) &&
                      fitsPicture(l.nImporte, kLinePicture) &&
                      fitsField(lines, "PRECIO", l.nPrecioU) &&
                      fitsField(lines, "IVA", l.nIVA) &&
                      fitsField(lines, "HOSPEDAJE", l.nHospeda) &&
                      fitsField(lines, "IMPORTE", l.nImporte);
    if (!fits)
        return "Las cantidades de este concepto no caben en la factura impresa (hasta 999 "
               "unidades y 99,999.99 por importe), verifique...";
    Factura after = f;
    after.addLine(l);
    const TableSpec& headers = *tableSpec("facturas");
    for (double v : {after.nSubtot, after.nDescto, after.nIva, after.nHospe, after.nTotal})
        if (!fitsPicture(v, kTotalPrinted) || !fitsField(headers, "TOTAL", v))
            return "Con este concepto los totales de la factura ya no caben en la forma impresa "
                   "(hasta 9,999,999.99), verifique...";
    if (f.lineCount() + 1 > roomForLines())
        return "La forma impresa de la factura ya no tiene lugar para mas conceptos (caben " +
               std::to_string(roomForLines()) + ")...";
    return "";
}

// ---------------------------------------------------------------------------------------------
// Storing

bool CapturaFactura::rollBack(uint32_t header, const std::vector<uint32_t>& lines) {
    auto drop = [](const char* alias, uint32_t rec) {
        WorkArea* a = workspace().selectArea(alias);
        a->goTo(rec);
        if (!recLock(5)) return false;
        bool ok = a->table().deleteRecord();
        a->table().unlockAll();
        return ok;
    };
    bool all = true;
    for (uint32_t r : lines) all = drop("DET_FACT", r) && all;
    return drop("FACTURAS", header) && all;
}

CapturaFactura::Stored CapturaFactura::store() {
    std::optional<std::string> number = normalizaNumero(f.cNumFact);
    if (!number) {
        msgStop("El numero de Factura no es valido, verifique...", oApp().cEmpresa);
        return Stored::Failed;
    }
    const std::string hora = timeText();
    WorkArea* h = workspace().selectArea("FACTURAS");
    WorkArea* d = workspace().area("DET_FACT");
    DbfTable& ht = h->table();
    DbfTable& dt = d->table();
    // The invoice goes in under the append locks of both tables (taken in that order by every
    // store), so the number is checked again where no other station can store it meanwhile.
    // Their indexes are taken next, as every append takes them: taking them keys any invoice
    // whose station died before writing its keys, so that the check finds it, and the keys of
    // the header and the lines go to each index in one write at the end.
    auto letGo = [&] {  // the append locks and the records reserved under them
        dt.unlockAll();
        ht.unlockAll();
    };
    // The records of the header and the lines are locked beforehand, so that a refusal comes
    // before anything is written.
    if (!ht.holdAppendLock() || !dt.holdAppendLock() || !ht.lockAppends(1) ||
        !dt.lockAppends(uint32_t(f.lineCount()))) {
        letGo();
        msgStop("No se pudo guardar la factura: la tabla de facturas no se pudo bloquear. No se "
                "guardo nada.",
                oApp().cEmpresa);
        return Stored::Failed;
    }
    WorkArea::KeyBatch headerKeys(*h);
    WorkArea::KeyBatch lineKeys(*d);
    auto endKeys = [&] {
        lineKeys.end();
        headerKeys.end();
    };
    if (!headerKeys.held() || !lineKeys.held()) {
        endKeys();
        letGo();
        msgStop("No se pudo guardar la factura: el indice de facturas no se pudo bloquear. No se "
                "guardo nada.",
                oApp().cEmpresa);
        return Stored::Failed;
    }
    if (numberUsed(*number)) {
        endKeys();
        letGo();
        std::string taken = *number;
        std::optional<std::string> next = nextInvoiceNumber(taken);
        while (next && numberUsed(*next)) next = nextInvoiceNumber(*next);
        f.cNumFact = next ? *next : std::string(10, ' ');
        msgStop("El numero de Factura " + taken + " acaba de usarse en otra estacion. Se propone "
                "el " + f.cNumFact + "; presione Imprimir de nuevo para guardarla con ese numero.",
                oApp().cEmpresa);
        return Stored::NumberTaken;
    }
    f.cNumFact = *number;
    // Appended and written whole, or nothing of the invoice is on file (a failed write has
    // been shown).
    auto addHeader = [&] {
        workspace().select("FACTURAS");
        if (!ht.append()) return false;
        h->put("NUMERO", Value(f.cNumFact));
        h->put("FECHA", Value(f.dFecha));
        h->put("IDCLIENTE", Value(f.cIdCliente));
        h->put("DESCTO", Value::number(f.nDescto));
        h->put("SUBTOTAL", Value::number(f.nSubtot));
        h->put("TOTAL", Value::number(f.nTotal));
        h->put("IVA", Value::number(f.nIva));
        h->put("HOSPEDAJE", Value::number(f.nHospe));
        h->put("COME1", Value(f.cComenta1));
        h->put("COME2", Value(f.cComenta2));
        h->put("USUARIO", Value(oApp().cIniciales));
        h->put("HORA", Value(hora));
        h->put("HABITACION", Value(f.cHabita));
        h->put("PERSONAS", Value::number(f.nPersonas));
        return ht.writeBack();
    };
    if (!addHeader()) {
        endKeys();
        letGo();
        msgStop("No se pudo agregar la factura " + f.cNumFact + "; no se guardo nada, vuelva a "
                "intentarlo...",
                oApp().cEmpresa);
        return Stored::Failed;
    }
    const uint32_t header = h->recNo();

    std::vector<uint32_t> written;
    for (long r = 1; r <= f.lineCount(); ++r) {
        LineaFactura l = f.line(r);
        auto addLine = [&] {
            workspace().select("DET_FACT");
            // A box now would keep every station waiting; the lines' locks are kept together.
            if (!tryAddRec(5, false)) return false;
            d->put("NUMERO", Value(f.cNumFact));
            d->put("IDARTICULO", Value(l.cIdArtic));
            d->put("CANTIDAD", Value::number(l.nCant));
            d->put("PRECIO", Value::number(l.nPrecioU));
            d->put("PORCIVA", Value::number(l.nPorcIVA));
            d->put("IVA", Value::number(l.nIVA));
            d->put("PORCHOSPE", Value::number(l.nPorcHos));
            d->put("HOSPEDAJE", Value::number(l.nHospeda));
            d->put("PORCDESC", Value::number(l.nPorcDes));
            d->put("DESCTO", Value::number(l.nDescto));
            d->put("IMPORTE", Value::number(l.nImporte));
            d->put("CONCEPTO1", Value(l.cArticul));
            return dt.writeBack();
        };
        if (!addLine()) {
            ht.writeCount();
            dt.writeCount();
            endKeys();
            letGo();
            const bool undone = rollBack(header, written);
            msgStop("No se pudo guardar la linea " + std::to_string(r) + " de la factura " +
                        f.cNumFact +
                        (undone ? "; la factura se elimino para que no quede incompleta. "
                                  "Vuelva a capturarla..."
                                : "; la factura quedo incompleta y no se pudo eliminar: "
                                  "eliminela desde Cancelacion / Eliminacion."),
                    oApp().cEmpresa);
            return Stored::Failed;
        }
        written.push_back(d->recNo());
    }
    // The next proposal is checked here, where the indexes are in hand already: it stands
    // while the counter stays at this invoice's number (any other station storing past it moves
    // the counter).
    nextProposal_.reset();
    std::optional<std::string> following = nextInvoiceNumber(f.cNumFact);
    std::optional<std::string> free = following;
    while (free && numberUsed(*free)) free = nextInvoiceNumber(*free);
    // The counts in the headers before the keys in the indexes, as for a single append.
    ht.writeCount();
    dt.writeCount();
    endKeys();
    letGo();
    if (f.cIdCliente == kClienteOcasional) {
        WorkArea* o = workspace().selectArea("FAC_OCAS");
        if (addRec(5)) {
            o->put("NUMERO", Value(f.cNumFact));
            o->put("NOMBRE", Value(f.cNombre));
            o->put("DOMICILIO", Value(f.cDomicilio));
            o->put("CIUDAD_EDO", Value(f.cCiudadEdo));
            o->put("CP", Value(f.cCp));
            o->put("TELEFONOS", Value(f.cTelefono));
            o->put("RFC", Value(f.cRfc));
            o->table().unlockAll();
        } else {
            msgStop("Los datos del cliente ocasional de la factura " + f.cNumFact +
                        " no se pudieron guardar; al reimprimirla saldran en blanco.",
                    oApp().cEmpresa);
        }
    }
    // The counter follows the number used, never back.
    const std::string used = f.cNumFact;
    bool advanced = false;
    if (!lSaveCfgIf("CFACTURA", Value(used), [&](const std::string& stored) {
            return advanced = counterAdvances(stored, used);
        }))
        msgStop("La factura " + used + " se guardo, pero el contador de facturas (CFACTURA) no "
                "se pudo actualizar: revise el numero que se proponga para la siguiente.",
                oApp().cEmpresa);
    else if (advanced && following && free)
        nextProposal_.emplace(*following, *free);
    workspace().select("FACTURAS");
    h->goTo(header);
    return Stored::Yes;
}

bool CapturaFactura::erase() {
    WorkArea* h = workspace().selectArea("FACTURAS");
    if (h->eof()) return false;
    const uint32_t header = h->recNo();
    if (!recLock(5)) {
        msgStop("La factura " + f.cNumFact + " no se pudo bloquear; no se elimino nada.",
                oApp().cEmpresa);
        return false;
    }
    h->table().deleteRecord();
    h->table().unlockAll();
    std::string left;
    WorkArea* d = workspace().selectArea("DET_FACT");
    for (long r = 1; r <= f.lineCount(); ++r) {
        const uint32_t rec = uint32_t(f.line(r).nRegistro);
        d->goTo(rec);
        bool ok = false;
        if (!d->eof() && recLock(5)) {
            d->goTo(rec);
            // Only a line of this invoice, and one not gone already.
            if (d->get("NUMERO").text() == f.cNumFact && !d->deleted())
                ok = d->table().deleteRecord();
            else
                ok = true;
            d->table().unlockAll();
        }
        if (!ok) left += (left.empty() ? "" : ", ") + std::to_string(r);
    }
    WorkArea* o = workspace().selectArea("FAC_OCAS");
    if (o && f.cIdCliente == kClienteOcasional) {
        o->setOrder(1);
        if (o->seek(Value(f.cNumFact), false) && recLock(5)) {
            o->table().deleteRecord();
            o->table().unlockAll();
        }
    }
    workspace().select("FACTURAS");
    h->goTo(header);
    if (!left.empty()) {
        msgStop("La factura " + f.cNumFact + " se elimino, pero sus lineas " + left +
                    " no se pudieron eliminar: siguen en el sistema y su numero no se volvera a "
                    "usar.",
                oApp().cEmpresa);
        return false;
    }
    return true;
}

bool CapturaFactura::toggleCancel() {
    WorkArea* h = workspace().selectArea("FACTURAS");
    if (h->eof()) return false;
    const bool cancelled = h->get("CANCE").logical();
    if (cancelled) {
        if (!msgYesNo("Esta factura ya estaba cancelada, desea quitarle el estatus de cancelada?",
                      oApp().cEmpresa))
            return false;
    } else if (!msgNoYes("Esta seguro de cancelar la factura: " + f.cNumFact, oApp().cEmpresa)) {
        return false;
    }
    if (!recLock(5)) return false;
    h->goTo(h->recNo());  // read again under the lock
    const bool now = h->get("CANCE").logical();
    if (now != cancelled) {
        // Another station switched it meanwhile: what the operator answered no longer applies.
        h->table().unlockAll();
        f.lCancelada = now;
        msgStop("Otra estacion acaba de " +
                    std::string(now ? "cancelar" : "quitar la cancelacion a") +
                    " la factura " + f.cNumFact + "; no se cambio nada.",
                oApp().cEmpresa);
        return false;
    }
    h->put("CANCE", Value(!cancelled));
    h->table().unlockAll();
    f.lCancelada = !cancelled;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The cycle

bool confirmReprint(const Factura& f) {
    if (f.lCancelada)
        return msgNoYes("La factura " + f.cNumFact +
                            " esta CANCELADA, desea re-imprimirla de todos modos ?",
                        oApp().cEmpresa);
    return msgYesNo("Desea re-imprimir la Factura ?", oApp().cEmpresa);
}

void fCapFact(int mode, const std::function<int(CapturaFactura&)>& screen,
              const std::function<void(CapturaFactura&)>& print) {
    CapturaFactura cap(mode);
    if (!cap.open()) return;
    for (;;) {
        cap.newCycle();
        int answer = screen(cap);
        if (answer == 0) break;
        if (answer != 1) continue;
        if (mode == 1) {
            CapturaFactura::Stored s;
            while ((s = cap.store()) != CapturaFactura::Stored::Yes) {
                // Not stored (the operator was told why): the screen shows the invoice again with
                // everything typed, and the number proposed instead when it was taken.
                answer = screen(cap);
                if (answer != 1) break;
            }
            if (s == CapturaFactura::Stored::Yes) print(cap);
            if (answer == 0) break;
        } else if (mode == 2) {
            if (confirmReprint(cap.f)) print(cap);
        } else {
            int choice = alert("Seleccione la accion a aplicar a esta factura",
                               {"Eliminar", "Cancelar"}, oApp().cEmpresa);
            if (choice == 1) {
                if (msgNoYes("Esta seguro de eliminar la factura:" + cap.f.cNumFact,
                             oApp().cEmpresa))
                    cap.erase();
            } else if (choice == 2) {
                cap.toggleCancel();
            }
        }
    }
    cap.close();
}

}  // namespace wv
