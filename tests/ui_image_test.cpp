// Pictures from files through FreeImage: the picture comes out upright and in its colours
// whatever the file's format, program paths are found, files that are absent or broken give no
// picture and no message, and a library that cannot be loaded is told once. Then the picture
// control: stretched over its area without scroll bars, or at its zoom with them as needed.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "runtime/operator.h"
#include "tests/test_support.h"
#include "tests/ui_fixture.h"
#include "ui/image.h"

namespace wv {
namespace {

// A picture in four quarters: red top left, green top right, blue bottom left, white bottom
// right. Upside down or with red and blue swapped, it reads differently.
QImage quarters(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool right = x >= w / 2, bottom = y >= h / 2;
            img.setPixel(x, y, !bottom ? (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0))
                                       : (right ? qRgb(255, 255, 255) : qRgb(0, 0, 255)));
        }
    return img;
}

// The colour at the middle of each quarter, within `tolerance` in every channel.
void expectQuarters(const QImage& img, int tolerance = 0) {
    ASSERT_FALSE(img.isNull());
    const int w = img.width(), h = img.height();
    const struct {
        int x, y;
        QRgb want;
        const char* where;
    } spots[] = {{w / 4, h / 4, qRgb(255, 0, 0), "top left"},
                 {3 * w / 4, h / 4, qRgb(0, 255, 0), "top right"},
                 {w / 4, 3 * h / 4, qRgb(0, 0, 255), "bottom left"},
                 {3 * w / 4, 3 * h / 4, qRgb(255, 255, 255), "bottom right"}};
    for (const auto& s : spots) {
        const QRgb got = img.pixel(s.x, s.y);
        EXPECT_NEAR(qRed(got), qRed(s.want), tolerance) << s.where;
        EXPECT_NEAR(qGreen(got), qGreen(s.want), tolerance) << s.where;
        EXPECT_NEAR(qBlue(got), qBlue(s.want), tolerance) << s.where;
    }
}

class ImageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApp();  // before the operator: the interface installs its own
        scope.emplace(op);
        setFreeImageLibrary(kFreeImageLibrary);
    }
    void TearDown() override { setFreeImageLibrary(kFreeImageLibrary); }

    std::string save(const QImage& img, const std::string& name, const char* format,
                     int quality = -1) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(img.save(QString::fromStdString(path), format, quality)) << name;
        return path;
    }

    test::TempDir dir;
    ScriptedOperator op;
    std::optional<ScriptedOperator::Scope> scope;
};

TEST_F(ImageFileTest, EveryFormatComesOutUprightInItsColours) {
    // An odd width: the rows of a 24-bit bitmap are padded to four bytes.
    const QImage img = quarters(41, 30);
    for (const char* name : {"a.bmp", "a.png"}) {
        QImage got = loadImage(save(img, name, nullptr));
        EXPECT_EQ(got.size(), img.size()) << name;
        expectQuarters(got);
    }
    QImage jpeg = loadImage(save(img, "empresa.jpg", "JPG", 100));
    EXPECT_EQ(jpeg.size(), img.size());
    expectQuarters(jpeg, 24);
    // A picture with transparency is shown without it.
    QImage alpha(20, 20, QImage::Format_ARGB32);
    alpha.fill(qRgba(10, 20, 30, 0));
    QImage got = loadImage(save(alpha, "alpha.png", nullptr));
    ASSERT_FALSE(got.isNull());
    EXPECT_EQ(got.pixel(5, 5), qRgb(10, 20, 30));
    // Sixteen bits per sample (a scanner's grey PNG) come down to eight.
    QImage grey(12, 10, QImage::Format_Grayscale16);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            reinterpret_cast<quint16*>(grey.scanLine(y))[x] = x < 6 ? 0 : 0xFFFF;
    QImage greyGot = loadImage(save(grey, "grey16.png", "PNG"));
    ASSERT_FALSE(greyGot.isNull());
    EXPECT_EQ(greyGot.pixel(2, 5), qRgb(0, 0, 0));
    EXPECT_EQ(greyGot.pixel(9, 5), qRgb(255, 255, 255));
    EXPECT_TRUE(op.shown.empty());
}

TEST_F(ImageFileTest, ProgramPathsAndFormatsTheNameDoesNotTell) {
    std::filesystem::create_directories(dir.file("bitmaps"));
    save(quarters(16, 16), "bitmaps/empresa.jpg", "JPG", 100);
    expectQuarters(loadImage(dir.path() + "\\BITMAPS\\Empresa.JPG"), 24);
    // The contents decide: a PNG named as a JPEG, a JPEG without an extension.
    expectQuarters(loadImage(save(quarters(16, 16), "png.jpg", "PNG")));
    expectQuarters(loadImage(save(quarters(16, 16), "sin_extension", "JPG", 100)), 24);
    EXPECT_TRUE(op.shown.empty());
}

TEST_F(ImageFileTest, AbsentOrBrokenFilesGiveNoPictureAndNoMessage) {
    EXPECT_TRUE(loadImage("").isNull());
    EXPECT_TRUE(loadImage(dir.file("no_existe.jpg")).isNull());
    EXPECT_TRUE(loadImage(dir.path()).isNull()) << "a directory";
    test::writeBytes(dir.file("vacio.jpg"), "");
    EXPECT_TRUE(loadImage(dir.file("vacio.jpg")).isNull());

    std::string garbage;
    std::srand(7);
    for (int i = 0; i < 5000; ++i) garbage += char(std::rand() & 0xFF);
    test::writeBytes(dir.file("basura.jpg"), garbage);
    EXPECT_TRUE(loadImage(dir.file("basura.jpg")).isNull());
    test::writeBytes(dir.file("basura.bmp"), "BM" + garbage);
    EXPECT_TRUE(loadImage(dir.file("basura.bmp")).isNull());

    const std::string jpeg = test::readBytes(save(quarters(64, 64), "entera.jpg", "JPG", 90));
    ASSERT_GT(jpeg.size(), 200u);
    // Cut in its header: nothing to show.
    test::writeBytes(dir.file("cabecera.jpg"), jpeg.substr(0, 40));
    EXPECT_TRUE(loadImage(dir.file("cabecera.jpg")).isNull());
    // Cut in its data: the decoder gives up or fills in what is missing, at the full size.
    for (size_t cut : {jpeg.size() / 4, jpeg.size() / 2, jpeg.size() - 2}) {
        test::writeBytes(dir.file("cortada.jpg"), jpeg.substr(0, cut));
        QImage got = loadImage(dir.file("cortada.jpg"));
        if (!got.isNull()) {
            EXPECT_EQ(got.size(), QSize(64, 64)) << cut;
        }
    }
    EXPECT_TRUE(op.shown.empty());
}

TEST_F(ImageFileTest, ALibraryThatCannotBeLoadedIsToldOnce) {
    const std::string file = save(quarters(8, 8), "a.png", "PNG");
    setFreeImageLibrary("libwv_no_existe.so.3");
    EXPECT_TRUE(loadImage(dir.file("no_existe.jpg")).isNull());
    EXPECT_TRUE(op.shown.empty()) << "an absent file needs no library";
    EXPECT_TRUE(loadImage(file).isNull());
    EXPECT_TRUE(loadImage(file).isNull());
    ASSERT_EQ(op.shown.size(), 1u);
    EXPECT_EQ(op.shown[0].what, "alert");
    EXPECT_EQ(op.shown[0].text, "Cannot load libwv_no_existe.so.3");

    // A library that is there but is not FreeImage: the same.
    op.shown.clear();
    setFreeImageLibrary("libm.so.6");
    EXPECT_TRUE(loadImage(file).isNull());
    ASSERT_EQ(op.shown.size(), 1u);
    EXPECT_EQ(op.shown[0].text, "Cannot load libm.so.6");

    op.shown.clear();
    setFreeImageLibrary(kFreeImageLibrary);
    expectQuarters(loadImage(file));
    EXPECT_TRUE(op.shown.empty());
}

// ---------------------------------------------------------------------------------------------
// The control

class TImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApp();
        img = std::make_unique<TImage>();
        img->resize(300, 200);
        img->setImage(quarters(400, 240));
        img->show();
        QApplication::processEvents();
    }
    bool barsShown() const {
        return img->horizontalScrollBar()->isVisible() || img->verticalScrollBar()->isVisible();
    }
    // The control as painted, within the visible area.
    QImage painted() { return img->viewport()->grab().toImage(); }

    std::unique_ptr<TImage> img;
};

TEST_F(TImageTest, StretchedThePictureFillsTheAreaWithoutScrollBars) {
    EXPECT_FALSE(img->lStretch);
    EXPECT_EQ(img->nZoom, 1.0);
    img->setStretch(true);
    img->adjustScrollBars();
    QApplication::processEvents();
    EXPECT_FALSE(barsShown());
    EXPECT_EQ(img->canvas()->geometry(), img->viewport()->rect());
    expectQuarters(painted(), 8);
    // It follows the control's size.
    img->resize(500, 450);
    QApplication::processEvents();
    EXPECT_EQ(img->canvas()->size(), img->viewport()->size());
    EXPECT_FALSE(barsShown());
    expectQuarters(painted(), 8);
}

TEST_F(TImageTest, AtItsZoomWithScrollBarsWhenItDoesNotFit) {
    img->adjustScrollBars();
    QApplication::processEvents();
    EXPECT_EQ(img->canvas()->size(), QSize(400, 240));
    EXPECT_TRUE(img->horizontalScrollBar()->isVisible());
    EXPECT_EQ(img->horizontalScrollBar()->maximum(), 400 - img->viewport()->width());

    img->setZoom(0.5);
    QApplication::processEvents();
    EXPECT_EQ(img->canvas()->size(), QSize(200, 120));
    EXPECT_FALSE(barsShown());
    // The picture at the top left, the rest of the area left as it is.
    const QImage shown = painted();
    expectQuarters(shown.copy(0, 0, 200, 120), 8);

    img->setZoom(2.0);
    QApplication::processEvents();
    EXPECT_EQ(img->canvas()->size(), QSize(800, 480));
    EXPECT_TRUE(img->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(img->verticalScrollBar()->isVisible());
    EXPECT_EQ(img->verticalScrollBar()->maximum(), 480 - img->viewport()->height());
}

TEST_F(TImageTest, ANewPictureIsShownAtOnceAndNoneLeavesTheAreaEmpty) {
    QImage green(400, 240, QImage::Format_RGB32);
    green.fill(qRgb(0, 255, 0));
    img->setImage(green);
    QApplication::processEvents();
    EXPECT_EQ(painted().pixel(10, 10), qRgb(0, 255, 0));

    EXPECT_FALSE(img->loadFile("/no/existe.jpg"));
    EXPECT_TRUE(img->image().isNull());
    QApplication::processEvents();
    EXPECT_EQ(img->canvas()->size(), QSize(0, 0));
    EXPECT_FALSE(barsShown());
}

}  // namespace
}  // namespace wv
