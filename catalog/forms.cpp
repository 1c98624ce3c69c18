#include "catalog/forms.h"

#include "catalog/catalogo.h"
#include "catalog/codes.h"
#include "catalog/lookup.h"
#include "catalog/names.h"
#include "data/application.h"
#include "data/maintenance.h"
#include "data/netuse.h"
#include "data/tables.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/operator.h"

namespace wv {

namespace {

// The empty value of a field: blanks of its width, or zero.
Value blankOf(WorkArea& a, const std::string& name) {
    int i = a.table().fieldIndex(name);
    if (i < 0) return Value(std::string());
    const FieldInfo& f = a.table().field(size_t(i));
    if (f.type == 'N' || f.type == 'F') return Value::number(0, f.len, f.dec);
    return Value(std::string(f.len, ' '));
}

void tellNoCode(const std::string& alias) {
    WorkArea* a = workspace().area(alias);
    std::string width = a ? std::to_string(a->table().field(0).len) : "";
    msgStop("Ya no quedan codigos libres en el catalogo de: " + nomCatalogos(alias) +
                "; se usaron todos los de " + width + " digitos.",
            oApp().cEmpresa);
}

}  // namespace

RecordForm::RecordForm(std::string cat, std::string al, int m, std::vector<FormField> f)
    : catalog(std::move(cat)), alias(std::move(al)), mode(m), fields(std::move(f)) {}

bool RecordForm::editable() const { return mode != kConsulta; }

std::string RecordForm::caption() const {
    return "Detalle de: " + nomCatalogos(catalog) + modeSuffix(mode);
}

FormField& RecordForm::field(const std::string& name) {
    for (FormField& f : fields)
        if (f.field == name) return f;
    static FormField none;
    none = FormField{};
    return none;
}

void RecordForm::readRecord() {
    WorkArea* a = workspace().area(alias);
    loaded_.clear();
    for (FormField& f : fields) {
        f.value = a->get(f.field);
        loaded_.push_back(f.value);
    }
}

bool RecordForm::sameAsLoaded() {
    WorkArea* a = workspace().area(alias);
    for (size_t i = 0; i < fields.size(); ++i)
        if (!(a->get(fields[i].field) == loaded_[i])) return false;
    return true;
}

void RecordForm::writeFields(const std::vector<std::string>& only) {
    WorkArea* a = workspace().area(alias);
    for (const FormField& f : fields) {
        bool wanted = only.empty();
        for (const std::string& n : only) wanted = wanted || n == f.field;
        if (wanted) a->put(f.field, f.value);
    }
}

bool RecordForm::load() {
    WorkArea* a = workspace().selectArea(alias);
    if (!a) return false;
    if (mode == kAlta) {
        std::optional<std::string> next = nextCode(alias);
        if (!next) {
            tellNoCode(alias);
            return false;
        }
        for (FormField& f : fields) f.value = blankOf(*a, f.field);
        code().value = Value(*next);
        recno_ = 0;
        loaded_.clear();
        return true;
    }
    // A record button acts on a record: not on the end of the table, nor on one deleted since
    // the grid showed it.
    if (!onRealRecord(alias)) return false;
    recno_ = a->recNo();
    readRecord();
    return true;
}

bool RecordForm::validCode() {
    code().value = Value(cero1(code().value.text()));
    if (mode != kAlta) return true;
    WorkArea* a = workspace().area(alias);
    if (a) a->setOrder(1);
    return validDb(alias, code().value.text(), mode);
}

RecordForm::Saved RecordForm::save(const std::vector<std::string>& only) {
    WorkArea* a = workspace().selectArea(alias);
    if (!a) return Saved::NotWritten;
    DbfTable& t = a->table();
    if (mode == kAlta) {
        // The code is checked again under the lock every append takes, and the record is
        // written and keyed before that lock goes: no other station can store the same code in
        // between.
        if (!t.holdAppendLock()) return Saved::NotWritten;
        // A record whose station died before writing its keys is found all the same.
        if (!a->settleKeys()) {
            t.releaseAppendLock();
            return Saved::NotWritten;
        }
        const std::string wanted = cero1(code().value.text());
        std::string stored = wanted;
        a->setOrder(1);
        if (a->seek(Value(wanted), false)) {
            std::optional<std::string> next = nextCode(alias);
            if (!next) {
                t.releaseAppendLock();
                tellNoCode(alias);
                return Saved::NotWritten;
            }
            stored = *next;
        }
        if (!t.append()) {
            t.releaseAppendLock();
            msgStop("No se pudo agregar el registro, vuelva a intentarlo...", oApp().cEmpresa);
            return Saved::NotWritten;
        }
        code().value = Value(stored);
        writeFields({});
        const bool written = t.writeBack();  // a failure was shown, and nothing is on file
        t.unlockAll();
        if (!written) return Saved::NotWritten;
        if (stored != wanted)
            msgInfo("El codigo " + wanted + " fue ocupado desde otra estacion mientras usted "
                    "capturaba; el registro se guardo con el codigo " + stored + ".",
                    oApp().cEmpresa);
        return Saved::Written;
    }
    if (mode != kModifica) return Saved::NotWritten;
    a->goTo(recno_);
    if (!recLock(5)) return Saved::NotWritten;
    a->goTo(recno_);  // read again, now that nobody else can write it
    if (a->eof() || a->deleted()) {
        t.unlockAll();
        msgStop("Otra estacion elimino este registro mientras usted lo modificaba; sus cambios "
                "no se guardaron.",
                oApp().cEmpresa);
        return Saved::NotWritten;
    }
    if (!sameAsLoaded()) {
        readRecord();
        t.unlockAll();
        msgStop("Otra estacion modifico este registro mientras usted lo modificaba. Se muestran "
                "los datos actuales: revise sus cambios y acepte de nuevo.",
                oApp().cEmpresa);
        return Saved::Reloaded;
    }
    writeFields(only);
    t.unlockAll();
    return Saved::Written;
}

bool RecordForm::erase(const std::string& question, const std::string& lockFailure,
                       const std::function<std::string()>& refusal) {
    if (!msgYesNo(question, oApp().cEmpresa)) return false;
    WorkArea* a = workspace().selectArea(alias);
    if (!a) return false;
    a->goTo(recno_);
    if (!recLock(5)) {
        if (!lockFailure.empty()) msgStop(lockFailure, oApp().cEmpresa);
        return false;
    }
    a->goTo(recno_);  // read again under the lock
    bool ok = !a->eof() && !a->deleted();
    std::string why = ok && refusal ? refusal() : "";
    if (ok && why.empty()) ok = a->table().deleteRecord();
    a->table().unlockAll();
    if (!why.empty()) msgStop(why, oApp().cEmpresa);
    return ok && why.empty();
}

void RecordForm::maintain(const std::string& file,
                          const std::vector<std::pair<std::string, std::string>>& tags,
                          const std::string& dir) {
    WorkArea* a = workspace().selectArea(alias);
    if (!a) return;
    // Tags rebuilt where they stand would change under the feet of a station reading them: the
    // table is made this station's alone for the while, and others' opens wait it out.
    if (!a->table().claimAlone()) {
        msgStop("El catalogo de: " + nomCatalogos(alias) +
                    " esta abierto en otra estacion; para reorganizarlo nadie mas debe tenerlo "
                    "abierto.",
                oApp().cEmpresa);
        return;
    }
    std::vector<TagSpec> specs;
    for (const auto& [key, name] : tags) specs.push_back({key, name});
    uint32_t rec = a->recNo();
    DbfTable* table = &a->table();
    fIndexar(file, specs, true, dir, nomCatalogos(alias), [table] { table->shareAgain(); });
    if (WorkArea* again = workspace().area(alias)) {
        again->setOrder(1);
        again->goTo(rec);
    }
}

bool customerInvoiced(const std::string& code, int invoices) {
    WorkArea* f = workspace().area(invoices);
    if (!f) return true;  // without the invoices nobody can tell: the customer is kept
    f->setOrder(0);
    for (f->goTop(); !f->eof(); f->skip(1))
        if (f->get("IDCLIENTE").text() == code) return true;
    return false;
}

namespace {

// Modes 1, 2 and 4: the dialog, and the save after it; a modify that found the record changed
// shows it again with its current values.
void runForm(RecordForm& form, const FormDialog& dialog, const std::vector<std::string>& only) {
    if (!form.load()) return;
    for (;;) {
        form.accepted = false;
        if (!dialog(form) || !form.accepted || !form.editable()) return;
        if (form.save(only) != RecordForm::Saved::Reloaded) return;
    }
}

}  // namespace

void articleConcept(RecordForm& form) {
    Value& code = form["IDCONCFACT"];
    code = Value(valCod(code.text(), "concfac"));
    WorkArea* c = workspace().area("concfac");
    form.conceptName = c ? c->get("NOMBRE").text() : "";
    // The article form goes on working on the articles, whatever the lookup left current.
    workspace().select(form.alias);
}

void fArticulo(int mode, const FormDialog& dialog) {
    const std::string alias = "ARTICULO";
    RecordForm form("ARTICULO", alias, mode,
                    {{101, "ID", codePicture(alias), "Codigo del Articulo",
                      "Introduzca el Numero de Identificacion"},
                     {102, "NOMBRE", "@!", "Nombre del Articulo", "Introduzca el Nombre"},
                     {103, "PRECIO", "999,999.99", "Costo promedio del Articulo",
                      "Introduzca el Costo promedio del Articulo"},
                     {105, "HOSPEDAJE", "99%",
                      "Impuestos sobre hospedaje del Articulo o Servicio",
                      "Introduzca el impuesto sobre hospedaje del Articulo o Servicio"},
                     {104, "IVA", "99%", "IVA del Articulo o Servicio",
                      "Introduzca el IVA del Articulo o Servicio"},
                     {106, "IDCONCFACT", "9999", "Concepto de Facturacion del Articulo",
                      "Introduzca el Concepto de Facturacion del Articulo del Articulo"}});
    if (mode == kMantenimiento) {
        form.maintain("articulo", {{"id", "id"}, {"nombre", "nombre"}}, ".\\inventario\\");
        return;
    }
    if (mode == kBaja) {
        if (form.load()) form.erase("Esta seguro de Eliminar el Registro ?");
        return;
    }
    int articles = workspace().current();
    if (!netUseAsIs("concfac", false, "", oApp().xDatos)) {
        workspace().select(articles);
        return;
    }
    int concepts = workspace().current();
    workspace().select(articles);
    if (mode != kAlta && onRealRecord(alias)) {
        WorkArea* c = workspace().area(concepts);
        std::string code = workspace().area(alias)->get("IDCONCFACT").text();
        c->setOrder(1);
        form.conceptName = c->seek(Value(code), false) ? c->get("NOMBRE").text()
                                                       : "NO ENCONTRADO";
        workspace().select(articles);
    }
    runForm(form, dialog, {});
    workspace().closeArea(concepts);
    workspace().select(articles);
}

void fClientes(int mode, const FormDialog& dialog) {
    const std::string alias = "CLIENTE";
    RecordForm form("CLIENTE", alias, mode,
                    {{101, "ID", codePicture(alias), "Formato", "Numero de Identificacion"},
                     {102, "NOMBRE", "@!", "Nombre", "Nombre"},
                     {103, "DOMICILIO", "@!", "Domicilio", "Domicilio"},
                     {106, "CP", "99999", "Codigo Postal", "Codigo Postal"},
                     {104, "CIUDAD_EDO", "@!", "Ciudad y Estado", "Ciudad y Estado"},
                     {107, "PAIS", "@!", "Pais", "Pais"},
                     {108, "TELEFONOS", "", "Telefonos", "Telefonos"},
                     {110, "RFC", "@!", "R.F.C.", "Registro Federal de Contribuyentes"},
                     {111, "OBSERVACIO", "@!", "Observaciones", "Observaciones"}});
    if (mode == kMantenimiento) {
        form.maintain("CLIENTE", {{"id", "id"}, {"nombre", "nombre"}});
        return;
    }
    if (mode == kBaja) {
        if (!form.load()) return;
        // The invoices in an area of their own (an invoice screen's area on them keeps its
        // place), opened before the customer is locked.
        int customers = workspace().current();
        if (!netUseAsIs("facturas", false, "FACT_CLI", oApp().xDatos)) {
            workspace().select(customers);
            return;
        }
        int invoices = workspace().current();
        workspace().select(customers);
        std::string code = form.code().value.text();
        form.erase("Eliminar el Registro ?", "no se pudo borrar", [&]() -> std::string {
            if (!customerInvoiced(code, invoices)) return "";
            return "No se puede eliminar el cliente " + code +
                   ": hay facturas a su nombre, que al reimprimirse saldrian con los datos de "
                   "quien tomara despues su codigo.";
        });
        workspace().closeArea(invoices);
        workspace().select(customers);
        return;
    }
    runForm(form, dialog, {});
}

void fComunes(int mode, const FormDialog& dialog) {
    WorkArea* a = workspace().area();
    if (!a) return;
    const std::string alias = a->alias();
    CatalogFields f = catalogFields();
    RecordForm form(alias, alias, mode,
                    {{101, f.code, codePicture(alias), "Codigo",
                      "Introduzca el Numero de Identificacion"},
                     {102, f.name, "@!", "Nombre", "Introduzca el Nombre"}});
    if (mode == kMantenimiento) {
        if (f.code == "NUME")
            form.maintain(alias, {{"nume", "nume"}, {"desc", "desc"}});
        else
            form.maintain(alias, {{"id", "id"}, {"nombre", "nombre"}});
        return;
    }
    if (mode == kBaja) {
        if (form.load()) form.erase("Esta seguro de eliminar el Registro ?");
        return;
    }
    // A modify writes the name only: the code cannot change.
    runForm(form, dialog, mode == kModifica ? std::vector<std::string>{f.name}
                                            : std::vector<std::string>{});
}

}  // namespace wv
