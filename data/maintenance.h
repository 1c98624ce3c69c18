// Index rebuilding and database maintenance: indexes are never repaired in place, they are
// built again from the table.
#pragma once

#include <string>
#include <vector>

#include "data/tables.h"
#include "runtime/operator.h"

namespace wv {

// F_INDEXAR: rebuilds the tags of one table, each under a progress box with a cancel button.
// Closed table (lAbierto false): the old index file is deleted, the table opened exclusively,
// packed, indexed and closed. Open table (lAbierto true, the current area): only the tags are
// built, and the completion is reported naming the catalogue by catalogName.
//
// A tag cancelled from its progress box is left out of the index file altogether (a tag is
// either complete or absent); the next maintenance builds it again.
void fIndexar(const std::string& cFile, const std::vector<TagSpec>& aTags, bool lAbierto = false,
              const std::string& cPath = ".\\", const std::string& catalogName = "");

// BUILDINDEX: builds one tag of the current area, advancing the progress bar per record and
// stopping when the operator cancels.
void buildIndex(Progress& progress, const std::string& cClave, const std::string& cEtiqueta);

// The tables the maintenance command packs and re-indexes, in its order.
const std::vector<std::pair<std::string, std::vector<TagSpec>>>& maintenanceSet();

// ORDENA: the maintenance command.
void ordena();

}  // namespace wv
