// The printer object on a PDF file standing in for the printer, at 100 dots per inch with
// quarter-inch margins, so that a recorded page drawn at scale 1 shows each printer pixel as one
// image pixel: centimetres to pixels, where say() puts and clips its text, the other drawing
// calls, direct jobs, recordings for the preview and their failures, and no printer at all.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPrinterInfo>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "runtime/operator.h"
#include "tests/test_support.h"
#include "tests/ui_fixture.h"
#include "ui/preview.h"
#include "ui/printer.h"

namespace wv {
namespace {

namespace fs = std::filesystem;
using test::EnvVar;
using test::inkBox;
using test::pdfPages;


constexpr int kDpi = 100;
constexpr double kMargin = 6.35;  // a quarter of an inch: 25 pixels
constexpr int kOffset = 25;
const std::string kTail =
    "\r\n\r\nPlease check your free space on your hard drive \r\n"
    "and the amount of files handles available.";

class PrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApp();  // before the operator: the interface installs its own
        scope.emplace(op);
        fs::create_directories(recordings);
    }
    PdfDevice pdf() const {
        return {out, QPageSize::Letter, QMarginsF(kMargin, kMargin, kMargin, kMargin), kDpi};
    }
    int files() const { return int(std::distance(fs::directory_iterator(recordings), {})); }
    // The first recorded page on white paper; and the ink of a band of it `row` pixels down.
    static QImage page(const TPrinter& prn) {
        return renderPage(loadPage(prn.aMeta().at(0)), prn.sheet(), 1.0);
    }
    static QRect band(const QImage& img, int row) {
        return inkBox(img, QRect(0, row + kOffset, img.width(), 50));
    }

    test::TempDir dir;
    std::string out = dir.file("out.pdf");
    std::string recordings = dir.file("tmp");
    EnvVar temp{"TEMP", recordings};
    ScriptedOperator op;
    std::optional<ScriptedOperator::Scope> scope;
    const QFont big = TPrinter::font("Arial", 0, -20);
};

TEST_F(PrinterTest, CentimetresBecomePixelsOfThePrintableArea) {
    TPrinter prn(pdf(), "Factura", true);
    EXPECT_EQ(prn.nLogPixelY(), kDpi);
    EXPECT_EQ(std::make_pair(prn.nXOffset, prn.nYOffset), std::make_pair(25.0, 25.0));
    EXPECT_NEAR(prn.nVertSize(), 279.4 - 2 * kMargin, 1e-9);
    double row = 9.8, col = 12.25;
    const auto [r, c] = prn.cmtr2Pix(row, col);
    EXPECT_DOUBLE_EQ(r, 9.8 * 10 * prn.nVertRes() / prn.nVertSize() - prn.nYOffset);
    EXPECT_DOUBLE_EQ(c, 12.25 * 10 * prn.nHorzRes() / prn.nHorzSize() - prn.nXOffset);
    EXPECT_EQ(std::make_pair(row, col), std::make_pair(r, c)) << "the arguments are updated";
    row = col = 2.54;  // an inch from the sheet's corner
    prn.cmtr2Pix(row, col);
    EXPECT_NEAR(row, kDpi - kOffset, 1e-6);
    EXPECT_NEAR(col, kDpi - kOffset, 1e-6);
    // Inside the unprintable margin the position stops at the printable area's edge.
    row = 0.5, col = 0.0;
    EXPECT_EQ(prn.cmtr2Pix(row, col), std::make_pair(0.0, 0.0));
}

TEST_F(PrinterTest, SayPlacesAndClipsTextByPadAndWidth) {
    TPrinter prn(pdf(), "", true);
    const double w = prn.getTextWidth("HHHH", &big);
    ASSERT_GT(w, prn.getTextWidth("HHHH")) << "oFont is smaller than 20 points";
    prn.startPage();
    prn.say(100, 400, "HHHH", &big, 0, 0, kBkTransparent, kPadLeft);
    prn.say(200, 400, "HHHH", &big, 0, 0, kBkTransparent, kPadRight);
    prn.say(300, 400, "HHHH", &big, 0, 0, kBkTransparent, kPadCenter);
    prn.say(400, 10, "HHHH", &big, 0, 0, kBkTransparent, kPadRight);   // would start left of 0
    prn.say(500, 10, "HHHH", &big, 0, 0, kBkTransparent, kPadCenter);  // likewise
    prn.say(600, 400, "HHHH", &big, 200, 0, kBkTransparent, kPadRight);
    prn.say(700, 400, "HHHH", &big, 200, 0, kBkTransparent, kPadCenter);
    prn.say(800, 400, "HHHHHHHHHHHH", &big, 60);  // far wider than its box
    prn.say(900, 400, "HHHHHHHHHHHH", &big, 60, 0, kBkTransparent, kPadRight);
    prn.cmSay(1.0, 10.5, "HHHHHH", &big, 0, 0, kBkTransparent, kPadCenter);
    prn.endPage();
    const QImage img = page(prn);
    // One centimetre down, centred on 10.5 cm from the sheet's left edge.
    const QRect cm = inkBox(img, QRect(0, 0, 850, 100));
    EXPECT_NEAR((cm.left() + cm.right() + 1) / 2.0, 10.5 / 2.54 * kDpi, 1.5);
    EXPECT_GE(cm.top(), 1.0 / 2.54 * kDpi);
    EXPECT_LT(cm.bottom(), 1.0 / 2.54 * kDpi + QFontMetricsF(prn.deviceFont(big)).height());
    const int start = band(img, 100).left();
    const int bearing = start - (400 + kOffset);  // the ink starts a little after the pen
    EXPECT_GE(bearing, 0);
    EXPECT_LE(bearing, 4);
    EXPECT_NEAR(band(img, 200).left(), start - w, 1.0) << "ends at the column";
    EXPECT_NEAR(band(img, 300).left(), start - w / 2, 1.0) << "centred on the column";
    EXPECT_EQ(band(img, 400).left(), kOffset + bearing) << "not left of the printable area";
    EXPECT_EQ(band(img, 500).left(), kOffset + bearing);
    EXPECT_NEAR(band(img, 600).left(), start + 200 - w, 1.0) << "right in the box";
    EXPECT_NEAR(band(img, 700).left(), start + (200 - w) / 2, 1.0) << "centred in the box";
    for (int row : {800, 900}) {
        const QRect clipped = band(img, row);
        EXPECT_GE(clipped.left(), 400 + kOffset) << row;
        EXPECT_LT(clipped.right(), 460 + kOffset) << row;
        EXPECT_GE(clipped.right(), 450 + kOffset) << "cut at the box's edge, not before";
    }
}

TEST_F(PrinterTest, ColoursBackgroundsBoxesAndBitmaps) {
    QImage picture(4, 2, QImage::Format_RGB32);
    picture.fill(qRgb(255, 0, 0));
    picture.setPixel(3, 0, qRgb(0, 0, 255));
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("dos.png"))));
    TPrinter prn(pdf(), "", true);
    prn.startPage();
    prn.fillRect({100, 100, 160, 700}, QBrush(Qt::black));
    prn.say(110, 120, "HHHH", &big, 0, 0x0000FF, kBkOpaque);        // red on white
    prn.say(110, 400, "HHHH", &big, 0, 0xFFFFFF, kBkTransparent);  // white on the black
    prn.box(300, 100, 400, 300);
    prn.sayBitmap(500, 100, dir.file("dos.png"), 200, 50);
    prn.sayBitmap(600, 100, "PRINT", 40, 40);  // a bitmap of the program's
    prn.endPage();
    const QImage img = page(prn);
    auto at = [&](int row, int col) { return img.pixel(col + kOffset, row + kOffset); };
    auto count = [&](int row, int col, QRgb colour) {
        int n = 0;
        for (int y = row; y < row + 20; ++y)
            for (int x = col; x < col + 80; ++x) n += at(y, x) == colour;
        return n;
    };
    EXPECT_GT(count(110, 120, qRgb(255, 255, 255)), 800) << "the opaque text's cell";
    EXPECT_GT(count(110, 120, qRgb(255, 0, 0)), 20);
    EXPECT_GT(count(110, 400, qRgb(255, 255, 255)), 20) << "the transparent text's letters";
    EXPECT_LT(count(110, 400, qRgb(255, 255, 255)), 800) << "and no cell behind them";
    EXPECT_EQ(at(350, 200), qRgb(255, 255, 255)) << "a box leaves its inside as it was";
    EXPECT_EQ(at(540, 200), qRgb(255, 0, 0)) << "the picture stretched to 200 x 50";
    EXPECT_EQ(at(510, 260), qRgb(0, 0, 255));
    EXPECT_EQ(at(510, 305), qRgb(255, 255, 255));
    EXPECT_FALSE(inkBox(img, QRect(100 + kOffset, 600 + kOffset, 40, 40)).isNull());
}

TEST_F(PrinterTest, DirectJobGoesToTheDeviceAndEnds) {
    TPrinter prn(pdf(), "Factura 15", false);
    for (int n = 1; n <= 3; ++n) {
        prn.startPage();
        EXPECT_TRUE(prn.lStarted);
        prn.cmSay(2, 2, "Pagina " + std::to_string(n));
        prn.endPage();
    }
    EXPECT_EQ(prn.nPage, 3);
    EXPECT_EQ(files(), 0) << "nothing is recorded";
    EXPECT_EQ(prn.preview(), nullptr) << "a direct job is ended, not previewed";
    EXPECT_EQ(pdfPages(out), 3);
    EXPECT_FALSE(prn.hDC());
    prn.startPage();  // after the end: nothing
    EXPECT_EQ(prn.nPage, 3);
}

TEST_F(PrinterTest, PreviewPagesAreRecordedUntilTheEnd) {
    TPrinter prn(pdf(), "Factura", true);
    EXPECT_EQ(prn.cDir, recordings);
    for (int n = 1; n <= 2; ++n) {
        prn.startPage();
        prn.cmSay(2, 2, "Pagina " + std::to_string(n));
        prn.endPage();
    }
    ASSERT_EQ(prn.aMeta().size(), 2u);
    EXPECT_EQ(files(), 2);
    EXPECT_FALSE(fs::exists(out)) << "nothing reaches the device";
    prn.end();
    EXPECT_EQ(files(), 0) << "end() deletes the recordings";
    EXPECT_FALSE(fs::exists(out));
    prn.end();  // twice is harmless
    EXPECT_TRUE(op.shown.empty());

    // The directory: TEMP, then TMP (without a separator at the end), then the system's.
    const std::string other = dir.file("otro");
    fs::create_directories(other);
    EnvVar tmp("TMP", other + "/");
    EXPECT_EQ(TPrinter(pdf(), "", true).cDir, recordings);
    EnvVar noTemp("TEMP", dir.file("no_existe"));
    EXPECT_EQ(TPrinter(pdf(), "", true).cDir, other);
    EnvVar noTmp("TMP", std::nullopt);
    EXPECT_EQ(fs::path(TPrinter(pdf(), "", true).cDir), fs::path(QDir::tempPath().toStdString()));
}

TEST_F(PrinterTest, RecordingsThatCannotBeWrittenAreReported) {
    {
        // The directory is gone before the page starts: no recording at all.
        TPrinter prn(pdf(), "", true);
        fs::remove_all(recordings);
        prn.startPage();
        prn.endPage();
        ASSERT_EQ(op.shown.size(), 2u);
        EXPECT_EQ(op.shown[0].text, "The temporal metafile could not be created");
        EXPECT_EQ(op.shown[0].title, "Printer object Error");
        const std::string& text = op.shown[1].text;
        EXPECT_TRUE(text.starts_with("Could not create temporary file: " + recordings + "/"));
        EXPECT_TRUE(text.ends_with(kTail)) << text;
        EXPECT_EQ(op.shown[1].title, "Print preview error");
        EXPECT_EQ(prn.preview(), nullptr) << "no pages: nothing to show";
    }
    op.shown.clear();
    fs::create_directories(recordings);
    {
        // The directory goes while the page is drawn: the recording cannot be kept.
        TPrinter prn(pdf(), "", true);
        prn.startPage();
        prn.say(10, 10, "perdido");
        ASSERT_EQ(files(), 1);
        const std::string file = fs::directory_iterator(recordings)->path().string();
        fs::remove_all(recordings);
        prn.endPage();
        ASSERT_EQ(op.shown.size(), 1u);
        EXPECT_EQ(op.shown[0].text, "Could not create temporary file: " + file + kTail);
        EXPECT_EQ(op.shown[0].title, "Print preview error");
        EXPECT_TRUE(prn.aMeta().empty());
    }
}

TEST_F(PrinterTest, WithoutAPrinterEveryCallDoesNothing) {
    if (!QPrinterInfo::availablePrinters().isEmpty())
        GTEST_SKIP() << "this system has a printer: the test would print on it";
    TPrinter prn("Factura", false, true, "", true);
    ASSERT_EQ(op.shown.size(), 1u);
    EXPECT_EQ(op.shown[0].text,
              "There are no printers installed!\r\nPlease exit this application and install a "
              "printer.");
    EXPECT_FALSE(prn.hDC());
    prn.setCopies(2);
    prn.startPage();
    EXPECT_EQ(prn.nPage, 0);
    EXPECT_EQ(prn.hDCOut(), nullptr);
    prn.cmSay(1, 1, "texto", nullptr, 100, 0, kBkOpaque, kPadCenter);
    prn.fillRect({0, 0, 100, 100}, QBrush(Qt::black));
    EXPECT_EQ(prn.getTextWidth("texto"), 0);
    double row = 5, col = 5;
    EXPECT_EQ(prn.cmtr2Pix(row, col), std::make_pair(0.0, 0.0));
    prn.endPage();
    EXPECT_EQ(prn.preview(), nullptr);
    EXPECT_EQ(files(), 0);
    EXPECT_EQ(op.shown.size(), 1u) << "no other message";
}

// A page replays scaled to its device: the same ink on a screen-like and a printer-like image.
TEST_F(PrinterTest, RecordedPagesReplayAtAnyResolution) {
    TPrinter prn(pdf(), "", true);
    prn.startPage();
    prn.fillRect({100, 200, 150, 300}, QBrush(Qt::black));
    prn.say(300, 200, "HHHH", &big);
    prn.endPage();
    const QPicture recorded = loadPage(prn.aMeta()[0]);
    const QRect text = band(page(prn), 300);
    for (int dpi : {96, 300, 1200}) {
        QImage img(850, 1100, QImage::Format_RGB32);
        img.setDotsPerMeterX(int(dpi / 0.0254 + 0.5));
        img.setDotsPerMeterY(img.dotsPerMeterX());
        img.fill(Qt::white);
        QPainter p(&img);
        p.translate(prn.sheet().origin);
        playPage(p, recorded);
        p.end();
        EXPECT_EQ(band(img, 100), QRect(225, 125, 100, 50)) << dpi;
        EXPECT_EQ(band(img, 300), text) << dpi;
    }
}

}  // namespace
}  // namespace wv
