#include "data/netuse.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "data/application.h"
#include "data/errorlog.h"
#include "data/tables.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/error.h"
#include "runtime/operator.h"
#include "storage/platform.h"

namespace wv {

namespace {

using Clock = std::chrono::steady_clock;  // keeps running across midnight and clock changes

double secondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Lock attempts are spaced a little so that a wait does not take a whole core; the total wait
// stays what was asked.
void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }

}  // namespace

std::string defaultAlias(const std::string& cFile) {
    std::string a = cFile;
    size_t bs = a.rfind('\\');
    if (bs != std::string::npos) {
        a = a.substr(bs + 1);
    } else {
        size_t colon = a.find(':');
        if (colon != std::string::npos) a = a.substr(colon + 1);
    }
    size_t dot = a.find('.');
    if (dot != std::string::npos) a = a.substr(0, dot);
    return upperCase(a);
}

namespace {

// The file's name without directory or extension, in small letters: how tables.h names it.
std::string tableName(const std::string& cFile) {
    std::string n = cFile;
    size_t sep = n.find_last_of("\\/:");
    if (sep != std::string::npos) n = n.substr(sep + 1);
    size_t dot = n.rfind('.');
    if (dot != std::string::npos) n = n.substr(0, dot);
    return lowerCase(n);
}

// The application's tags for the table, null when it has none.
const std::vector<TagSpec>* applicationTags(const std::string& cFile) {
    const TableSpec* layout = tableSpec(tableName(cFile));
    return layout && !layout->tags.empty() ? &layout->tags : nullptr;
}

enum class IndexState { Fits, Missing, Damaged, Shifted };

// Whether the application's tags are the first of the area's index, in order (tags after them
// are no concern of the program's).
IndexState indexState(WorkArea& a, const std::vector<TagSpec>& tags) {
    CdxBag* bag = a.bag();
    if (!bag) return IndexState::Missing;
    if (!bag->damagedTags().empty()) return IndexState::Damaged;
    const std::vector<CdxTag*>& have = bag->tags();
    if (have.size() < tags.size()) return IndexState::Shifted;
    for (size_t i = 0; i < tags.size(); ++i)
        if (upperCase(have[i]->name()) != upperCase(allTrim(tags[i].name)))
            return IndexState::Shifted;
    return IndexState::Fits;
}

// A new structural index with the application's tags alone, in one swap (the table held alone).
// What went wrong is kept in Error.log for the adviser.
bool rebuildIndex(WorkArea& a, const std::vector<TagSpec>& tags) {
    HeldErrors held;
    bool ok = false;
    if (auto rebuild = a.beginRebuild()) {
        ok = true;
        for (const TagSpec& t : tags)
            if (!rebuild->addTag({allTrim(t.name), allTrim(t.key), "", false, false, false})) {
                ok = false;
                break;
            }
        ok = ok && rebuild->commit();
    }
    if (!ok) held.writeLog();
    return ok;
}

// One attempt at opening; the area number, 0 on failure (a table held elsewhere has had its
// stop box).
int openArea(const std::string& cFile, bool lExclusive, const std::string& alias,
             const std::string& cPath) {
    setNetErr(false);
    int area = workspace().use(cPath + cFile, alias, true, !lExclusive, false);
    if (!netErr()) {
        // A failure that went through the error dialog leaves no table open: that is a failure
        // too, not a success.
        if (!area) return 0;
        WorkArea* a = workspace().area(area);
        if (a->bag() && !a->bag()->tags().empty()) a->setOrder(1);
        return area;
    }
    msgStop("La base de datos: " + upperCase(cFile) + ".DBF, no puede ser procesada\r\n"
            "llame a su asesor de Informatica...",
            oApp().cEmpresa);
    return 0;
}

}  // namespace

bool netUseAsIs(const std::string& cFile, bool lExclusive, const std::string& cAlias,
                const std::string& cPath) {
    return openArea(cFile, lExclusive, cAlias.empty() ? defaultAlias(cFile) : cAlias, cPath) != 0;
}

bool netUse(const std::string& cFile, bool lExclusive, const std::string& cAlias,
            const std::string& cPath, bool lCheck) {
    std::string alias = cAlias.empty() ? defaultAlias(cFile) : cAlias;
    if (lCheck && !lokDbf(cPath + cFile)) return false;
    int area = openArea(cFile, lExclusive, alias, cPath);
    if (!area) return false;
    const std::vector<TagSpec>* tags = applicationTags(cFile);
    if (!tags) return true;
    IndexState state = indexState(*workspace().area(area), *tags);
    if (state == IndexState::Fits) return true;

    // The index is built again only by a station that has the table alone; it is asked for
    // quietly, since another station holding it is answered with the box below.
    bool rebuilt = false;
    if (lExclusive) {
        rebuilt = rebuildIndex(*workspace().area(area), *tags);
        workspace().area(area)->setOrder(1);
    } else {
        workspace().closeArea(area);
        setNetErr(false);
        int alone = workspace().use(cPath + cFile, alias, true, false, false);
        if (alone && !netErr()) rebuilt = rebuildIndex(*workspace().area(alone), *tags);
        if (alone) workspace().closeArea(alone);
        setNetErr(false);
        if (rebuilt) {
            area = openArea(cFile, lExclusive, alias, cPath);
            if (!area) return false;
        }
    }
    if (!rebuilt || indexState(*workspace().area(area), *tags) != IndexState::Fits) {
        workspace().closeAll();
        msgStop("La base de datos: " + upperCase(cFile) +
                    ".DBF necesita mantenimiento: sus índices no están completos.\r\n"
                    "Ejecute Utilerias > Mtto. Base Datos cuando nadie esté usando el sistema.",
                oApp().cEmpresa);
        return false;
    }
    const char* why = state == IndexState::Missing   ? "no existía"
                      : state == IndexState::Damaged ? "estaba dañado"
                                                     : "estaba incompleto o fuera de orden";
    msgInfo("Se reconstruyó el índice de " + upperCase(cFile) + ".DBF (" + why + ").",
            oApp().cEmpresa);
    return true;
}

bool lokDbf(const std::string& cFile, const std::string& cDir) {
    int err = 0;
    auto f = os::File::open(cDir + "\\" + cFile, true, os::Share::Exclusive, &err);
    if (!f) return true;
    uint8_t h[12];
    long long size = f->size();
    if (f->readAt(0, h, 12) != 12) return true;
    uint32_t stored = uint32_t(h[4]) | uint32_t(h[5]) << 8 | uint32_t(h[6]) << 16 |
                      uint32_t(h[7]) << 24;
    double hl = double(h[8] | h[9] << 8), rl = double(h[10] | h[11] << 8);
    // A record length of 0 or a file shorter than its header tells nothing about the count.
    if (rl <= 0 || double(size) < hl) return true;
    double detected = (double(size) - hl) / rl;
    if (detected != std::floor(detected)) detected = (double(size) - hl - 1) / rl;
    if (detected == double(stored)) return true;
    uint32_t fixed = uint32_t(std::llround(detected));
    std::string dir = cDir;
    while (!dir.empty() && dir.back() == ' ') dir.pop_back();
    char counts[128];
    std::snprintf(counts, sizeof counts,
                  "   Registros iniciales  %07u\r\n   Registros detectados %07u\r\n", stored, fixed);
    std::string text = "Número de registros incorrecto en Base de Datos " + cFile + " en\r\n" +
                       dir + " :\r\n\r\n" + counts +
                       "\r\nAsegúrese de guardar la última copia de  seguridad y\r\n"
                       "realice una copia suplementaria ANTES DE corregir el\r\n"
                       "problema.\r\n\r\n"
                       "¿ Desea corregir el problema ?";
    if (msgNoYes(text, std::string("Error de apertura"))) {
        uint8_t b[4] = {uint8_t(fixed), uint8_t(fixed >> 8), uint8_t(fixed >> 16),
                        uint8_t(fixed >> 24)};
        if (f->writeAt(4, b, 4))
            msgInfo("El problema ha sido corregido.\r\n\r\nAntes de continuar el  uso normal del "
                    "programa\r\ndebe realizarse una \"Indexación de ficheros\".",
                    std::string("Aviso Importante"));
    }
    return true;
}

bool recLock(double nSeconds) {
    WorkArea* a = workspace().area();
    if (!a) return false;
    Clock::time_point start = Clock::now();
    for (;;) {
        if (a->table().rlock()) return true;
        if (secondsSince(start) >= nSeconds) {
            if (!msgYesNo("Ya se excedio el tiempo de espera del bloqueo, desea reintentar "
                          "nuevamente ?",
                          oApp().cEmpresa))
                return false;
            start = Clock::now();
            continue;
        }
        pause();
    }
}

bool tryAddRec(double nSeconds, bool releaseLocks) {
    WorkArea* a = workspace().area();
    if (!a) return false;
    // An append refused for another reason (a read-only table, a write error) has been shown by
    // the error handler already: no record was added, so the result is false.
    if (a->table().append(releaseLocks)) return true;
    if (!netErr()) return false;
    Clock::time_point start = Clock::now();
    while (secondsSince(start) < nSeconds) {
        pause();
        if (a->table().append(releaseLocks)) return true;
        if (!netErr()) return false;
    }
    return false;
}

bool addRec(double nSeconds) {
    if (tryAddRec(nSeconds)) return true;
    if (netErr()) msgStop("No se pudo agregar el registro, vuelva a intentarlo...", oApp().cEmpresa);
    return false;
}

int fArea(const std::string& cAlias) { return workspace().areaOf(cAlias); }

// ---------------------------------------------------------------------------------------------
// Held errors

HeldErrors::HeldErrors(std::function<bool(const Error&)> which) : which_(std::move(which)) {
    prev_ = setErrorHandler([this](const Error& e) { return answer(e); });
}

HeldErrors::~HeldErrors() { setErrorHandler(std::move(prev_)); }

ErrorChoice HeldErrors::answer(const Error& e) {
    bool hold;
    if (which_) {
        hold = which_(e);
    } else {
        // What the standard handler settles without the operator (see errorSys).
        bool settled = e.genCode == gen::kZeroDiv ||
                       (e.genCode == gen::kOpen && (e.osCode == 32 || e.osCode == 5) &&
                        e.canDefault) ||
                       (e.genCode == gen::kAppendLock && e.canDefault);
        hold = !settled;
    }
    if (!hold) return prev_ ? prev_(e) : errorSys(e);
    errors_.push_back(e);
    return ErrorChoice::Default;
}

bool HeldErrors::writeLog() const {
    return !errors_.empty() && writeErrorLog(errorReport(errors_.back()));
}

}  // namespace wv
