#include "data/tables.h"

#include <filesystem>

#include "data/application.h"
#include "data/workarea.h"
#include "runtime/numtext.h"
#include "runtime/operator.h"
#include "runtime/date.h"
#include "storage/platform.h"

namespace wv {

// Widths chosen for the fields whose width the data decides: names wide enough for real
// customers and companies, amounts N(12,2) (up to 999,999,999.99), whole percentages N(2,0),
// quantities N(9,2), guests N(3,0); codes as the catalogues fix them.
const std::vector<TableSpec>& applicationTables() {
    static const std::vector<TableSpec> kTables = {
        {"cliente",
         {{"ID", 'C', 4, 0},
          {"NOMBRE", 'C', 60, 0},
          {"DOMICILIO", 'C', 60, 0},
          {"CIUDAD_EDO", 'C', 40, 0},
          {"CP", 'C', 5, 0},
          {"PAIS", 'C', 20, 0},
          {"TELEFONOS", 'C', 30, 0},
          {"RFC", 'C', 14, 0},
          {"OBSERVACIO", 'C', 60, 0}},
         {{"id", "id"}, {"nombre", "nombre"}}},
        {"articulo",
         {{"ID", 'C', 6, 0},
          {"NOMBRE", 'C', 60, 0},
          {"PRECIO", 'N', 12, 2},
          {"IVA", 'N', 2, 0},
          {"HOSPEDAJE", 'N', 2, 0},
          {"IDCONCFACT", 'C', 4, 0}},
         {{"id", "id"}, {"nombre", "nombre"}}},
        {"concfac", {{"ID", 'C', 4, 0}, {"NOMBRE", 'C', 40, 0}}, {{"id", "id"}, {"nombre", "nombre"}}},
        {"facturas",
         {{"NUMERO", 'C', 10, 0},
          {"FECHA", 'D', 8, 0},
          {"IDCLIENTE", 'C', 4, 0},
          {"DESCTO", 'N', 12, 2},
          {"SUBTOTAL", 'N', 12, 2},
          {"TOTAL", 'N', 12, 2},
          {"IVA", 'N', 12, 2},
          {"HOSPEDAJE", 'N', 12, 2},
          {"COME1", 'C', 50, 0},
          {"COME2", 'C', 50, 0},
          {"USUARIO", 'C', 10, 0},
          {"HORA", 'C', 8, 0},
          {"HABITACION", 'C', 4, 0},
          {"PERSONAS", 'N', 3, 0},
          {"CANCE", 'L', 1, 0}},
         {{"numero", "numero"}, {"dtos(fecha)", "fecha"}}},
        {"det_fact",
         {{"NUMERO", 'C', 10, 0},
          {"IDARTICULO", 'C', 6, 0},
          {"CONCEPTO1", 'C', 70, 0},
          {"CANTIDAD", 'N', 9, 2},
          {"PRECIO", 'N', 12, 2},
          {"PORCIVA", 'N', 2, 0},
          {"IVA", 'N', 12, 2},
          {"PORCHOSPE", 'N', 2, 0},
          {"HOSPEDAJE", 'N', 12, 2},
          {"PORCDESC", 'N', 6, 2},
          {"DESCTO", 'N', 12, 2},
          {"IMPORTE", 'N', 12, 2}},
         {{"numero", "numero"}}},
        {"pos_fac", {{"RENGLON", 'N', 5, 2}, {"COLUMNA", 'N', 5, 2}, {"IMPRIMIR", 'L', 1, 0}}, {}},
    };
    return kTables;
}

const TableSpec& occasionalTable() {
    static const TableSpec kOcas = {"fac_ocas",
                                    {{"NUMERO", 'C', 10, 0},
                                     {"NOMBRE", 'C', 100, 0},
                                     {"DOMICILIO", 'C', 100, 0},
                                     {"CIUDAD_EDO", 'C', 50, 0},
                                     {"CP", 'C', 5, 0},
                                     {"TELEFONOS", 'C', 50, 0},
                                     {"RFC", 'C', 14, 0}},
                                    {{"numero", "numero"}}};
    return kOcas;
}

const TableSpec& configTable() {
    static const TableSpec kCfg = {
        "cfg", {{"VARIABLE", 'C', 20, 0}, {"TIPO", 'C', 1, 0}, {"VALOR", 'C', 60, 0}},
        {{"VARIABLE", "VARIABLE"}}};
    return kCfg;
}

const TableSpec* tableSpec(const std::string& name) {
    for (const TableSpec& t : applicationTables())
        if (t.name == name) return &t;
    return name == "cfg" ? &configTable() : nullptr;
}

// Starting positions for a common letter-size invoice form (21.59 x 27.94 cm): the heading in
// the upper third, the lines from 9 cm down, the totals near the foot.
const std::vector<PrintPosition>& defaultPrintPositions() {
    static const std::vector<PrintPosition> kPositions = {
        {3.00, 16.00, true},   // 1 invoice number
        {3.70, 16.00, true},   // 2 date
        {5.00, 3.00, true},    // 3 customer name
        {5.60, 3.00, true},    // 4 address
        {6.20, 3.00, true},    // 5 city and state
        {6.20, 14.00, true},   // 6 postal code
        {6.80, 3.00, true},    // 7 telephone
        {6.80, 14.00, true},   // 8 tax code
        {4.40, 16.00, true},   // 9 room
        {7.40, 3.00, true},    // 10 first comment
        {7.90, 3.00, true},    // 11 second comment
        {9.00, 0.00, true},    // 12 row above the first line
        {0.00, 3.50, true},    // 13 line description
        {0.00, 1.50, true},    // 14 quantity
        {0.00, 12.50, true},   // 15 unit price
        {0.00, 15.00, true},   // 16 discount
        {0.00, 17.50, true},   // 17 line amount
        {21.50, 1.50, true},   // 18 total in words
        {22.50, 17.50, true},  // 19 subtotal
        {23.10, 17.50, true},  // 20 I.V.A.
        {23.70, 17.50, true},  // 21 lodging tax
        {24.30, 17.50, true},  // 22 total
        {4.40, 12.00, true},   // 23 guests
    };
    return kPositions;
}

std::string incDb(const std::string& cAlias) {
    WorkArea* a = workspace().area(cAlias);
    if (!a) return "";
    workspace().select(cAlias);
    size_t width = a->table().field(0).len;
    a->setOrder(1);
    a->goBottom();
    double next = val(a->table().get(size_t(0)).text()) + 1;
    std::string digits = str(next, int(width), 0);
    for (char& c : digits)
        if (c == ' ') c = '0';
    return digits;  // asterisks when the next code no longer fits the field
}

bool validDb(const std::string& cAlias, const std::string& cCode, int nModo) {
    WorkArea* a = workspace().area(cAlias);
    if (!a) return false;
    uint32_t rec = a->recNo();
    if (nModo == 1 && a->controllingTag() && a->seek(Value(cCode), false)) {
        msgStop("Imposible duplicar codigo, verifique o cambie...", oApp().cEmpresa);
        return false;
    }
    if (nModo != 1) a->goTo(rec);
    return true;
}

bool existeCampo(const std::string& cCampo) {
    WorkArea* a = workspace().area();
    return a && a->table().fieldIndex(cCampo) >= 0;
}

// ---------------------------------------------------------------------------------------------
// A new installation

namespace {

struct DemoCustomer {
    const char *id, *nombre, *domicilio, *ciudad, *cp, *telefonos, *rfc;
};
const DemoCustomer kCustomers[] = {
    {"0001", "Público en General", "Conocido", "Mérida, Yucatán", "97000", "", "XAXX010101000"},
    {"0002", "Comercializadora del Sureste, S.A. de C.V.", "Calle 60 No. 455 x 51 y 53, Centro",
     "Mérida, Yucatán", "97000", "999 923 1145", "CSU950317AB2"},
    {"0003", "María Fernanda López Ortega", "Av. Reforma 1280, Col. Juárez",
     "Cuauhtémoc, Ciudad de México", "06600", "55 5525 8890", "LOOM820914QW3"},
    {"0004", "Transportes Peninsulares, S.A.", "Carretera Mérida-Progreso Km 8.5",
     "Mérida, Yucatán", "97302", "999 946 0021", "TPE010625K41"},
    {"0005", "José Luis Hernández Pech", "Calle 10 No. 214, Col. Centro",
     "Valladolid, Yucatán", "97780", "985 856 3310", "HEPL760203MN8"},
    {"0006", "Grupo Hotelero Maya, S. de R.L.", "Blvd. Kukulcán Km 9.5, Zona Hotelera",
     "Cancún, Quintana Roo", "77500", "998 883 4400", "GHM080811RT5"},
    {"0007", "Ana Sofía Ramírez Cruz", "Privada Los Pinos 37, Fracc. Campestre",
     "Campeche, Campeche", "24030", "981 811 2209", "RACA900521HJ6"},
    {"0008", "Consultores Asociados del Golfo, S.C.", "Av. Ruiz Cortines 1702, Piso 3",
     "Boca del Río, Veracruz", "94299", "229 921 7788", "CAG120430UV9"},
    {"0009", "Ricardo Ávila Montejo", "Calle 21 No. 98-A, Col. Itzimná", "Mérida, Yucatán",
     "97100", "999 927 6645", "AIMR850117PL2"},
    {"0010", "Distribuidora Chetumal, S.A. de C.V.", "Av. Héroes 330, Centro",
     "Chetumal, Quintana Roo", "77000", "983 832 5501", "DCH990909EE4"},
    {"0011", "Laura Patricia Canché Uc", "Calle 33 No. 512, Col. García Ginerés",
     "Mérida, Yucatán", "97070", "999 925 1290", "CAUL880402TS1"},
    {"0012", "Universidad del Mayab, A.C.", "Carretera Mérida-Progreso Km 15.5",
     "Mérida, Yucatán", "97310", "999 942 4800", "UMA840101ZZ7"},
};

struct DemoArticle {
    const char* id;
    const char* nombre;
    double precio;
    int iva, hospedaje;
    const char* concepto;
};
const DemoArticle kArticles[] = {
    {"000001", "Habitación sencilla (noche)", 850.00, 16, 3, "0001"},
    {"000002", "Habitación doble (noche)", 1150.00, 16, 3, "0001"},
    {"000003", "Suite junior (noche)", 1790.00, 16, 3, "0001"},
    {"000004", "Persona adicional (noche)", 250.00, 16, 3, "0001"},
    {"000005", "Desayuno buffet", 165.00, 16, 0, "0002"},
    {"000006", "Servicio de lavandería (pieza)", 35.00, 16, 0, "0003"},
    {"000007", "Estacionamiento (día)", 60.00, 16, 0, "0003"},
    {"000008", "Traslado al aeropuerto", 420.00, 16, 0, "0004"},
    {"000009", "Llamada de larga distancia (minuto)", 8.50, 16, 0, "0003"},
    {"000010", "Propina sugerida", 50.00, 0, 0, "0003"},
};

const char* kConcepts[][2] = {
    {"0001", "Hospedaje"},
    {"0002", "Alimentos y bebidas"},
    {"0003", "Servicios adicionales"},
    {"0004", "Transportación"},
};

std::string joinPath(const std::string& a, const std::string& b) {
    return a.empty() || a.back() == '/' ? a + b : a + "/" + b;
}

}  // namespace

bool createTable(const std::string& path, const TableSpec& layout, std::string* error,
                 const std::function<void(DbfTable&)>& fill) {
    {
        auto t = DbfTable::create(path, layout.fields);
        if (!t) {
            *error = "cannot create " + path;
            return false;
        }
        if (fill) fill(*t);
        if (!t->close()) {
            *error = "cannot write " + path;
            return false;
        }
    }
    if (layout.tags.empty()) return true;
    auto a = WorkArea::open(path, "", false, false);
    if (!a) {
        *error = "cannot open " + path;
        return false;
    }
    for (const TagSpec& tag : layout.tags)
        if (!a->createTag({tag.name, tag.key, "", false, false, false})) {
            *error = "cannot index " + path + " on " + tag.key;
            return false;
        }
    return true;
}

bool initInstallation(const std::string& dir, bool demo, std::string* error) {
    std::string datos = joinPath(dir, "datos"), config = joinPath(dir, "config");
    std::vector<std::string> paths;
    for (const TableSpec& t : applicationTables()) paths.push_back(joinPath(datos, t.name + ".dbf"));
    paths.push_back(joinPath(config, "cfg.dbf"));
    for (const std::string& p : paths)
        if (os::fileExists(p)) {
            *error = p + " exists already; nothing was changed";
            return false;
        }
    std::error_code ec;
    std::filesystem::create_directories(datos, ec);
    std::filesystem::create_directories(config, ec);
    if (ec) {
        *error = "cannot create " + datos + ": " + ec.message();
        return false;
    }

    for (const TableSpec& layout : applicationTables()) {
        std::function<void(DbfTable&)> fill;
        if (layout.name == "pos_fac") {
            fill = [](DbfTable& t) {
                for (const PrintPosition& p : defaultPrintPositions()) {
                    t.append();
                    t.put("RENGLON", Value::number(p.renglon, 5, 2));
                    t.put("COLUMNA", Value::number(p.columna, 5, 2));
                    t.put("IMPRIMIR", Value(p.imprimir));
                }
            };
        } else if (demo && layout.name == "cliente") {
            fill = [](DbfTable& t) {
                for (const DemoCustomer& c : kCustomers) {
                    t.append();
                    t.put("ID", Value(c.id));
                    t.put("NOMBRE", Value(c.nombre));
                    t.put("DOMICILIO", Value(c.domicilio));
                    t.put("CIUDAD_EDO", Value(c.ciudad));
                    t.put("CP", Value(c.cp));
                    t.put("PAIS", Value("México"));
                    t.put("TELEFONOS", Value(c.telefonos));
                    t.put("RFC", Value(c.rfc));
                }
            };
        } else if (demo && layout.name == "articulo") {
            fill = [](DbfTable& t) {
                for (const DemoArticle& a : kArticles) {
                    t.append();
                    t.put("ID", Value(a.id));
                    t.put("NOMBRE", Value(a.nombre));
                    t.put("PRECIO", Value::number(a.precio, 12, 2));
                    t.put("IVA", Value::number(a.iva, 2, 0));
                    t.put("HOSPEDAJE", Value::number(a.hospedaje, 2, 0));
                    t.put("IDCONCFACT", Value(a.concepto));
                }
            };
        } else if (demo && layout.name == "concfac") {
            fill = [](DbfTable& t) {
                for (const auto& c : kConcepts) {
                    t.append();
                    t.put("ID", Value(c[0]));
                    t.put("NOMBRE", Value(c[1]));
                }
            };
        }
        if (!createTable(joinPath(datos, layout.name + ".dbf"), layout, error, fill)) return false;
    }
    if (!createTable(joinPath(datos, occasionalTable().name + ".dbf"), occasionalTable(), error))
        return false;
    return createTable(joinPath(config, "cfg.dbf"), configTable(), error);
}

}  // namespace wv
