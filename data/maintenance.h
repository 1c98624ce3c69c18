// Index rebuilding and database maintenance: indexes are never repaired in place, they are
// built again from the table.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "data/tables.h"
#include "runtime/operator.h"

namespace wv {

// How the rebuilding of one table ended.
enum class IndexOutcome {
    Done,
    InUse,          // the table could not be had alone (the stop box has been shown)
    NotOpened,      // the table could not be opened for another reason (shown by the handler)
    Cancelled,      // the operator pressed "Cancelar"
    PackFailed,
    IndexFailed,
    ReplaceFailed,  // the new files could not be put in place of the old ones
};

struct IndexResult {
    IndexOutcome outcome = IndexOutcome::Done;
    std::string table;  // the file as the operator knows it: "FACTURAS.DBF"
    std::string tag;    // the tag that was not built (a cancelled or failed tag)
    bool errorLogged = false;  // the failure's details went to Error.log
    bool ok() const { return outcome == IndexOutcome::Done; }
};

// The operator's words for why a table was not maintained: "en uso por otra estación"...
std::string outcomeText(IndexOutcome outcome);

// F_INDEXAR: rebuilds the tags of one table, each under a progress box with a cancel button.
//
// Closed table (lAbierto false): the table is opened alone, packed under a box of its own, its
// tags built in order into a new structural index and everything put in place at once; until
// then the old files stand. A cancel (in the pack or in a tag) or a failure gives up the whole
// table: its files stay as they were and the rest of its tags are not built. Nothing is said
// here; the caller reports the result.
//
// Open table (lAbierto true, the current area, shared use is enough): each tag is built again
// where it stands, keeping its order number; a cancelled tag stays as it was, and the tags after
// it are not touched. The completion is reported naming the catalogue by catalogName, or which
// tag was not rebuilt; `beforeReport` runs first (to let go of what the rebuild needed held).
IndexResult fIndexar(const std::string& cFile, const std::vector<TagSpec>& aTags,
                     bool lAbierto = false, const std::string& cPath = ".\\",
                     const std::string& catalogName = "",
                     const std::function<void()>& beforeReport = {});

// BUILDINDEX: builds one tag of the current area, advancing the progress bar per record and
// stopping when the operator cancels. True when the tag was built.
bool buildIndex(Progress& progress, const std::string& cClave, const std::string& cEtiqueta);

// The tables the maintenance command packs and re-indexes, in its order.
const std::vector<std::pair<std::string, std::vector<TagSpec>>>& maintenanceSet();

// ORDENA: the maintenance command. Ends with "Mantenimiento Finalizado..." when every table was
// maintained, otherwise with one stop box naming each table that was not, and why.
void ordena();

}  // namespace wv
