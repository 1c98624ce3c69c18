// AJUSTAZOOM on the interface's picture control: each step shows on the screen.
#include <gtest/gtest.h>

#include <QScrollBar>

#include "app/zoom_qt.h"
#include "tests/ui_fixture.h"

namespace wv {
namespace {

TEST(TImageZoom, EachStepShowsOnTheControl) {
    test::ensureApp();
    TImage img;
    img.resize(300, 200);
    QImage picture(400, 240, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    img.setImage(picture);
    img.show();
    QApplication::processEvents();
    auto bars = [&] {
        QApplication::processEvents();
        return img.horizontalScrollBar()->isVisible() || img.verticalScrollBar()->isVisible();
    };
    EXPECT_TRUE(bars());

    ajustaZoom(img, "S");
    EXPECT_TRUE(img.lStretch);
    EXPECT_FALSE(bars());
    EXPECT_EQ(img.canvas()->size(), img.viewport()->size());

    ajustaZoom(img, "R");
    EXPECT_FALSE(img.lStretch);
    EXPECT_DOUBLE_EQ(img.nZoom, 0.9);
    EXPECT_EQ(img.canvas()->size(), QSize(360, 216));
    EXPECT_TRUE(bars());

    for (int i = 0; i < 9; ++i) ajustaZoom(img, "R");
    EXPECT_EQ(img.nZoom, 0.1);
    EXPECT_EQ(img.canvas()->size(), QSize(40, 24));
    EXPECT_FALSE(bars());

    ajustaZoom(img, "A");
    ajustaZoom(img, "A");
    EXPECT_EQ(img.canvas()->size(), QSize(120, 72));
    EXPECT_EQ(img.viewport()->grab().toImage().pixel(60, 36), QColor(Qt::darkCyan).rgb());
}

}  // namespace
}  // namespace wv
