// Pictures from files and the control that shows one. Files are decoded by the FreeImage library
// (the main window's background is a JPEG), loaded when the first picture is asked for; the
// control shows the picture either stretched over its whole area or at a zoom factor of its
// natural size, with scroll bars as needed.
#pragma once

#include <QImage>
#include <QScrollArea>
#include <string>

namespace wv {

// The shared object FreeImage is loaded from unless told otherwise.
inline constexpr const char* kFreeImageLibrary = "libfreeimage.so.3";

// The picture in a file (a program path: '\' separates and letter case is not minded). A file
// that is absent or cannot be decoded gives a null image and no message. When the library
// cannot be loaded the operator is told "Cannot load " + its name, once: later calls give a
// null image quietly.
QImage loadImage(const std::string& cFile);

// The library loadImage() uses from now on; the next picture loads it afresh (and a failure to
// load it is told again).
void setFreeImageLibrary(const std::string& name);
const std::string& freeImageLibrary();

// The picture control: a scrolled area showing one picture. Stretched, the picture fills the
// visible area and there are no scroll bars; otherwise it is shown at nZoom times its natural
// size, and the scroll bars appear when it does not fit.
class TImage : public QScrollArea {
public:
    explicit TImage(QWidget* parent = nullptr);

    bool lStretch = false;
    double nZoom = 1.0;

    // The picture in the file; false (and no picture) when there is none to show.
    bool loadFile(const std::string& cFile);
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }

    // Stretching and zoom take effect on the picture's layout (adjustScrollBars, setZoom).
    void setStretch(bool on) { lStretch = on; }
    // The zoom factor, applied at once.
    void setZoom(double zoom);
    // The picture laid out for the mode and zoom of now: the scroll bars follow.
    void adjustScrollBars();
    // Repaints the whole picture.
    void refresh();

    // The widget the picture is painted on, and the size it is shown at now.
    QWidget* canvas() const { return canvas_; }
    QSize shownSize() const;

private:
    void layoutPicture();

    QImage image_;
    QWidget* canvas_;
};

}  // namespace wv
