// The code lookup behind every field where the operator types a catalogue code: the code is
// sought in the catalogue's table; when it is not there a pick list of the whole catalogue lets
// the operator choose a record. On return the catalogue's area is current and stands on the
// found or chosen record, so that the caller copies the record's other fields from it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace wv {

// What the pick list is asked to show.
struct LookupRequest {
    std::string alias;
    std::vector<std::string> headers;  // the column titles
    std::function<Array()> line;       // the current record's cells
    std::string title;                 // the window's caption
};

// The pick list: runs modally over the alias's area (current, in code order, on its first
// record) and answers true when the operator accepted a record, the area standing on it. The
// interface installs its window; without one nothing is ever accepted.
using LookupDialog = std::function<bool(const LookupRequest&)>;
LookupDialog setLookupDialog(LookupDialog dialog);

// VALCOD: the stored code of the record found or chosen, at the code field's full width; blanks
// of that width when the operator dismissed the list. The code is sought as typed, then
// zero-filled (CERO1); only when neither is found does the list open. The alias's area is left
// current and in code order: on the record found or chosen, or at the end of the table after a
// dismissed list, so that a caller copying the record's fields copies blanks, never the row the
// list happened to show last. Defaults: the titles {"id", "nombre"}, the cells {ID, NOMBRE},
// the title "Listado de: " + the catalogue's display name + ": Ordenando por: Nombre". A table
// with NUME and DESC always shows those two.
std::string valCod(const std::string& code, const std::string& alias,
                   std::vector<std::string> headers = {}, std::function<Array()> line = {},
                   std::string title = "");

}  // namespace wv
