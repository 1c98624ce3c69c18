// The application's tables: their files, fields, widths and index tags, the routines the
// catalogues use for their codes, and the laying out of a new installation.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "storage/dbf.h"

namespace wv {

struct TagSpec {
    std::string key;   // key expression
    std::string name;  // tag name
};

struct TableSpec {
    std::string name;  // file name without extension
    std::vector<FieldDef> fields;
    std::vector<TagSpec> tags;  // in order: the first is the controlling tag after NET_USE
};

// cliente, articulo, concfac, facturas, det_fact, pos_fac (in the data directory) and cfg (in
// "config\").
const std::vector<TableSpec>& applicationTables();
const TableSpec& configTable();
const TableSpec* tableSpec(const std::string& name);

// The occasional customer's billing data of each invoice ("fac_ocas" in the data directory),
// keyed by the invoice's number: the invoice itself keeps only the code "9999".
const TableSpec& occasionalTable();
// Creates a table with its tags, the records `fill` appends (none without it) indexed once they
// are all there; false, with the reason, when it cannot.
bool createTable(const std::string& path, const TableSpec& layout, std::string* error,
                 const std::function<void(DbfTable&)>& fill = {});

// The 23 print positions of a new installation: row and column in centimetres and the print flag.
struct PrintPosition {
    double renglon, columna;
    bool imprimir;
};
const std::vector<PrintPosition>& defaultPrintPositions();

// INCDB: the next free code of a catalogue (the alias is selected, ordered by its first tag and
// left on its last record).
std::string incDb(const std::string& cAlias);
// VALIDDB: the duplicate-code check of a catalogue form's code field.
bool validDb(const std::string& cAlias, const std::string& cCode, int nModo);
// EXISTECAMPO: whether the current area's table has the field (letter case ignored).
bool existeCampo(const std::string& cCampo);

// Lays out an installation in dir: "datos/" with the six tables and their indexes, pos_fac
// with its 23 positions, "config/cfg.dbf" with "cfg.cdx"; with demo, a small catalogue. Refuses
// (false, reason in *error) when any table exists already.
bool initInstallation(const std::string& dir, bool demo, std::string* error);

}  // namespace wv
