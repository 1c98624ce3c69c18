#include "data/maintenance.h"

#include <cctype>

#include "data/application.h"
#include "data/netuse.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "storage/platform.h"

namespace wv {

namespace {

bool hasExtension(const std::string& f) {
    size_t slash = f.find_last_of("\\/");
    size_t dot = f.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

// Deletes an index file unless another handle has it open: on the system this program comes
// from, a file in use cannot be deleted, and the exclusive open that follows fails instead.
void deleteIndexFile(const std::string& path) {
    if (!os::fileExists(path)) return;
    int err = 0;
    auto probe = os::File::open(path, true, os::Share::Exclusive, &err);
    if (!probe) return;
    probe.reset();
    os::removeFile(path);
}

}  // namespace

void buildIndex(Progress& progress, const std::string& cClave, const std::string& cEtiqueta) {
    WorkArea* a = workspace().area();
    if (!a) return;
    uint32_t count = a->table().recCount();
    progress.setRange(count);
    a->setOrder(0);
    a->createTag({cEtiqueta, cClave, "", false, false, false},
                 [&](uint32_t done, uint32_t) {
                     progress.setPosition(done);
                     progress.processEvents();
                     return !progress.finished();
                 },
                 1);
    progress.setPosition(count);
}

void fIndexar(const std::string& cFile, const std::vector<TagSpec>& aTags, bool lAbierto,
              const std::string& cPath, const std::string& catalogName) {
    std::string path = cPath.empty() ? ".\\" : cPath;
    std::string alias = defaultAlias(cFile);
    int area = 0;
    if (!lAbierto) {
        deleteIndexFile(path + alias + ".cdx");
        if (!netUse(cFile, true, alias, path)) {
            workspace().closeAll();
            return;
        }
        area = workspace().current();
        WorkArea* a = workspace().area();
        if (a->table().flock()) {
            a->table().pack();
            a->table().unlockAll();
        }
    }
    std::string target = upperCase(allTrim(path + cFile)) + (hasExtension(cFile) ? "" : ".DBF");
    for (const TagSpec& tag : aTags) {
        msgProgress([&](Progress& p) { buildIndex(p, tag.key, tag.name); },
                    "INDEXANDO: " + target + " EN: " + allTrim(tag.name) +
                        " CON LLAVE: " + allTrim(tag.key),
                    oApp().cEmpresa);
    }
    if (!lAbierto) {
        workspace().closeArea(area);
        return;
    }
    msgAlert("El mantenimiento a: " + upperCase(catalogName.empty() ? cFile : catalogName) +
                 "\r\n En: " + lowerCase(path + cFile) + (hasExtension(cFile) ? "" : ".dbf") +
                 ", se finalizo satisfactoriamente...",
             oApp().cEmpresa);
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
    for (const auto& [table, tags] : maintenanceSet()) fIndexar(table, tags, false, oApp().xDatos);
    msgAlert("Mantenimiento Finalizado...", oApp().cEmpresa);
}

}  // namespace wv
