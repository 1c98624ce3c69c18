// The listing of issued invoices on the screen: the title and footers, the cancelled rows'
// colour, the search by number, a double click opening the invoice and the listing read again
// after it, the CSV export, the report read back from its PDF with the totals after the rows,
// and the menu's entry asking for the range first.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <algorithm>
#include <sstream>

#include "data/tables.h"
#include "data/workarea.h"
#include "invoice/listing_qt.h"
#include "runtime/date.h"
#include "runtime/numtext.h"
#include "tests/data_fixture.h"
#include "tests/ui_fixture.h"
#include "ui/appui.h"
#include "ui/preview.h"
#include "ui/printer.h"

namespace wv {
namespace {

Date d(int y, int m, int dd) { return dateFromYmd(y, m, dd); }

void put(WorkArea& a, const char* numero, Date fecha, double subtotal, bool cancelada = false) {
    ASSERT_TRUE(a.table().append());
    a.put("NUMERO", Value(std::string(numero)));
    a.put("FECHA", Value(fecha));
    a.put("IDCLIENTE", Value(std::string("0001")));
    a.put("SUBTOTAL", Value::number(subtotal, 12, 2));
    a.put("IVA", Value::number(roundTo(subtotal * 0.16, 2), 12, 2));
    a.put("HOSPEDAJE", Value::number(roundTo(subtotal * 0.03, 2), 12, 2));
    a.put("TOTAL", Value::number(roundTo(subtotal * 1.19, 2), 12, 2));
    a.put("CANCE", Value(cancelada));
    a.table().flush();
}

class ListingScreenTest : public test::InstallationTest {
protected:
    void SetUp() override {
        test::ensureApp();
        oAppUi().createFonts();
        InstallationTest::SetUp();
        withTable("datos/cliente.dbf", [](WorkArea& a) {
            addRow(a, {{"ID", Value("0001")}, {"NOMBRE", Value("HOTELERA DEL SUR SA")}});
        });
        withTable("datos/facturas.dbf", [](WorkArea& a) {
            put(a, "0000000041", d(2024, 12, 30), 1000);
            put(a, "0000000042", d(2024, 12, 31), 2000, true);
            put(a, "0000000043", d(2025, 1, 1), 3000);
            put(a, "0000000044", d(2025, 1, 2), 4000);
            put(a, "0000000045", d(2025, 2, 1), 9000);
        });
        listado.emplace(d(2024, 12, 28), d(2025, 1, 2));
        ASSERT_TRUE(listado->open());
        ASSERT_TRUE(listado->read());
    }
    void TearDown() override {
        listado.reset();
        InstallationTest::TearDown();
    }
    std::optional<ListadoFacturas> listado;
};

TEST_F(ListingScreenTest, FootersColourSearchDoubleClickAndExport) {
    std::vector<std::string> opened;
    ListadoWindow w(*listado, [&](const std::string& n) {
        opened.push_back(n);
        // Meanwhile another station stores an invoice of the range.
        auto other = WorkArea::open(path("datos/facturas.dbf"), "", true, false);
        ASSERT_TRUE(other);
        put(*other, "0000000040", d(2024, 12, 29), 10);
        other->table().unlockAll();
    });
    const std::string csv = dir_.file("exportado.csv");
    w.chooseCsvFile = [&] { return csv; };
    test::whenModal([&](QWidget* win) {
        EXPECT_EQ(programText(win->windowTitle()),
                  "Facturas Expedidas del 28/12/24 al 02/01/25");
        EXPECT_EQ(w.brw->nLen, 4);
        EXPECT_EQ(w.brw->footers(),
                  (std::vector<std::string>{"        4", "", "", "Totales sin canceladas", "",
                                            "", "     8,000.00", "     1,280.00",
                                            "       240.00", "     9,520.00", "        1"}));
        // The cancelled invoice in its own colour, found by its number.
        for (char c : std::string("42")) w.brw->keyChar(c);
        EXPECT_EQ(w.current(), 1);
        EXPECT_EQ(w.cBusqueda, "42");
        const Colour cancelled = w.brw->bTextColor(1, 1, TWBrowse::kCellData);
        w.brw->keyDown(vk::kUp);
        EXPECT_EQ(w.current(), 0);
        EXPECT_EQ(w.brw->bTextColor(1, 1, TWBrowse::kCellData), kDefaultColour);
        EXPECT_NE(cancelled, kDefaultColour);
        for (char c : std::string("99")) w.brw->keyChar(c);  // not in the listing
        EXPECT_EQ(w.current(), 0);

        // A double click opens the highlighted invoice; back, the listing shows what was
        // stored meanwhile and stays on the invoice.
        w.brw->keyDown(vk::kDown);
        ASSERT_TRUE(w.brw->dblClick(w.brw->nRowPos, 5, 5, 0));
        EXPECT_EQ(opened, std::vector<std::string>{"0000000042"});
        EXPECT_EQ(w.brw->nLen, 5);
        EXPECT_EQ(listado->rows()[size_t(w.current())].numero, "0000000042");
        EXPECT_EQ(w.brw->footers()[0], "        5");

        EXPECT_TRUE(w.exportCsv());
        EXPECT_TRUE(win->isVisible()) << "the listing stays up";
        w.chooseCsvFile = [] { return std::string(); };
        EXPECT_FALSE(w.exportCsv()) << "no name, no file";
        w.dlg.end();
    });
    w.run();
    EXPECT_EQ(test::readBytes(csv), csvListado(listado->rows()));
    EXPECT_EQ(listado->rows().size(), 5u);
}

TEST_F(ListingScreenTest, ReportCarriesTheRangeAndTheTotalsAfterTheRows) {
    const std::string pdftotext = QStandardPaths::findExecutable("pdftotext").toStdString();
    if (pdftotext.empty()) GTEST_SKIP() << "pdftotext (package poppler-utils) is not installed";
    test::EnvVar temp{"TEMP", dir_.file("tmp")};
    std::filesystem::create_directories(dir_.file("tmp"));
    std::optional<PdfDevice> prev =
        TPrinter::setPdfDevice(PdfDevice{dir_.file("out.pdf"), QPageSize::Letter, {}, 300});
    const std::string saved = dir_.file("listado.pdf");
    ListadoWindow w(*listado, {});
    test::whenModal([&](QWidget* win) {
        test::whenModal(
            [&](QWidget* p) {
                auto* preview = dynamic_cast<TPreview*>(p);
                ASSERT_NE(preview, nullptr);
                EXPECT_TRUE(preview->savePdf(saved));
                preview->reject();
            },
            win);
        w.print();
        EXPECT_EQ(w.brw->nLen, 4) << "the totals' lines are the report's only";
        w.dlg.end();
    });
    w.run();
    TPrinter::setPdfDevice(prev);

    std::vector<std::string> text;
    std::istringstream in(test::run({pdftotext, "-layout", saved, "-"}).out);
    for (std::string l; std::getline(in, l);) {
        l.erase(std::unique(l.begin(), l.end(), [](char a, char b) { return a == ' ' && b == ' '; }),
                l.end());
        text.push_back(l);
    }
    auto line = [&](const std::string& what) {
        auto it = std::find_if(text.begin(), text.end(),
                               [&](const std::string& l) { return l.find(what) != l.npos; });
        EXPECT_NE(it, text.end()) << "not printed: " << what;
        return it - text.begin();
    };
    const auto title = line("Facturas Expedidas del 28/12/24 al 02/01/25");
    const auto last = line("0000000044");
    EXPECT_LT(title, line("0000000041"));
    const auto sums = line("Totales sin canceladas: 8,000.00 1,280.00 240.00 9,520.00");
    EXPECT_GT(sums, last);
    EXPECT_GT(line("Facturas: 4"), sums);
    EXPECT_GT(line("Canceladas: 1"), sums);
}

TEST_F(ListingScreenTest, TheMenusEntryAsksForTheRangeAndSalirShowsNothing) {
    int asked = 0;
    ListingRange prev = setListingRange([&]() -> std::optional<std::array<Date, 2>> {
        ++asked;
        return std::nullopt;
    });
    facturasExpedidas([](const std::string&) {});
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    setListingRange([&]() -> std::optional<std::array<Date, 2>> {
        ++asked;
        return std::array<Date, 2>{d(2025, 2, 1), d(2025, 2, 28)};
    });
    std::string shown;
    test::whenModal([&](QWidget* win) {
        shown = programText(win->windowTitle());
        QTest::keyClick(win, Qt::Key_Escape);
    });
    facturasExpedidas([](const std::string&) {});
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(shown, "Facturas Expedidas del 01/02/25 al 28/02/25");
    setListingRange(prev);
}

}  // namespace
}  // namespace wv
