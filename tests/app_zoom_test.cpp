// AJUSTAZOOM on a recording picture control: which steps each letter takes and in what order,
// the floor of 0.1 for reducing, and zooms that stay exact tenths over many steps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/zoom.h"

namespace wv {
namespace {

class FakeImage : public ZoomImage {
public:
    bool stretch() const override { return lStretch; }
    void setStretch(bool on) override {
        lStretch = on;
        calls.push_back(on ? "stretch on" : "stretch off");
    }
    double zoom() const override { return nZoom; }
    void setZoom(double z) override {
        nZoom = z;
        calls.push_back("zoom");
    }
    void refresh() override { calls.push_back("refresh"); }
    void adjustScrollBars() override { calls.push_back("scroll bars"); }

    bool lStretch = false;
    double nZoom = 1.0;
    std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

TEST(AjustaZoom, StretchTogglesThenScrollBarsThenRepaint) {
    FakeImage img;
    img.nZoom = 0.7;
    ajustaZoom(img, "S");
    EXPECT_TRUE(img.lStretch);
    EXPECT_EQ(img.calls, (Calls{"stretch on", "scroll bars", "refresh"}));
    img.calls.clear();
    ajustaZoom(img, "S");
    EXPECT_FALSE(img.lStretch);
    EXPECT_EQ(img.calls, (Calls{"stretch off", "scroll bars", "refresh"}));
    EXPECT_DOUBLE_EQ(img.nZoom, 0.7) << "the zoom is kept";
}

TEST(AjustaZoom, ReduceAndEnlargeTurnStretchOffAndStepATenth) {
    const Calls steps{"stretch off", "zoom", "refresh", "scroll bars"};
    FakeImage img;
    img.lStretch = true;
    ajustaZoom(img, "R");
    EXPECT_FALSE(img.lStretch);
    EXPECT_DOUBLE_EQ(img.nZoom, 0.9);
    EXPECT_EQ(img.calls, steps);

    img.lStretch = true;
    img.calls.clear();
    ajustaZoom(img, "A");
    EXPECT_FALSE(img.lStretch);
    EXPECT_DOUBLE_EQ(img.nZoom, 1.0);
    EXPECT_EQ(img.calls, steps);
}

TEST(AjustaZoom, ReducingStopsAtOneTenth) {
    FakeImage img;
    for (int i = 0; i < 9; ++i) ajustaZoom(img, "R");
    EXPECT_EQ(img.nZoom, 0.1) << "nine steps down from 1.0 are exactly 0.1";
    img.lStretch = true;
    img.calls.clear();
    ajustaZoom(img, "R");
    EXPECT_EQ(img.nZoom, 0.1);
    EXPECT_TRUE(img.lStretch) << "at 0.1 nothing changes, stretching included";
    EXPECT_TRUE(img.calls.empty());

    // Set from elsewhere: a hair above 0.1 is 0.1; below it nothing either.
    for (double z : {0.1 + 1e-12, 0.1, 0.05, 0.0, -1.0}) {
        FakeImage other;
        other.nZoom = z;
        ajustaZoom(other, "R");
        EXPECT_TRUE(other.calls.empty()) << z;
        EXPECT_EQ(other.nZoom, z);
    }
    // Anything really above 0.1 is reduced, even below the floor.
    FakeImage odd;
    odd.nZoom = 0.15;
    ajustaZoom(odd, "R");
    EXPECT_NEAR(odd.nZoom, 0.05, 1e-12);
}

TEST(AjustaZoom, EnlargingHasNoLimitAndStaysOnTenths) {
    FakeImage img;
    for (int i = 0; i < 40; ++i) ajustaZoom(img, "A");
    EXPECT_EQ(img.nZoom, 5.0);
    for (int i = 0; i < 49; ++i) ajustaZoom(img, "R");
    EXPECT_EQ(img.nZoom, 0.1);
    // A zoom that is no tenth moves by tenths from where it is.
    img.nZoom = 1.25;
    ajustaZoom(img, "A");
    EXPECT_DOUBLE_EQ(img.nZoom, 1.35);
}

TEST(AjustaZoom, OtherLettersDoNothing) {
    for (const char* mode : {"", "s", "r", "a", "X", "SR", " S"}) {
        FakeImage img;
        img.lStretch = true;
        ajustaZoom(img, mode);
        EXPECT_TRUE(img.calls.empty()) << '"' << mode << '"';
        EXPECT_TRUE(img.lStretch);
        EXPECT_EQ(img.nZoom, 1.0);
    }
}

}  // namespace
}  // namespace wv
