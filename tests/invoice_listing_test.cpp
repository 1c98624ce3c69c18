// The listing of invoices issued in a range, without its screen: the rows of the range through
// the date tag and only those (across a year's end, none at all, a deleted one, one stored by
// another station meanwhile), the names of catalogue and occasional customers, the cancelled
// invoices counted apart from the sums, the CSV file read back by Python's csv module, and the
// records a month of a large table brings in.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "data/tables.h"
#include "data/workarea.h"
#include "invoice/listing.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/numtext.h"
#include "tests/data_fixture.h"

namespace wv {
namespace {

struct Inv {
    const char* numero;
    Date fecha;
    const char* cliente;
    double subtotal;
    bool cancelada = false;
};

void put(WorkArea& a, const Inv& f) {
    ASSERT_TRUE(a.table().append());
    a.put("NUMERO", Value(std::string(f.numero)));
    a.put("FECHA", Value(f.fecha));
    a.put("IDCLIENTE", Value(std::string(f.cliente)));
    a.put("SUBTOTAL", Value::number(f.subtotal, 12, 2));
    a.put("IVA", Value::number(roundTo(f.subtotal * 0.16, 2), 12, 2));
    a.put("HOSPEDAJE", Value::number(roundTo(f.subtotal * 0.03, 2), 12, 2));
    a.put("TOTAL", Value::number(roundTo(f.subtotal * 1.19, 2), 12, 2));
    a.put("HABITACION", Value(std::string("0101")));
    a.put("PERSONAS", Value::number(2, 3, 0));
    a.put("CANCE", Value(f.cancelada));
    a.table().flush();
}

Date d(int y, int m, int dd) { return dateFromYmd(y, m, dd); }

std::vector<std::string> numbers(const ListadoFacturas& l) {
    std::vector<std::string> out;
    for (const FacturaExpedida& f : l.rows()) out.push_back(f.numero);
    return out;
}

// A program's full path from PATH; "" when it is not there.
std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    for (size_t at = 0; at <= dirs.size();) {
        size_t end = dirs.find(':', at);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(at, end - at) + "/" + name;
        if (end > at && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return "";
}

class ListingTest : public test::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        std::string error;
        ASSERT_TRUE(createTable(path("datos/fac_ocas.dbf"), occasionalTable(), &error)) << error;
        withTable("datos/cliente.dbf", [](WorkArea& a) {
            addRow(a, {{"ID", Value("0001")}, {"NOMBRE", Value("HOTELERA DEL SUR SA")}});
            addRow(a, {{"ID", Value("0002")}, {"NOMBRE", Value("AGENCIA NORTE")}});
        });
        withTable("datos/fac_ocas.dbf", [](WorkArea& a) {
            // The billing data of an occasional customer, with a comma, quotes and an accent.
            addRow(a, {{"NUMERO", Value("0000000044")},
                       {"NOMBRE", Value(fromUtf8("PÉREZ, JOSÉ \"EL PEPE\""))}});
        });
        withTable("datos/facturas.dbf", [](WorkArea& a) {
            // Stored out of number order within a date, and across a year's end.
            put(a, {"0000000043", d(2024, 12, 31), "0002", 300});
            put(a, {"0000000041", d(2024, 12, 30), "0001", 100});
            put(a, {"0000000042", d(2024, 12, 31), "0001", 200, true});
            put(a, {"0000000044", d(2025, 1, 2), "9999", 400});
            put(a, {"0000000045", d(2025, 1, 3), "0007", 500});
            put(a, {"0000000040", d(2024, 12, 27), "0001", 50});
            put(a, {"0000000046", d(2025, 1, 2), "0001", 999});
            a.table().deleteRecord();  // a deleted invoice is not listed
            a.table().flush();
        });
    }
};

TEST_F(ListingTest, RangeAcrossTheYearsEndInDateThenNumberOrder) {
    ListadoFacturas l(d(2024, 12, 28), d(2025, 1, 2));
    ASSERT_TRUE(l.open());
    ASSERT_TRUE(l.read());
    EXPECT_EQ(numbers(l), (std::vector<std::string>{"0000000041", "0000000042", "0000000043",
                                                   "0000000044"}));
    EXPECT_EQ(l.titulo(), "Facturas Expedidas del 28/12/24 al 02/01/25");
    EXPECT_EQ(l.rows()[0].nombre, "HOTELERA DEL SUR SA");
    EXPECT_EQ(l.rows()[2].nombre, "AGENCIA NORTE");
    EXPECT_EQ(toUtf8(l.rows()[3].nombre), "PÉREZ, JOSÉ \"EL PEPE\"") << "kept with the invoice";
    EXPECT_EQ(l.rows()[3].idCliente, "9999");

    // The dates given the other way round are the same range.
    ListadoFacturas back(d(2025, 1, 2), d(2024, 12, 28));
    ASSERT_TRUE(back.open());
    ASSERT_TRUE(back.read());
    EXPECT_EQ(numbers(back), numbers(l));

    // Searching by number: as stored, or as typed short.
    EXPECT_EQ(l.find("0000000043"), 2);
    EXPECT_EQ(l.find("43"), 2);
    EXPECT_EQ(l.find("000000004"), 0);
    EXPECT_EQ(l.find("45"), -1) << "outside the range";
    EXPECT_EQ(l.find("  "), -1);

    // An invoice another station stores meanwhile shows at the next read.
    {
        auto other = WorkArea::open(path("datos/facturas.dbf"), "", true, false);
        ASSERT_TRUE(other);
        put(*other, {"0000000047", d(2024, 12, 29), "0002", 70});
        other->table().unlockAll();
    }
    ASSERT_TRUE(l.read());
    EXPECT_EQ(numbers(l), (std::vector<std::string>{"0000000047", "0000000041", "0000000042",
                                                   "0000000043", "0000000044"}));
}

TEST_F(ListingTest, EmptyRangeHasNoRowsAndZeroTotals) {
    for (auto [a, b] : {std::pair{d(2024, 6, 1), d(2024, 6, 30)},
                        std::pair{d(2030, 1, 1), d(2030, 1, 31)},
                        std::pair{d(2024, 12, 28), d(2024, 12, 29)}}) {
        ListadoFacturas l(a, b);
        ASSERT_TRUE(l.open());
        ASSERT_TRUE(l.read());
        EXPECT_TRUE(l.rows().empty()) << dtos(a);
        EXPECT_EQ(l.totales().facturas, 0);
        EXPECT_EQ(l.totales().total, 0);
    }
    EXPECT_EQ(csvListado({}),
              "Numero,Fecha,Cliente,Nombre,Habitacion,Personas,Subtotal,IVA,Hospedaje,Total,"
              "Cancelada\r\n");
}

TEST_F(ListingTest, CancelledInvoicesAreCountedApartFromTheSums) {
    ListadoFacturas l(d(2024, 12, 1), d(2025, 1, 31));
    ASSERT_TRUE(l.open());
    ASSERT_TRUE(l.read());
    const TotalesListado& t = l.totales();
    EXPECT_EQ(t.facturas, 6);
    EXPECT_EQ(t.canceladas, 1);
    // 50 + 100 + 300 + 400 + 500; the 200 of 0000000042 left out.
    EXPECT_DOUBLE_EQ(t.subtotal, 1350);
    EXPECT_DOUBLE_EQ(t.iva, 216);
    EXPECT_DOUBLE_EQ(t.hospedaje, 40.5);
    EXPECT_DOUBLE_EQ(t.total, 1606.5);
    EXPECT_EQ(l.rows()[l.find("45")].nombre, "") << "a code the catalogue does not have";
    EXPECT_EQ(textoCuenta(1234567), "1,234,567");
    EXPECT_EQ(textoImporte(t.total), "     1,606.50");
    EXPECT_EQ(textoImporte(12345678.9), "12,345,678.90");
}

TEST_F(ListingTest, CsvReadBackByPythonAddsUpToTheTotals) {
    ListadoFacturas l(d(2024, 12, 1), d(2025, 1, 31));
    ASSERT_TRUE(l.open());
    ASSERT_TRUE(l.read());
    const std::string file = path("listado.csv");
    test::writeBytes(file, csvListado(l.rows()));
    const char* script = R"(
import csv, sys
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    rows = list(csv.DictReader(f))
live = [r for r in rows if r['Cancelada'] == 'No']
print(len(rows), len(rows) - len(live))
for k in ('Subtotal', 'IVA', 'Hospedaje', 'Total'):
    assert all(len(r[k].split('.')[1]) == 2 for r in rows), k
    print('%.2f' % sum(float(r[k]) for r in live))
print(rows[0]['Fecha'], rows[-1]['Fecha'])
print([r['Nombre'] for r in rows if r['Cliente'] == '9999'][0])
)";
    const std::string python = onPath("python3");
    ASSERT_FALSE(python.empty()) << "python3 is not installed";
    const test::RunResult r = test::run({python, "-c", script, file});
    ASSERT_EQ(r.status, 0) << r.err;
    char sums[256];
    const TotalesListado& t = l.totales();
    std::snprintf(sums, sizeof sums, "6 1\n%.2f\n%.2f\n%.2f\n%.2f\n", t.subtotal, t.iva,
                  t.hospedaje, t.total);
    EXPECT_EQ(r.out, std::string(sums) + "2024-12-27 2025-01-03\nPÉREZ, JOSÉ \"EL PEPE\"\n");
}

// A month of ten years of invoices, 100,000 of them: the walk reads that month's records, a few
// more at most, never the table.
TEST(ListingReads, AMonthOfALargeTableReadsAboutThatMonth) {
    test::TempDir dir;
    const std::string dbf = dir.file("facturas.dbf");
    constexpr uint32_t kInvoices = 100000;
    const int32_t start = d(2015, 1, 1).jd, days = d(2025, 1, 1).jd - start;
    uint32_t expected = 0, cancelled = 0;
    std::string error;
    ASSERT_TRUE(createTable(dbf, *tableSpec("facturas"), &error, [&](DbfTable& table) {
        DbfTable* t = &table;
        for (uint32_t i = 1; i <= kInvoices; ++i) {
            // Mostly in date order, as a business stores them, with a few late ones.
            uint32_t k = i % 97 == 0 ? (i * 7919u) % kInvoices : i;
            const Date f{start + int32_t(uint64_t(k) * uint32_t(days) / kInvoices)};
            char num[16];
            std::snprintf(num, sizeof num, "%010u", i);
            t->append();
            t->put(0, Value(std::string(num)));
            t->put(1, Value(f));
            t->put(2, Value(std::string("0001")));
            t->put(4, Value::number(10, 12, 2));
            t->put(14, Value(i % 5 == 0));
            if (year(f) == 2020 && month(f) == 6) {
                ++expected;
                cancelled += i % 5 == 0;
            }
        }
    })) << error;
    ListadoFacturas l(d(2020, 6, 1), d(2020, 6, 30));
    ASSERT_TRUE(l.open(dir.path()));
    const uint64_t before = l.facturas()->table().recordsRead();
    ASSERT_TRUE(l.read());
    const uint64_t reads = l.facturas()->table().recordsRead() - before;
    ASSERT_GT(expected, 700u);
    EXPECT_EQ(l.rows().size(), expected);
    EXPECT_EQ(l.totales().canceladas, long(cancelled));
    EXPECT_DOUBLE_EQ(l.totales().subtotal, 10.0 * (expected - cancelled));
    EXPECT_GE(reads, expected);
    EXPECT_LE(reads, expected + 10) << "more than the month's records";
}

}  // namespace
}  // namespace wv
