// The program's printer on a PDF file standing in for the printer, at 200 dots per inch with
// quarter-inch margins: the job routines and the current job, the beep for a model that names no
// printer, and where the toolkit's ink (and LINBOX's frame) lands on a recorded page drawn at one
// image pixel per printer pixel (so a position in centimetres from the sheet's corner is
// cm / 2.54 * 200).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

#include "print/impresion_qt.h"
#include "runtime/operator.h"
#include "tests/test_support.h"
#include "tests/ui_fixture.h"
#include "ui/preview.h"
#include "ui/report.h"

namespace wv {
namespace {

using test::eachPixel;
using test::inkBox;

namespace fs = std::filesystem;

constexpr int kDpi = 200;
double px(double cm) {
    return cm / 2.54 * kDpi;
}
int ipx(double cm) {
    return int(std::lround(px(cm)));
}

// How many pixels of the area are of a kind.
int count(const QImage& img, const QRect& area, bool (*kind)(QRgb)) {
    int n = 0;
    eachPixel(img, area, [&](int, int, QRgb c) { n += kind(c); });
    return n;
}
// The ink of a band `rows` pixels high from a row, between two columns (cm).
QRect ink(const QImage& img, double rowCm, double fromCm, double toCm, int rows) {
    return inkBox(img, QRect(ipx(fromCm), ipx(rowCm), ipx(toCm) - ipx(fromCm), rows));
}
const QRgb kAmarillo = qRgb(255, 255, 0);

class ImpresionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ensureApp();
        scope.emplace(op);
        fs::create_directories(dir.file("tmp"));
        fs::create_directories(dir.file("bitmaps"));
        QImage logo(8, 8, QImage::Format_RGB32);
        logo.fill(kAmarillo);  // light: it is not taken for ink
        ASSERT_TRUE(logo.save(QString::fromStdString(dir.file("bitmaps/logo_impresion.bmp"))));
        prevPdf = TPrinter::setPdfDevice(PdfDevice{dir.file("out.pdf"), QPageSize::Letter,
                                                   QMarginsF(6.35, 6.35, 6.35, 6.35), kDpi});
        prevCwd = fs::current_path();
        ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    }
    void TearDown() override {
        if (myPrintJob()) myPrintJob()->end();
        (void)myPrintEnd();
        TPrinter::setPdfDevice(prevPdf);
        (void)!::chdir(prevCwd.c_str());
    }
    // A preview job with the toolkit's fonts, its first page started.
    TCustomImpresion& job() {
        TCustomImpresion* prn = myPrintBegin("Reporte", false, true);
        prn->fGeneral = TPrinter::font("Arial", 0, -10);
        prn->fTitulo = TPrinter::font("Arial", 0, -14, true);
        prn->fBold = TPrinter::font("Arial", 0, -10, true);
        myPageBegin();
        return *prn;
    }
    static QImage page(const TCustomImpresion& prn, size_t n) {
        return renderPage(loadPage(prn.aMeta().at(n)), prn.sheet(), 1.0);
    }
    int beeps() const {
        return int(std::count_if(op.shown.begin(), op.shown.end(),
                                 [](const auto& s) { return s.what == "beep"; }));
    }

    test::TempDir dir;
    test::EnvVar temp{"TEMP", dir.file("tmp")};
    ScriptedOperator op;
    std::optional<ScriptedOperator::Scope> scope;
    std::optional<PdfDevice> prevPdf;
    fs::path prevCwd;
};

TEST_F(ImpresionTest, JobRoutinesKeepOneCurrentJob) {
    myPageBegin();  // no job: nothing happens
    myPageEnd();
    EXPECT_EQ(myPrintEnd(), nullptr);

    TCustomImpresion* direct = myPrintBegin("Listado", false, false);
    EXPECT_EQ(myPrintJob(), direct);
    for (int n = 0; n < 2; ++n) {
        myPageBegin();
        direct->cmSay(2, 2, "Pagina");
        myPageEnd();
    }
    EXPECT_EQ(myPrintEnd(), nullptr);
    EXPECT_EQ(myPrintJob(), nullptr);
    EXPECT_EQ(test::pdfPages(dir.file("out.pdf")), 2) << "a direct job is sent at the end";

    myPrintBegin("Primero", false, true);
    myPageBegin();
    myPageEnd();
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("tmp")), {}), 1);
    myPrintBegin("Segundo", false, true);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("tmp")), {}), 0)
        << "a new job ends the one still current";
    myPageBegin();
    myPageEnd();
    std::unique_ptr<TPreview> window(myPrintEnd());
    ASSERT_NE(window, nullptr) << "a preview that is not modal stays open";
    EXPECT_EQ(window->pageCount(), 1);
    EXPECT_EQ(myPrintJob(), nullptr);

    TCustomImpresion* modal = myPrintBegin("Modal", false, true, Value(), true);
    myPageBegin();
    modal->cmSay(2, 2, "Factura");
    int shownPages = 0;
    test::whenModal([&](QWidget* w) { shownPages = static_cast<TPreview*>(w)->pageCount(); });
    EXPECT_EQ(myPrintEnd(), nullptr) << "a modal preview is over when it returns";
    EXPECT_EQ(shownPages, 1);
    EXPECT_EQ(beeps(), 0);
}

TEST_F(ImpresionTest, AModelThatNamesNoPrinterBeeps) {
    for (const Value& none : {Value("zz-no-existe-zz"), Value::number(-1)}) {
        TCustomImpresion* prn = myPrintBegin("Listado", false, true, none);
        EXPECT_TRUE(prn->hDC()) << "the job goes on with the printer chosen";
    }
    EXPECT_EQ(beeps(), 2);
}

TEST_F(ImpresionTest, HeaderAndFooterLandOnThePageFrame) {
    TCustomImpresion& prn = job();
    prn.fImprEncabezado("Listado de Clientes", "Todos", std::string("Hotel Prueba"));
    prn.fImprPiePagina();
    myPageEnd();
    const QImage img = page(prn, 0);

    // The frame 0.9 cm from the sheet's left and top, to 20.39 and 27.04 cm.
    EXPECT_NEAR(ink(img, 10, 0.5, 1.5, 10).left(), px(0.9), 1.5);
    EXPECT_NEAR(ink(img, 10, 20, 21, 10).left(), px(20.39), 1.5);
    EXPECT_NEAR(ink(img, 0.5, 15, 15.1, ipx(1)).top(), px(0.9), 1.5);
    EXPECT_NEAR(ink(img, 26.8, 15, 15.1, ipx(1)).top(), px(27.04), 1.5);
    EXPECT_NEAR(ink(img, 2.4, 12, 12.1, ipx(0.4)).top(), px(2.6), 1.5) << "the line under titles";
    EXPECT_EQ(img.pixel(ipx(0.635) + 100 + 350, ipx(0.635) + 50 + 350), kAmarillo)
        << "the logo, 400 pixels square at (50, 100) of the printable area";

    const QRect company = ink(img, 1.0, 5, 14, ipx(0.5));
    EXPECT_NEAR((company.left() + company.right()) / 2.0, px(10.5), 3) << "centred on 10.5 cm";
    EXPECT_GE(company.top(), px(1.0));
    const QRect title = ink(img, 1.6, 5, 14, ipx(0.6));
    EXPECT_NEAR((title.left() + title.right()) / 2.0, px(10.5), 3);
    EXPECT_GT(count(img, company, [](QRgb c) { return c == qRgb(128, 0, 0); }), 50) << "dark red";
    EXPECT_GT(count(img, title, [](QRgb c) { return c == qRgb(128, 0, 0); }), 50);
    const QRect date = ink(img, 1.0, 14, 20.2, ipx(0.45));
    const QRect pagina = ink(img, 1.5, 14, 20.2, ipx(0.45));
    EXPECT_NEAR(date.right(), px(20.0), 3) << "ends at 20 cm";
    EXPECT_NEAR(pagina.right(), px(20.0), 3);
    EXPECT_NEAR(ink(img, 1.5, 0.95, 3, ipx(0.45)).left(), px(1.0), 3) << "the time";
    const QRect subtitle = ink(img, 2.3, 5, 16, ipx(0.25));
    EXPECT_GT(count(img, subtitle, [](QRgb c) { return c == qRgb(128, 128, 128); }), 20);

    // The footer below its line at 26.5 cm; nothing between the header and it.
    EXPECT_NEAR(ink(img, 26.2, 15, 15.1, ipx(0.4)).top(), px(26.5), 1.5);
    EXPECT_NEAR(ink(img, 26.55, 0.95, 5, ipx(0.4)).left(), px(1.0), 3);
    const QRect centre = ink(img, 26.55, 7, 14, ipx(0.4));
    EXPECT_NEAR((centre.left() + centre.right()) / 2.0, px(10.5), 3);
    EXPECT_NEAR(ink(img, 26.55, 15, 20.3, ipx(0.4)).right(), px(20.0), 3);
    EXPECT_TRUE(ink(img, 5.5, 1, 20.3, ipx(20.5)).isNull());
}

TEST_F(ImpresionTest, PageBreakAtTheLastRowStartsAPageWithItsHeader) {
    TCustomImpresion& prn = job();
    prn.nLinea = 26.59;
    EXPECT_FALSE(prn.fChecaLinea("Clientes", ""));
    EXPECT_EQ(prn.nPage, 1);
    EXPECT_DOUBLE_EQ(prn.nLinea, 26.59);
    prn.nLinea = 26.6;
    EXPECT_TRUE(prn.fChecaLinea("Clientes", ""));
    EXPECT_EQ(prn.nPage, 2);
    EXPECT_DOUBLE_EQ(prn.nLinea, 2.8);
    myPageEnd();
    ASSERT_EQ(prn.aMeta().size(), 2u);
    EXPECT_TRUE(ink(page(prn, 0), 0, 0, 21, ipx(27.9)).isNull()) << "no footer on the old page";
    const QImage second = page(prn, 1);
    EXPECT_FALSE(ink(second, 1.6, 5, 16, ipx(0.6)).isNull()) << "the title";
    EXPECT_TRUE(ink(second, 26.55, 7, 14, ipx(0.4)).isNull()) << "and no footer";
}

TEST_F(ImpresionTest, WrappedTextNumbersAndTheBitmapAtTheText) {
    TCustomImpresion& prn = job();
    const QFont f = TPrinter::font("Arial", 0, -8);
    const std::string logo = ".\\bitmaps\\logo_impresion.bmp";
    prn.bitmap(5.0, 3.0, 1.0, 1.0, logo);  // no text yet: at the row and column given
    // A column that holds "HHHH HHHH" less a little: three lines of one word.
    const double room = prn.getTextWidth("HHHH HHHH", &f) - 2;
    const double end = 2.0 + room * prn.nHorzSize() / (10 * prn.nHorzRes());
    EXPECT_EQ(prn.imprCadenaJust("HHHH HHHH HHHH", 10.0, 2.0, end, &f, 2), "HHHH");
    EXPECT_EQ(prn.imprCadenaJust("HH", 12.0, 2.0, end, &f), "");
    EXPECT_EQ(prn.imprCadenaJust("HH\xBBHH", 14.0, 2.0, end, &f), "");
    EXPECT_EQ(prn.xCor, prn.pixel(14.0, 2.0));
    EXPECT_EQ(prn.yCor, prn.pixel(14.0, end));
    prn.imprNumeros(Value::number(1234.5), "", "", "9,999.99", 16.0, 2.0, 8.0, &f);
    prn.centraCadenas(17.0, 2.0, 8.0, "HHHH", &f);
    prn.textoNumero(18.0, 2.0, 9.0, 12.0, "Total", Value::number(7), "999", &f, &f);
    prn.caja(20.0, 2.0, 21.0, 3.0, 1, nullptr, nullptr);  // no brush: no fill
    prn.imprCadenaJust("HH", 22.0, 4.0, 8.0, &f);
    prn.bitmap(0, 0, 1.0, 1.0, logo);  // where that text starts
    myPageEnd();
    const QImage img = page(prn, 0);

    EXPECT_EQ(img.pixel(ipx(3.0) + 70, ipx(5.0) + 70), kAmarillo) << "1 cm: 78 pixels";
    EXPECT_NE(img.pixel(ipx(3.0) + 85, ipx(5.0) + 70), kAmarillo);
    const QRect first = ink(img, 10.0, 1.9, 6, 22);
    const QRect second = ink(img, 10.0 + 22 / px(1), 1.9, 6, 24);
    EXPECT_NEAR(second.top() - first.top(), px(0.3), 1.0) << "the second line 0.3 cm lower";
    EXPECT_TRUE(ink(img, 10.0 + 46 / px(1), 1.9, 6, 24).isNull()) << "no third line";
    EXPECT_NEAR(ink(img, 12.0, 1.9, 6, 22).top() - px(12.0), first.top() - px(10.0), 1.0)
        << "a text that fits: at the row";
    const QRect forced = ink(img, 14.0, 1.9, 6, 22);
    EXPECT_LT(forced.width(), prn.getTextWidth("HH", &f)) << "the line end is not printed";
    EXPECT_FALSE(ink(img, 14.3, 1.9, 6, 22).isNull());
    EXPECT_EQ(img.pixel(ipx(4.0) + 20, ipx(22.0) + 20), kAmarillo);

    const QRect number = ink(img, 16.0, 1.9, 8.5, 22);
    EXPECT_LE(number.right(), px(8.0));
    EXPECT_GT(number.right(), px(8.0) - prn.getTextWidth(" ", &f) - 3) << "ends at the column";
    const QRect centred = ink(img, 17.0, 1.9, 8.5, 22);
    EXPECT_NEAR((centred.left() + centred.right()) / 2.0, px(5.0), prn.getTextWidth(" ", &f));
    EXPECT_NEAR(ink(img, 18.0, 1.9, 3, 22).left(), px(2.0), 3) << "the label";
    EXPECT_NEAR(ink(img, 18.2, 10.5, 10.6, 22).top(), px(18.3), 1.5) << "underlined";
    EXPECT_TRUE(ink(img, 20.2, 2.2, 2.8, 40).isNull());
}

TEST_F(ImpresionTest, BoxesByType) {
    TCustomImpresion& prn = job();
    prn.oBrush = QBrush(QColor(128, 128, 128));
    const QPen thick(Qt::black, 8);
    for (int type = 0; type <= 5; ++type)
        prn.caja(3.0 * type + 2, 2.0, 3.0 * type + 4, 6.0, type, nullptr, &thick);
    EXPECT_FALSE(roundRect(nullptr, 0, 0, 10, 10, 70, 70));
    myPageEnd();
    const QImage img = page(prn, 0);
    const QRgb grey = qRgb(128, 128, 128), white = qRgb(255, 255, 255);
    auto at = [&](int type, double down, double across) {
        return img.pixel(ipx(2.0 + across), ipx(3.0 * type + 2 + down));
    };
    // Rounded: the edges are drawn, the corner is cut off.
    EXPECT_FALSE(ink(img, 2.0, 3.9, 4.1, 4).isNull());
    EXPECT_TRUE(ink(img, 2.0, 2.0, 2.1, 8).isNull()) << "rounded corner";
    EXPECT_EQ(at(0, 1, 2), white);
    // Filled: the brush and no frame.
    EXPECT_EQ(at(1, 1, 2), grey);
    EXPECT_EQ(at(1, 0.02, 2), grey);
    // Framed with the pen given; framed and filled.
    EXPECT_EQ(at(2, 1, 2), white);
    EXPECT_EQ(qGray(at(2, 0, 2)), 0);
    EXPECT_EQ(at(3, 1, 2), grey);
    EXPECT_EQ(qGray(img.pixel(ipx(4.0), ipx(11.0) - 3)), 0) << "the frame's outer half";
    EXPECT_EQ(img.pixel(ipx(4.0), ipx(11.0) + 3), grey) << "the fill over its inner half";
    // Double: two thin frames 0.05 cm apart (oPen unset: thin), nothing between them.
    std::vector<int> starts;
    bool inRun = false;
    for (int y = ipx(13.9); y <= ipx(14.2); ++y) {
        const bool dark = qGray(img.pixel(ipx(4.0), y)) < 160;
        if (dark && !inRun) starts.push_back(y);
        inRun = dark;
    }
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_NEAR(starts[1] - starts[0], px(0.05), 1.0);
    EXPECT_EQ(at(4, 1, 2), white);
    EXPECT_TRUE(ink(img, 16.9, 1.9, 6.1, ipx(2.2)).isNull()) << "an unknown type draws nothing";
}

TEST_F(ImpresionTest, LinBoxFramesTheSheetATenthOfAnInchIn) {
    TPrinter prn("Marco", false, true);
    TReport rpt(prn);
    rpt.bEndPage = linBox;
    ASSERT_EQ(rpt.print(), 1);
    const QImage img = renderPage(loadPage(prn.aMeta().at(0)), prn.sheet(), 1.0);
    // An empty report draws nothing else: the ink is the frame, measured from the sheet's edge
    // (outside the quarter-inch printable margin) and empty inside.
    const QRect frame = inkBox(img, img.rect());
    const int in = kDpi / 10;
    EXPECT_NEAR(frame.left(), in, 1);
    EXPECT_NEAR(frame.top(), in, 1);
    EXPECT_NEAR(frame.right(), img.width() - in, 1);
    EXPECT_NEAR(frame.bottom(), img.height() - in, 1);
    EXPECT_TRUE(inkBox(img, frame.adjusted(3, 3, -3, -3)).isNull()) << "one thin line";
}

}  // namespace
}  // namespace wv
