#include "invoice/listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "catalog/catalogo.h"
#include "data/application.h"
#include "data/workarea.h"
#include "invoice/capture.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/numtext.h"
#include "runtime/operator.h"
#include "runtime/settings.h"
#include "runtime/transform.h"
#include "storage/cdx.h"
#include "storage/platform.h"

namespace wv {

namespace {

// The fields of facturas the listing reads, in this order.
enum Campo : size_t { kNumero, kFecha, kIdCliente, kSubtotal, kIva, kHospedaje, kTotal,
                      kHabitacion, kPersonas, kCance, kCampos };
const char* const kNombresCampos[kCampos] = {"NUMERO",    "FECHA", "IDCLIENTE",  "SUBTOTAL",
                                             "IVA",       "HOSPEDAJE", "TOTAL", "HABITACION",
                                             "PERSONAS", "CANCE"};

std::string sinBlancosFinales(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// Holds the read lock of an index while a walk or a run of look-ups goes through it, so that
// each step does not take and leave it again.
class LecturaIndice {
public:
    explicit LecturaIndice(WorkArea* a) : bag_(a ? a->bag() : nullptr) {
        if (bag_ && !bag_->lockRead()) bag_ = nullptr;
    }
    ~LecturaIndice() {
        if (bag_) bag_->unlockRead();
    }
    LecturaIndice(const LecturaIndice&) = delete;
    LecturaIndice& operator=(const LecturaIndice&) = delete;
    bool held() const { return bag_ != nullptr; }

private:
    CdxBag* bag_;
};

// Records of a table read a block at a time and kept while a listing is read, for the names:
// the occasional customers' data is stored in the order of the invoices, so that a range's
// fall together, and a catalogue's customers come back again and again.
class Bloques {
public:
    explicit Bloques(DbfTable& t)
        : t_(t), per_(std::max<uint32_t>(1, 8192 / std::max<uint32_t>(1, t.recordLength()))) {}
    // The bytes of record rec; null past the end of the file.
    const char* record(uint32_t rec) {
        if (rec == 0) return nullptr;
        const uint32_t block = (rec - 1) / per_;
        auto it = blocks_.find(block);
        if (it == blocks_.end()) {
            if (blocks_.size() >= kMaxBlocks) blocks_.clear();
            std::vector<char> buf(size_t(per_) * t_.recordLength());
            buf.resize(size_t(t_.readRaw(block * per_ + 1, per_, buf.data())) *
                       t_.recordLength());
            it = blocks_.emplace(block, std::move(buf)).first;
        }
        const size_t at = size_t(rec - 1 - block * per_) * t_.recordLength();
        return at < it->second.size() ? it->second.data() + at : nullptr;
    }
    DbfTable& table() { return t_; }

private:
    static constexpr size_t kMaxBlocks = 512;
    DbfTable& t_;
    const uint32_t per_;
    std::unordered_map<uint32_t, std::vector<char>> blocks_;
};

// The NOMBRE of the live record whose key in the tag is exactly `key`; nothing when there is
// none.
std::optional<std::string> nombrePorClave(CdxTag& tag, Bloques& records, int campo,
                                          const std::string& key) {
    if (key.empty() || int(key.size()) > tag.keyLength() || campo < 0) return std::nullopt;
    bool found = false;
    uint32_t rec = tag.seek(bytes(key), key.size(), false, &found);
    const bool deleted = settings().deleted;
    for (; rec && found; rec = tag.next()) {
        const std::vector<uint8_t>& k = tag.current().key;
        if (k.size() < key.size() || std::memcmp(k.data(), key.data(), key.size()) != 0) break;
        const char* raw = records.record(rec);
        if (!raw) break;
        if (!deleted || raw[0] != '*')
            return sinBlancosFinales(records.table().decode(size_t(campo), raw).text());
    }
    return std::nullopt;
}

void campoCsv(std::string& out, const std::string& utf8) {
    if (utf8.find_first_of(",\"\r\n") == std::string::npos) {
        out += utf8;
        return;
    }
    out += '"';
    for (char c : utf8) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string importeCsv(double v) {
    char buf[48];
    v = roundTo(v, 2);
    if (v == 0) v = 0;  // no "-0.00"
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

std::string fechaCsv(Date d) {
    if (d.empty()) return "";
    int y, m, dd;
    ymdFromDate(d, y, m, dd);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, dd);
    return buf;
}

}  // namespace

std::string textoCuenta(long n) { return transform(Value::number(double(n)), kPictureCuenta); }

std::string textoImporte(double v) {
    return transform(Value::number(roundTo(v, 2), 2), kPictureImporte);
}

std::string tituloListado(Date first, Date last) {
    return "Facturas Expedidas del " + dtoc(first) + " al " + dtoc(last);
}

ListadoFacturas::ListadoFacturas(Date first, Date last)
    : first_(std::min(first, last)), last_(std::max(first, last)) {}

ListadoFacturas::~ListadoFacturas() { close(); }

bool ListadoFacturas::open(const std::string& dirIn) {
    close();
    std::string dir = dirIn.empty() ? oApp().xDatos : dirIn;
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
    auto abre = [&](const char* name) -> std::unique_ptr<WorkArea> {
        const std::string path = os::resolvePath(dir + name + ".dbf");
        if (!os::fileExists(path)) return nullptr;
        return WorkArea::open(path, std::string("FE_") + name, true, true);
    };
    const char* const kMantenimiento =
        ".DBF necesita mantenimiento: sus índices no están completos.\r\n"
        "Ejecute Utilerias > Mtto. Base Datos cuando nadie esté usando el sistema.";
    fac_ = abre("facturas");
    if (!fac_) {
        msgStop("La base de datos: FACTURAS.DBF, no puede ser procesada\r\n"
                "llame a su asesor de Informatica...",
                oApp().cEmpresa);
        return false;
    }
    bool fields = true;
    for (const char* f : kNombresCampos) fields = fields && fac_->table().fieldIndex(f) >= 0;
    if (!fields || !fac_->setOrder(std::string("fecha"))) {
        fac_.reset();
        msgStop(std::string("La base de datos: FACTURAS") + kMantenimiento, oApp().cEmpresa);
        return false;
    }
    cli_ = abre("cliente");
    if (cli_ && !cli_->setOrder(std::string("id"))) cli_.reset();
    ocas_ = abre("fac_ocas");
    if (ocas_ && !ocas_->setOrder(std::string("numero"))) ocas_.reset();
    return true;
}

void ListadoFacturas::close() {
    fac_.reset();
    cli_.reset();
    ocas_.reset();
}

// The names come from two other indexes, whose read locks are held for the whole run.
struct ListadoFacturas::Nombres {
    explicit Nombres(ListadoFacturas& l)
        : lockCli(l.cli_.get()), lockOcas(l.ocas_.get()) {
        if (l.cli_ && lockCli.held()) {
            cli.emplace(l.cli_->table());
            cliTag = l.cli_->controllingTag();
            cliCampo = l.cli_->table().fieldIndex("NOMBRE");
        }
        if (l.ocas_ && lockOcas.held()) {
            ocas.emplace(l.ocas_->table());
            ocasTag = l.ocas_->controllingTag();
            ocasCampo = l.ocas_->table().fieldIndex("NOMBRE");
        }
    }
    // The occasional customer's kept with the invoice, else the catalogue's (a customer's is
    // looked up once).
    const std::string& of(const std::string& idCliente, const std::string& numero) {
        if (idCliente == kClienteOcasional && ocas) {
            if (auto n = nombrePorClave(*ocasTag, *ocas, ocasCampo, numero)) {
                ocasional = std::move(*n);
                return ocasional;
            }
        }
        auto it = catalogo.find(idCliente);
        if (it != catalogo.end()) return it->second;
        std::string n;
        if (cli && !allTrim(idCliente).empty())
            n = nombrePorClave(*cliTag, *cli, cliCampo, idCliente).value_or("");
        return catalogo.emplace(idCliente, std::move(n)).first->second;
    }

    LecturaIndice lockCli, lockOcas;
    std::optional<Bloques> cli, ocas;
    CdxTag *cliTag = nullptr, *ocasTag = nullptr;
    int cliCampo = -1, ocasCampo = -1;
    std::unordered_map<std::string, std::string> catalogo;
    std::string ocasional;
};

bool ListadoFacturas::read() {
    rows_.clear();
    totales_ = {};
    if (!fac_) return false;
    CdxTag* tag = fac_->controllingTag();
    if (!tag) return false;

    // The records of the keys from the first date to the last, in the tag's order, under one
    // read lock of the index.
    const std::string from = dtos(first_), to = dtos(last_);
    std::vector<uint32_t> recs;
    {
        LecturaIndice lock(fac_.get());
        if (!lock.held()) return false;
        bool found = false;
        for (uint32_t r = tag->seek(bytes(from), from.size(), true, &found); r; r = tag->next()) {
            const std::vector<uint8_t>& key = tag->current().key;
            if (key.size() < to.size() || std::memcmp(key.data(), to.data(), to.size()) > 0)
                break;
            recs.push_back(r);
        }
    }

    DbfTable& t = fac_->table();
    size_t idx[kCampos];
    for (size_t i = 0; i < kCampos; ++i) idx[i] = size_t(t.fieldIndex(kNombresCampos[i]));
    const bool skipDeleted = settings().deleted;
    Nombres nombres(*this);
    rows_.reserve(recs.size());
    for (uint32_t r : recs) {
        if (!t.goTo(r) || t.eof()) continue;
        if (skipDeleted && t.deleted()) continue;
        FacturaExpedida f;
        f.fecha = t.get(idx[kFecha]).date();
        if (f.fecha < first_ || f.fecha > last_) continue;
        f.registro = r;
        f.numero = t.get(idx[kNumero]).text();
        f.idCliente = t.get(idx[kIdCliente]).text();
        f.habitacion = sinBlancosFinales(t.get(idx[kHabitacion]).text());
        f.personas = t.getNumber(idx[kPersonas]);
        f.subtotal = t.getNumber(idx[kSubtotal]);
        f.iva = t.getNumber(idx[kIva]);
        f.hospedaje = t.getNumber(idx[kHospedaje]);
        f.total = t.getNumber(idx[kTotal]);
        f.cancelada = t.get(idx[kCance]).logical();
        f.nombre = nombres.of(f.idCliente, f.numero);
        rows_.push_back(std::move(f));
    }
    // Within a date, by number (the tag has them by record: mostly the same order already).
    auto byDateAndNumber = [](const FacturaExpedida& a, const FacturaExpedida& b) {
        return a.fecha != b.fecha ? a.fecha < b.fecha : a.numero < b.numero;
    };
    if (!std::is_sorted(rows_.begin(), rows_.end(), byDateAndNumber))
        std::stable_sort(rows_.begin(), rows_.end(), byDateAndNumber);

    for (const FacturaExpedida& f : rows_) {
        ++totales_.facturas;
        if (f.cancelada) {
            ++totales_.canceladas;
            continue;
        }
        totales_.subtotal += f.subtotal;
        totales_.iva += f.iva;
        totales_.hospedaje += f.hospedaje;
        totales_.total += f.total;
    }
    for (double* v : {&totales_.subtotal, &totales_.iva, &totales_.hospedaje, &totales_.total})
        *v = roundTo(*v, 2);
    return true;
}

long ListadoFacturas::indexOf(const std::string& numero) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].numero == numero) return long(i);
    return -1;
}

long ListadoFacturas::find(const std::string& typed) const {
    const std::string text = upperCase(allTrim(typed));
    if (text.empty()) return -1;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].numero.compare(0, text.size(), text) == 0) return long(i);
    if (std::optional<std::string> n = normalizaNumero(text)) return indexOf(*n);
    return -1;
}

std::string csvListado(const std::vector<FacturaExpedida>& rows) {
    std::string out =
        "Numero,Fecha,Cliente,Nombre,Habitacion,Personas,Subtotal,IVA,Hospedaje,Total,"
        "Cancelada\r\n";
    out.reserve(out.size() + rows.size() * 120);
    for (const FacturaExpedida& f : rows) {
        campoCsv(out, toUtf8(sinBlancosFinales(f.numero)));
        out += ',';
        out += fechaCsv(f.fecha);
        out += ',';
        campoCsv(out, toUtf8(sinBlancosFinales(f.idCliente)));
        out += ',';
        campoCsv(out, toUtf8(f.nombre));
        out += ',';
        campoCsv(out, toUtf8(f.habitacion));
        out += ',';
        out += std::to_string(long(f.personas));
        for (double v : {f.subtotal, f.iva, f.hospedaje, f.total}) {
            out += ',';
            out += importeCsv(v);
        }
        out += f.cancelada ? ",Si\r\n" : ",No\r\n";
    }
    return out;
}

}  // namespace wv
