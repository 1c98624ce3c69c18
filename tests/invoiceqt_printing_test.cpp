// The printed invoice as it comes out of the printer: the job run to its modal preview, printed
// from there on a PDF file standing in for the printer (quarter-inch unprintable margins, as a
// real printer has), and the words read back with their places by pdftotext -bbox. Every text
// must start at its position, measured from the sheet's corner, within half a millimetre.
#include <gtest/gtest.h>

#include <QAction>
#include <QPrinter>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <optional>
#include <regex>

#include "data/application.h"
#include "invoice/capture.h"
#include "invoice/printing_qt.h"
#include "print/impresion_qt.h"
#include "runtime/date.h"
#include "runtime/operator.h"
#include "tests/test_support.h"
#include "tests/ui_fixture.h"
#include "ui/preview.h"

namespace wv {
namespace {

constexpr double kTolerancia = 0.05;  // cm
constexpr double kPuntosPorCm = 72 / 2.54;

// A word of the printed page, its top-left corner in centimetres from the sheet's.
struct Palabra {
    std::string text;
    double row = 0;
    double col = 0;
    double width = 0;
};

struct Impreso {
    int pages = 0;
    int copies = 0;
    std::string document;
    std::vector<Palabra> words;
    double advance = 0;  // cm per character of the monospaced font

    // The text printed from (row, col), rebuilt character by character over `width` characters
    // with blanks where nothing is, trailing blanks dropped. A word off the character grid
    // shows as '?'.
    std::string at(double row, double col, size_t width, double* worst = nullptr) const {
        std::string line(width, ' ');
        for (const Palabra& w : words) {
            if (std::abs(w.row - row) > kTolerancia) continue;
            const double idx = std::round((w.col - col) / advance);
            if (idx < 0 || idx >= double(width)) continue;
            const double dx = std::abs(w.col - (col + idx * advance));
            const double dy = std::abs(w.row - row);
            if (worst) *worst = std::max({*worst, dx, dy});
            const std::string text = dx <= kTolerancia ? w.text : "?";
            line.replace(size_t(idx), std::min(text.size(), width - size_t(idx)), text);
        }
        return line.substr(0, line.find_last_not_of(' ') + 1);
    }
    // Whether anything is printed on a row.
    bool rowEmpty(double row) const {
        return std::none_of(words.begin(), words.end(),
                            [&](const Palabra& w) { return std::abs(w.row - row) < 0.15; });
    }
};

// Where each item goes: names and address on the left, the number and date on the right,
// the lines' columns, the totals down the right-hand side.
Posiciones forma() {
    Posiciones p;
    const double rc[][2] = {{0, 0},       {2.0, 15.5},  {2.6, 15.5},  {3.5, 2.0},  {4.0, 2.0},
                            {4.5, 2.0},   {4.5, 14.0},  {5.0, 2.0},   {5.0, 14.0}, {5.5, 2.0},
                            {6.0, 2.0},   {6.5, 2.0},   {9.5, 1.0},   {0, 1.0},    {0, 7.0},
                            {0, 9.0},     {0, 12.0},    {0, 15.0},    {20.0, 1.0}, {21.0, 15.0},
                            {21.5, 15.0}, {22.0, 15.0}, {22.5, 15.0}, {5.5, 14.0}};
    for (size_t n = 1; n <= kPositions; ++n) {
        p.p1[n] = rc[n][0];
        p.p2[n] = rc[n][1];
        p.p3[n] = true;
    }
    return p;
}

std::string held(const std::string& s, size_t width) {
    return s + std::string(width - s.size(), ' ');
}

LineaFactura linea(const std::string& articulo, double cant, double precio, double descto,
                   double importe) {
    LineaFactura l;
    l.cArticul = held(articulo, 40);
    l.nCant = cant;
    l.nPrecioU = precio;
    l.nDescto = descto;
    l.nImporte = importe;
    return l;
}

class ImprimeFacturaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext")).toStdString();
        if (pdftotext.empty())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed: the printed words "
                            "cannot be read back";
        test::ensureApp();
        scope.emplace(op);
        prevPdf = TPrinter::setPdfDevice(
            PdfDevice{out, QPageSize::Letter, QMarginsF(6.35, 6.35, 6.35, 6.35), 600});
        cap.pos = forma();
        Factura& f = cap.f;
        f.cNumFact = "A000001234";
        f.dFecha = dateFromYmd(2024, 3, 7);
        f.cNombre = held("HOTELERA LOS PINOS SA DE CV", 100);
        f.cDomicilio = held("AV JUAREZ 123 COL CENTRO", 100);
        f.cCiudadEdo = held("OAXACA, OAX.", 50);
        f.cCp = "68000";
        f.cTelefono = held("951-555-0101", 50);
        f.cRfc = held("HPI010203AB1", 14);
        f.cHabita = "0215";
        f.cComenta1 = held("ESTANCIA DEL 4 AL 7 DE MARZO", 50);
        f.cComenta2 = held("GRUPO CONGRESO", 50);
        f.nPersonas = 2;
        f.addLine(linea("HABITACION DOBLE", 3, 350.00, 0, 1050.00));
        f.addLine(linea("DESAYUNO BUFFET", 2, 85.50, 12.00, 159.00));
        f.addLine(linea("LAVANDERIA", 1, 25.56, 0, 25.56));
        f.nSubtot = 1034.12;
        f.nIva = 165.46;
        f.nHospe = 34.98;
        f.nTotal = 1234.56;
    }
    void TearDown() override {
        if (!pdftotext.empty()) TPrinter::setPdfDevice(prevPdf);
        oApp().nCopias = prevCopias;
    }

    // fImprimeFactura with the operator printing from the preview and closing it.
    Impreso imprime() {
        Impreso r;
        bool shown = false;
        test::whenModal([&](QWidget* w) {
            auto* prv = dynamic_cast<TPreview*>(w);
            ASSERT_NE(prv, nullptr) << "the preview is modal";
            shown = true;
            r.pages = prv->pageCount();
            r.copies = prv->printer()->copyCount();
            prv->findChild<QAction*>(QStringLiteral("print"))->trigger();
            r.document = programText(prv->printer()->docName());
            prv->findChild<QAction*>(QStringLiteral("exit"))->trigger();
        });
        fImprimeFactura(cap);
        EXPECT_TRUE(shown);
        EXPECT_EQ(myPrintJob(), nullptr);
        if (r.pages > 0) {
            EXPECT_EQ(test::pdfPages(out), 1);
        }
        read(r);
        return r;
    }
    void read(Impreso& r) {
        const test::RunResult t = test::run({pdftotext, "-bbox", out, "-"});
        ASSERT_EQ(t.status, 0) << t.err;
        static const std::regex word(
            "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
            "yMax=\"[0-9.]+\">([^<]*)</word>");
        for (std::sregex_iterator i(t.out.begin(), t.out.end(), word), e; i != e; ++i) {
            const double x0 = std::stod((*i)[1]), x1 = std::stod((*i)[3]);
            r.words.push_back({(*i)[4], std::stod((*i)[2]) / kPuntosPorCm, x0 / kPuntosPorCm,
                               (x1 - x0) / kPuntosPorCm});
        }
        for (const Palabra& w : r.words)
            if (w.text.size() >= 8) {
                r.advance = w.width / double(w.text.size());
                break;
            }
    }

    std::string pdftotext;
    test::TempDir dir;
    test::EnvVar temp{"TEMP", dir.path()};
    std::string out = dir.file("factura.pdf");
    ScriptedOperator op;
    std::optional<ScriptedOperator::Scope> scope;
    std::optional<PdfDevice> prevPdf;
    double prevCopias = oApp().nCopias;
    CapturaFactura cap{1};
};

TEST_F(ImprimeFacturaTest, EveryItemStartsAtItsPosition) {
    oApp().nCopias = 2;
    const Impreso r = imprime();
    EXPECT_EQ(r.pages, 1);
    EXPECT_EQ(r.copies, 2);
    EXPECT_EQ(r.document, "Impresion de Facturas Cte.: HOTELERA LOS PINOS SA DE CV");
    ASSERT_GT(r.advance, 0.1) << "no words read";

    double worst = 0;
    auto at = [&](int n, size_t width) {
        return r.at(cap.pos.p1[size_t(n)], cap.pos.p2[size_t(n)], width, &worst);
    };
    EXPECT_EQ(at(1, 10), "A000001234");
    EXPECT_EQ(at(2, 10), dtoc(cap.f.dFecha));
    EXPECT_EQ(at(3, 40), "HOTELERA LOS PINOS SA DE CV");
    EXPECT_EQ(at(4, 40), "AV JUAREZ 123 COL CENTRO");
    EXPECT_EQ(at(5, 40), "OAXACA, OAX.");
    EXPECT_EQ(at(6, 10), "68000");
    EXPECT_EQ(at(7, 40), "951-555-0101");
    EXPECT_EQ(at(8, 14), "HPI010203AB1");
    EXPECT_EQ(at(9, 10), "0215");
    EXPECT_EQ(at(10, 40), "ESTANCIA DEL 4 AL 7 DE MARZO");
    EXPECT_EQ(at(11, 40), "GRUPO CONGRESO");
    EXPECT_EQ(at(23, 3), "  2");

    // The lines from 0.3 cm below the row of position 12, each 0.3 cm lower; nothing on that
    // row itself.
    EXPECT_TRUE(r.rowEmpty(9.5));
    const double rows[] = {9.80, 10.10, 10.40};
    const char* expected[][5] = {{"HABITACION DOBLE", "  3", "   350.00", "     0.00", " 1,050.00"},
                                 {"DESAYUNO BUFFET", "  2", "    85.50", "    12.00", "   159.00"},
                                 {"LAVANDERIA", "  1", "    25.56", "     0.00", "    25.56"}};
    const size_t widths[] = {25, 3, 9, 9, 9};
    for (size_t l = 0; l < 3; ++l)
        for (size_t c = 0; c < 5; ++c)
            EXPECT_EQ(r.at(rows[l], cap.pos.p2[13 + c], widths[c], &worst), expected[l][c])
                << "line " << l + 1 << ", position " << 13 + c;
    EXPECT_TRUE(r.rowEmpty(10.70));

    EXPECT_EQ(at(18, 70), "(UN MIL DOSCIENTOS TREINTA Y CUATRO PESOS  56/100 M.N.)");
    EXPECT_EQ(at(19, 12), "    1,034.12");
    EXPECT_EQ(at(20, 12), "      165.46");
    EXPECT_EQ(at(21, 12), "       34.98");
    EXPECT_EQ(at(22, 12), "    1,234.56");
    EXPECT_LE(worst, kTolerancia);
    std::printf("[ measured  ] largest deviation from a position: %.3f mm\n", worst * 10);

    size_t placed = 0;
    for (const Palabra& w : r.words) placed += w.row > 1.5 && w.row < 23;
    EXPECT_EQ(placed, r.words.size()) << "nothing printed outside the form's items";
}

TEST_F(ImprimeFacturaTest, EveryFlagOffGivesABlankPageAndOneCopyAtLeast) {
    cap.pos.p3.fill(false);
    oApp().nCopias = 0;
    const Impreso r = imprime();
    EXPECT_EQ(r.pages, 1);
    EXPECT_EQ(r.copies, 1);
    EXPECT_TRUE(r.words.empty()) << r.words.front().text;
}

// The occasional customer re-printed without a record of its own: the customer's fields are
// held blank and print nothing; an item switched off prints nothing while its neighbours do.
TEST_F(ImprimeFacturaTest, BlankCustomerAndItemsSwitchedOffLeaveTheirPlacesEmpty) {
    cap.f.blankCustomer();
    cap.pos.p3[15] = false;
    cap.pos.p3[20] = false;
    cap.pos.p3[2] = false;
    const Impreso r = imprime();
    EXPECT_EQ(r.document, "Impresion de Facturas Cte.: ");
    ASSERT_GT(r.advance, 0.1);
    for (double row : {3.5, 4.0, 4.5, 5.0}) EXPECT_TRUE(r.rowEmpty(row)) << row;
    EXPECT_TRUE(r.rowEmpty(cap.pos.p1[2])) << "the date";
    EXPECT_TRUE(r.rowEmpty(cap.pos.p1[20])) << "the taxes";
    EXPECT_EQ(r.at(2.0, 15.5, 10), "A000001234");
    EXPECT_EQ(r.at(5.5, 2.0, 10), "0215");
    EXPECT_EQ(r.at(9.80, 1.0, 25), "HABITACION DOBLE");
    EXPECT_EQ(r.at(9.80, 9.0, 9), "");
    EXPECT_EQ(r.at(9.80, 12.0, 9), "     0.00");
    EXPECT_EQ(r.at(22.5, 15.0, 12), "    1,234.56");
}

}  // namespace
}  // namespace wv
