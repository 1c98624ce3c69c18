#include "data/maintenance.h"

#include <cctype>
#include <memory>

#include "data/application.h"
#include "data/netuse.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/error.h"
#include "storage/platform.h"

namespace wv {

namespace {

bool hasExtension(const std::string& f) {
    size_t slash = f.find_last_of("\\/");
    size_t dot = f.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

std::string withoutDirectory(const std::string& f) {
    size_t sep = f.find_last_of("\\/:");
    return sep == std::string::npos ? f : f.substr(sep + 1);
}

std::string withoutExtension(const std::string& f) {
    return hasExtension(f) ? f.substr(0, f.rfind('.')) : f;
}

// Whether the file is the structural index of the table: the same name with ".cdx".
bool isIndexOf(const std::string& file, const std::string& cFile) {
    std::string name = lowerCase(withoutDirectory(file));
    return name == lowerCase(withoutExtension(withoutDirectory(cFile))) + ".cdx";
}

// Opens the table alone for its rebuild: InUse when another station has it (its stop box has
// been shown), NotOpened when it cannot be opened at all. An index file whose directory cannot
// even be read is no use to anyone and would keep the table from opening: once the table is held
// alone it is removed, and the rebuild writes a new one.
IndexOutcome openAlone(const std::string& cFile, const std::string& alias,
                       const std::string& path) {
    std::string unreadable;
    {
        HeldErrors held([&](const Error& e) {
            return e.genCode == gen::kCorruption && isIndexOf(e.fileName, cFile);
        });
        if (netUseAsIs(cFile, true, alias, path)) return IndexOutcome::Done;
        if (netErr()) return IndexOutcome::InUse;
        if (!held.any()) return IndexOutcome::NotOpened;
        unreadable = held.errors().back().fileName;
    }
    {
        DbfTable::OpenOptions o;
        o.shared = false;
        setNetErr(false);
        auto table = DbfTable::open(path + cFile, o);
        if (!table) return netErr() ? IndexOutcome::InUse : IndexOutcome::NotOpened;
        os::removeFile(unreadable);
    }
    if (netUseAsIs(cFile, true, alias, path)) return IndexOutcome::Done;
    return netErr() ? IndexOutcome::InUse : IndexOutcome::NotOpened;
}

// The progress callback of a tag under its box: moves the bar, lets the box repaint and hear
// the cancel button, and stops the building when it was pressed.
std::function<bool(uint32_t, uint32_t)> tagProgress(Progress& progress) {
    return [&progress](uint32_t done, uint32_t) {
        progress.setPosition(done);
        progress.processEvents();
        return !progress.finished();
    };
}

// Runs one tag under its progress box: Done, Cancelled or IndexFailed. A tag that was complete
// when the operator pressed the button stands.
IndexOutcome tagBox(const std::string& target, const TagSpec& tag,
                    const std::function<bool(Progress&)>& build) {
    bool built = false;
    bool cancelled = msgProgress([&](Progress& p) { built = build(p); },
                                 "INDEXANDO: " + target + " EN: " + allTrim(tag.name) +
                                     " CON LLAVE: " + allTrim(tag.key),
                                 oApp().cEmpresa);
    if (built) return IndexOutcome::Done;
    return cancelled ? IndexOutcome::Cancelled : IndexOutcome::IndexFailed;
}

// A closed table: opened alone, packed, indexed anew and put in place in one swap.
IndexResult rebuildClosed(const std::string& cFile, const std::vector<TagSpec>& aTags,
                          const std::string& path, const std::string& target,
                          IndexResult result) {
    std::string alias = defaultAlias(cFile);
    result.outcome = openAlone(cFile, alias, path);
    if (!result.ok()) {
        workspace().closeAll();
        return result;
    }
    int area = workspace().current();
    WorkArea* a = workspace().area();
    {
        // The failures are told in the closing report; their details go to Error.log.
        HeldErrors held;
        std::unique_ptr<WorkArea::Rebuild> rebuild = a->beginRebuild();
        if (!rebuild) result.outcome = IndexOutcome::ReplaceFailed;

        // The pack cannot be stopped half way; a cancel pressed during it gives up the table
        // once it ends, which leaves the old files as they were.
        if (result.ok()) {
            bool packed = false;
            bool cancelled = msgProgress(
                [&](Progress& p) {
                    uint32_t count = a->recCount();
                    p.setRange(count);
                    p.setPosition(0);
                    packed = rebuild->pack(
                        [&](uint32_t done, uint32_t) {
                            p.setPosition(done);
                            p.processEvents();
                        },
                        1);
                    if (packed) p.setPosition(count);
                },
                "COMPACTANDO: " + target, oApp().cEmpresa);
            if (!packed)
                result.outcome = IndexOutcome::PackFailed;
            else if (cancelled)
                result.outcome = IndexOutcome::Cancelled;
        }

        // The tags in order into the new index; the old one cannot be mixed with it, so the
        // first tag not built gives up the table.
        for (const TagSpec& tag : aTags) {
            if (!result.ok()) break;
            result.outcome = tagBox(target, tag, [&](Progress& p) {
                uint32_t count = a->recCount();
                p.setRange(count);
                bool ok = rebuild->addTag({allTrim(tag.name), allTrim(tag.key), "", false, false,
                                           false},
                                          tagProgress(p), 1);
                if (ok) p.setPosition(count);
                return ok;
            });
            if (!result.ok()) result.tag = upperCase(allTrim(tag.name));
        }
        if (result.ok() && !rebuild->commit()) result.outcome = IndexOutcome::ReplaceFailed;
        rebuild.reset();
        if (!result.ok()) result.errorLogged = held.writeLog();
    }
    workspace().closeArea(area);
    return result;
}

// An open table: each tag built again where it stands, under the area's lock protocol.
IndexResult rebuildOpen(const std::vector<TagSpec>& aTags, const std::string& target,
                        IndexResult result) {
    for (const TagSpec& tag : aTags) {
        result.outcome = tagBox(target, tag, [&](Progress& p) {
            return buildIndex(p, tag.key, tag.name);
        });
        if (!result.ok()) {
            result.tag = upperCase(allTrim(tag.name));
            break;
        }
    }
    return result;
}

}  // namespace

std::string outcomeText(IndexOutcome outcome) {
    switch (outcome) {
        case IndexOutcome::Done: return "terminado";
        case IndexOutcome::InUse: return "en uso por otra estación";
        case IndexOutcome::NotOpened: return "no se pudo abrir";
        case IndexOutcome::Cancelled: return "cancelado por el usuario";
        case IndexOutcome::PackFailed: return "error al compactar";
        case IndexOutcome::IndexFailed: return "error al indexar";
        case IndexOutcome::ReplaceFailed: return "error al reemplazar los archivos";
    }
    return "";
}

bool buildIndex(Progress& progress, const std::string& cClave, const std::string& cEtiqueta) {
    WorkArea* a = workspace().area();
    if (!a) return false;
    uint32_t count = a->table().recCount();
    progress.setRange(count);
    a->setOrder(0);
    bool built = a->createTag({cEtiqueta, cClave, "", false, false, false},
                              tagProgress(progress), 1) != nullptr;
    if (built) progress.setPosition(count);
    return built;
}

IndexResult fIndexar(const std::string& cFile, const std::vector<TagSpec>& aTags, bool lAbierto,
                     const std::string& cPath, const std::string& catalogName,
                     const std::function<void()>& beforeReport) {
    std::string path = cPath.empty() ? ".\\" : cPath;
    std::string target = upperCase(allTrim(path + cFile)) + (hasExtension(cFile) ? "" : ".DBF");
    IndexResult result;
    result.table =
        upperCase(withoutDirectory(allTrim(cFile))) + (hasExtension(cFile) ? "" : ".DBF");
    if (!lAbierto) return rebuildClosed(cFile, aTags, path, target, result);

    result = rebuildOpen(aTags, target, result);
    if (beforeReport) beforeReport();
    std::string head = "El mantenimiento a: " +
                       upperCase(catalogName.empty() ? cFile : catalogName) + "\r\n En: " +
                       lowerCase(path + cFile) + (hasExtension(cFile) ? "" : ".dbf");
    if (result.ok()) {
        msgAlert(head + ", se finalizo satisfactoriamente...", oApp().cEmpresa);
    } else {
        bool last = !aTags.empty() && upperCase(allTrim(aTags.back().name)) == result.tag;
        msgStop(head + ", no se completó:\r\n el índice " + result.tag + " no se reconstruyó (" +
                    outcomeText(result.outcome) + ")" +
                    (last ? " y quedó como estaba."
                          : "; éste y los que siguen quedaron como estaban."),
                oApp().cEmpresa);
    }
    return result;
}

const std::vector<std::pair<std::string, std::vector<TagSpec>>>& maintenanceSet() {
    static const std::vector<std::pair<std::string, std::vector<TagSpec>>> kSet = {
        {"facturas", {{"numero", "numero"}, {"dtos(fecha)", "fecha"}}},
        {"det_fact", {{"numero", "numero"}}},
        {"concfac", {{"id", "id"}, {"nombre", "nombre"}}},
        {"cliente", {{"id", "id"}, {"nombre", "nombre"}}},
        {"articulo", {{"id", "id"}, {"nombre", "nombre"}}},
    };
    return kSet;
}

void ordena() {
    if (!msgYesNo("Estimado " + oApp().cUsuario +
                      ", le recordamos que para hacer uso de esta opcion\r\n"
                      "es necesario que nadie este dentro del sistema, esta seguro de querer "
                      "continuar ?",
                  std::string("Advertencia de Seguridad")))
        return;
    workspace().closeAll();
    std::string notDone;
    bool logged = false;
    for (const auto& [table, tags] : maintenanceSet()) {
        IndexResult r = fIndexar(table, tags, false, oApp().xDatos);
        if (r.ok()) continue;
        notDone += "  " + r.table + ": " + outcomeText(r.outcome) + "\r\n";
        logged = logged || r.errorLogged;
    }
    if (notDone.empty()) {
        msgAlert("Mantenimiento Finalizado...", oApp().cEmpresa);
        return;
    }
    msgStop("El mantenimiento no se completó:\r\n" + notDone +
                "\r\nEstas tablas quedaron como estaban; las demás ya están al día." +
                (logged ? "\r\nEl detalle de los errores quedó en el archivo Error.log." : ""),
            oApp().cEmpresa);
}

}  // namespace wv
