#include "ui/image.h"

#include <FreeImage.h>
#include <dlfcn.h>

#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>

#include "runtime/operator.h"
#include "storage/platform.h"

namespace wv {
namespace {

// The few entry points of FreeImage the pictures need. The library is loaded when the first
// picture is asked for, so a system without it still runs (without pictures).
struct FreeImageApi {
    decltype(&FreeImage_GetFileType) getFileType = nullptr;
    decltype(&FreeImage_GetFIFFromFilename) fifFromFilename = nullptr;
    decltype(&FreeImage_FIFSupportsReading) supportsReading = nullptr;
    decltype(&FreeImage_Load) load = nullptr;
    decltype(&FreeImage_ConvertTo24Bits) convertTo24Bits = nullptr;
    decltype(&FreeImage_ConvertToStandardType) convertToStandardType = nullptr;
    decltype(&FreeImage_GetImageType) imageType = nullptr;
    decltype(&FreeImage_GetWidth) width = nullptr;
    decltype(&FreeImage_GetHeight) height = nullptr;
    decltype(&FreeImage_GetPitch) pitch = nullptr;
    decltype(&FreeImage_GetBits) bits = nullptr;
    decltype(&FreeImage_Unload) unload = nullptr;
};

struct Library {
    enum class State { NotTried, Loaded, Failed };
    std::string name = kFreeImageLibrary;
    State state = State::NotTried;
    void* handle = nullptr;
    FreeImageApi api;
};

Library& library() {
    static Library lib;
    return lib;
}

template <class F>
bool resolve(void* handle, const char* symbol, F& fn) {
    fn = reinterpret_cast<F>(dlsym(handle, symbol));
    return fn != nullptr;
}

bool resolveAll(void* h, FreeImageApi& a) {
    return resolve(h, "FreeImage_GetFileType", a.getFileType) &&
           resolve(h, "FreeImage_GetFIFFromFilename", a.fifFromFilename) &&
           resolve(h, "FreeImage_FIFSupportsReading", a.supportsReading) &&
           resolve(h, "FreeImage_Load", a.load) &&
           resolve(h, "FreeImage_ConvertTo24Bits", a.convertTo24Bits) &&
           resolve(h, "FreeImage_ConvertToStandardType", a.convertToStandardType) &&
           resolve(h, "FreeImage_GetImageType", a.imageType) &&
           resolve(h, "FreeImage_GetWidth", a.width) &&
           resolve(h, "FreeImage_GetHeight", a.height) &&
           resolve(h, "FreeImage_GetPitch", a.pitch) &&
           resolve(h, "FreeImage_GetBits", a.bits) &&
           resolve(h, "FreeImage_Unload", a.unload);
}

// The library's entry points; nullptr when it cannot be had. The first failure is told.
const FreeImageApi* freeImage() {
    Library& lib = library();
    if (lib.state == Library::State::Loaded) return &lib.api;
    if (lib.state == Library::State::Failed) return nullptr;
    lib.handle = dlopen(lib.name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib.handle && resolveAll(lib.handle, lib.api)) {
        lib.state = Library::State::Loaded;
        return &lib.api;
    }
    if (lib.handle) dlclose(lib.handle);
    lib.handle = nullptr;
    lib.api = {};
    lib.state = Library::State::Failed;
    msgAlert("Cannot load " + lib.name);
    return nullptr;
}

// A bitmap of the library's, unloaded when it goes.
class Dib {
public:
    Dib(const FreeImageApi& fi, FIBITMAP* dib) : fi_(fi), dib_(dib) {}
    ~Dib() {
        if (dib_) fi_.unload(dib_);
    }
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;
    FIBITMAP* get() const { return dib_; }

private:
    const FreeImageApi& fi_;
    FIBITMAP* dib_;
};

// A 24-bit bitmap as a QImage. The bitmap's scanlines run bottom-up and its bytes stand in the
// library's colour order.
QImage toQImage(const FreeImageApi& fi, FIBITMAP* dib) {
    const unsigned w = fi.width(dib), h = fi.height(dib), pitch = fi.pitch(dib);
    const BYTE* bits = fi.bits(dib);
    if (!bits || w == 0 || h == 0 || pitch < 3 * w || w > INT_MAX || h > INT_MAX) return {};
    QImage out(int(w), int(h), QImage::Format_RGB32);
    if (out.isNull()) return {};  // too big to hold
    for (unsigned y = 0; y < h; ++y) {
        const BYTE* src = bits + size_t(h - 1 - y) * pitch;
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(int(y)));
        for (unsigned x = 0; x < w; ++x, src += 3)
            dst[x] = qRgb(src[FI_RGBA_RED], src[FI_RGBA_GREEN], src[FI_RGBA_BLUE]);
    }
    return out;
}

// The widget the picture is painted on: the whole picture over the whole widget.
class Canvas : public QWidget {
public:
    explicit Canvas(const TImage& owner) : owner_(owner) {}

protected:
    void paintEvent(QPaintEvent*) override {
        const QImage& image = owner_.image();
        if (image.isNull()) return;
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(rect(), image);
    }

private:
    const TImage& owner_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Loading

void setFreeImageLibrary(const std::string& name) {
    Library& lib = library();
    if (lib.handle) dlclose(lib.handle);
    lib = Library{};
    lib.name = name;
}

const std::string& freeImageLibrary() { return library().name; }

QImage loadImage(const std::string& cFile) {
    if (cFile.empty()) return {};
    const std::string path = os::resolvePath(cFile);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return {};
    const FreeImageApi* fi = freeImage();
    if (!fi) return {};
    // The contents tell the format; the name only when they do not.
    FREE_IMAGE_FORMAT fif = fi->getFileType(path.c_str(), 0);
    if (fif == FIF_UNKNOWN) fif = fi->fifFromFilename(path.c_str());
    if (fif == FIF_UNKNOWN || !fi->supportsReading(fif)) return {};
    // A photograph is shown the way up its camera recorded.
    Dib loaded(*fi, fi->load(fif, path.c_str(), fif == FIF_JPEG ? JPEG_EXIFROTATE : 0));
    if (!loaded.get()) return {};
    // Pictures of 16 bits per channel (or of floating samples) come down to 8 bits first: the
    // conversion to 24 bits takes only standard bitmaps.
    const bool standardType = fi->imageType(loaded.get()) == FIT_BITMAP;
    Dib standard(*fi, standardType ? nullptr : fi->convertToStandardType(loaded.get(), TRUE));
    if (!standardType && !standard.get()) return {};
    Dib rgb(*fi, fi->convertTo24Bits(standardType ? loaded.get() : standard.get()));
    if (!rgb.get()) return {};
    return toQImage(*fi, rgb.get());
}

// ---------------------------------------------------------------------------------------------
// TImage

TImage::TImage(QWidget* parent) : QScrollArea(parent), canvas_(new Canvas(*this)) {
    setWidget(canvas_);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layoutPicture();
}

bool TImage::loadFile(const std::string& cFile) {
    setImage(loadImage(cFile));
    return !image_.isNull();
}

void TImage::setImage(const QImage& image) {
    image_ = image;
    layoutPicture();
    refresh();
}

void TImage::setZoom(double zoom) {
    nZoom = zoom;
    layoutPicture();
}

void TImage::adjustScrollBars() { layoutPicture(); }

void TImage::refresh() {
    canvas_->update();
    viewport()->update();
}

QSize TImage::shownSize() const {
    if (lStretch) return viewport()->size();
    if (image_.isNull()) return {0, 0};
    auto scaled = [this](int n) { return std::max(1, int(std::lround(n * nZoom))); };
    return {scaled(image_.width()), scaled(image_.height())};
}

void TImage::layoutPicture() {
    if (lStretch) {
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setWidgetResizable(true);  // the canvas follows the visible area
        canvas_->resize(viewport()->size());
    } else {
        setWidgetResizable(false);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        canvas_->resize(shownSize());
    }
}

}  // namespace wv
