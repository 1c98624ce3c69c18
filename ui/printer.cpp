#include "ui/printer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "runtime/operator.h"
#include "ui/image.h"
#include "ui/preview.h"
#include "ui/qtoperator.h"
#include "ui/text.h"
#include "ui/units.h"

namespace wv {

namespace {

const char* const kNoPrinters =
    "There are no printers installed!\r\nPlease exit this application and install a printer.";

std::optional<PdfDevice>& pdfDevice() {
    static std::optional<PdfDevice> device;
    return device;
}

QString nativePath(const std::string& path) { return QFile::decodeName(path.c_str()); }
std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QColor qtColour(Colour c) {
    if (c < 0) return QColor(Qt::black);
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The directory for the page recordings: TEMP, else TMP, else the system's temporary directory,
// the first that names an existing directory. No separator at the end.
std::string recordingDirectory() {
    for (const char* var : {"TEMP", "TMP"}) {
        const char* value = std::getenv(var);
        if (!value || !*value) continue;
        std::string dir = value;
        while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
        if (QFileInfo(nativePath(dir)).isDir()) return dir;
    }
    return nativePath(QDir::tempPath());
}

std::unique_ptr<QPrinter> pdfPrinter(const PdfDevice& d) {
    auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
    p->setOutputFormat(QPrinter::PdfFormat);
    p->setOutputFileName(nativePath(d.file));
    p->setResolution(d.resolution);
    p->setPageLayout(QPageLayout(QPageSize(d.paper), QPageLayout::Portrait, d.margins,
                                 QPageLayout::Millimeter));
    return p;
}

// The installed printer a model names: the part before the first comma, by its exact name or
// else ignoring letter case. Null when there is none.
QPrinterInfo namedPrinter(const std::string& cModel) {
    const QString name = qtText(cModel.substr(0, cModel.find(','))).trimmed();
    if (name.isEmpty()) return {};
    const QList<QPrinterInfo> all = QPrinterInfo::availablePrinters();
    for (const QPrinterInfo& p : all)
        if (p.printerName() == name) return p;
    for (const QPrinterInfo& p : all)
        if (p.printerName().compare(name, Qt::CaseInsensitive) == 0) return p;
    return {};
}

}  // namespace

std::optional<PdfDevice> TPrinter::setPdfDevice(std::optional<PdfDevice> device) {
    std::optional<PdfDevice> prev = std::move(pdfDevice());
    pdfDevice() = std::move(device);
    return prev;
}

TPrinter::TPrinter(std::string document, bool lUser, bool lPreview, std::string model,
                   bool lModal, bool lSelection)
    : cDocument(std::move(document)),
      cModel(std::move(model)),
      lMeta(lPreview),
      lPrvModal(lModal),
      oFont(font("Lucida Console", 0, -10)) {
    if (pdfDevice()) {
        printer_ = pdfPrinter(*pdfDevice());
        cModel = "PDF,PDF," + pdfDevice()->file;
    } else {
        open(lUser, lSelection);
    }
    takeMetrics();
    if (lMeta) cDir = recordingDirectory();
}

TPrinter::TPrinter(const PdfDevice& pdf, std::string document, bool lPreview, bool lModal)
    : cDocument(std::move(document)),
      cModel("PDF,PDF," + pdf.file),
      lMeta(lPreview),
      lPrvModal(lModal),
      oFont(font("Lucida Console", 0, -10)),
      printer_(pdfPrinter(pdf)) {
    takeMetrics();
    if (lMeta) cDir = recordingDirectory();
}

TPrinter::~TPrinter() { end(); }

void TPrinter::open(bool lUser, bool lSelection) {
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        msgStop(kNoPrinters);
        return;
    }
    std::unique_ptr<QPrinter> p;
    if (lUser) {
        p = std::make_unique<QPrinter>(QPrinter::HighResolution);
        QPrintDialog dialog(p.get(), QtOperator::owner());
        dialog.setOption(QAbstractPrintDialog::PrintSelection, lSelection);
        if (dialog.exec() != QDialog::Accepted) return;  // no printer chosen: no device
    } else {
        QPrinterInfo info = namedPrinter(cModel);
        if (info.isNull()) info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) info = QPrinterInfo::availablePrinters().constFirst();
        p = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }
    if (!p->isValid()) {
        msgStop(kNoPrinters);
        return;
    }
    printer_ = std::move(p);
    if (printer_->outputFormat() == QPrinter::PdfFormat) {
        cModel = "PDF,PDF," + nativePath(printer_->outputFileName());
    } else {
        const QPrinterInfo info(*printer_);
        cModel = programText(info.printerName() + ',' + info.makeAndModel() + ',' +
                             info.location());
    }
}

void TPrinter::takeMetrics() {
    if (!printer_) return;
    const int res = printer_->resolution();
    const QPageLayout layout = printer_->pageLayout();
    const QRect paint = layout.paintRectPixels(res);
    const QRectF paintMm = layout.paintRect(QPageLayout::Millimeter);
    logPixelX_ = printer_->logicalDpiX();
    logPixelY_ = printer_->logicalDpiY();
    horzRes_ = paint.width();
    vertRes_ = paint.height();
    horzSize_ = paintMm.width();
    vertSize_ = paintMm.height();
    nXOffset = paint.left();
    nYOffset = paint.top();
    nOrient = layout.orientation();
    sheet_ = {QSizeF(layout.fullRectPixels(res).size()), QPointF(paint.topLeft())};
}

QPainter* TPrinter::hDCOut() const {
    if (!printer_) return nullptr;
    QPainter* p = lMeta ? recorder_.get() : job_.get();
    return p && p->isActive() ? p : nullptr;
}

void TPrinter::setCopies(int nCopies) {
    if (!printer_) return;
    if (job_) {
        job_->end();
        job_.reset();
        lStarted = false;
    }
    printer_->setCopyCount(std::max(1, nCopies));
}

// A new file for a page's recording in cDir, reserved by creating it empty. When it cannot be
// made, the name it would have had (and no file by that name); "" when every name tried is
// someone else's file.
std::string TPrinter::newRecordingFile() const {
    static unsigned seq = 0;
    const QDir dir(nativePath(cDir));
    QString name;
    for (int tries = 0; tries < 1000; ++tries) {
        name = dir.filePath(QStringLiteral("wvprn%1_%2.pic")
                                .arg(QCoreApplication::applicationPid())
                                .arg(++seq));
        QFile f(name);
        if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return nativePath(name);
        if (!f.exists()) return nativePath(name);  // not there and cannot be made
    }
    return "";
}

void TPrinter::startPage() {
    if (!printer_) return;
    if (lMeta && pageOpen_) endPage();
    ++nPage;
    if (lMeta) {
        pageOpen_ = true;
        pageFile_ = newRecordingFile();
        page_ = std::make_unique<QPicture>();
        recorder_ = std::make_unique<QPainter>();
        if (QFileInfo::exists(nativePath(pageFile_))) recorder_->begin(page_.get());
        return;
    }
    if (lStarted) {
        printer_->newPage();
        return;
    }
    printer_->setDocName(qtText(cDocument));
    job_ = std::make_unique<QPainter>();
    lStarted = job_->begin(printer_.get());
    if (!lStarted) job_.reset();
}

void TPrinter::endPage() {
    if (!printer_ || !lMeta || !pageOpen_) return;
    pageOpen_ = false;
    const QString file = nativePath(pageFile_);
    bool saved = false;
    if (recorder_ && recorder_->isActive()) {
        recorder_->end();
        saved = page_->save(file);
    } else {
        msgStop("The temporal metafile could not be created", std::string("Printer object Error"));
    }
    recorder_.reset();
    page_.reset();
    if (saved && QFileInfo::exists(file)) {
        aMeta_.push_back(pageFile_);
    } else {
        QFile::remove(file);
        msgStop("Could not create temporary file: " + programText(file) +
                    "\r\n\r\nPlease check your free space on your hard drive \r\n"
                    "and the amount of files handles available.",
                std::string("Print preview error"));
    }
    pageFile_.clear();
}

// A page still being recorded is dropped with its file.
void TPrinter::closeRecording() {
    if (!pageOpen_) return;
    pageOpen_ = false;
    recorder_.reset();
    page_.reset();
    if (!pageFile_.empty()) QFile::remove(nativePath(pageFile_));
    pageFile_.clear();
}

void TPrinter::discardRecordings() {
    for (const std::string& f : aMeta_) QFile::remove(nativePath(f));
    aMeta_.clear();
}

TPreview* TPrinter::preview() {
    if (lMeta && pageOpen_) endPage();
    if (!lMeta || !printer_ || aMeta_.empty()) {
        end();
        return nullptr;
    }
    // The preview takes the job over: the device as it was set up and the recordings.
    PreviewJob job{std::move(printer_), std::exchange(aMeta_, {}), cDocument, sheet_};
    end();
    auto* window = new TPreview(std::move(job), QtOperator::owner());
    if (lPrvModal) {
        std::unique_ptr<TPreview> own(window);
        own->exec();
        return nullptr;
    }
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

void TPrinter::end() {
    closeRecording();
    if (job_) {
        job_->end();
        job_.reset();
    }
    lStarted = false;
    discardRecordings();
    if (printer_) {
        printer_->setPageOrientation(nOrient);
        printer_.reset();
    }
}

std::pair<double, double> TPrinter::cmtr2Pix(double& nRow, double& nCol) const {
    // Without a device the sizes are 0: a division by zero counts as 0.
    auto pixels = [](double cm, double res, double size, double offset) {
        const double px = size != 0 ? cm * 10 * res / size : 0;
        return std::max(0.0, px - offset);
    };
    nRow = pixels(nRow, vertRes_, vertSize_, nYOffset);
    nCol = pixels(nCol, horzRes_, horzSize_, nXOffset);
    return {nRow, nCol};
}

QFont TPrinter::font(const std::string& face, int width, int height, bool bold, bool italic) {
    return programFont(face, width, std::abs(height), bold, italic);
}

QFont TPrinter::deviceFont(const QFont& f) const {
    if (f.pixelSize() > 0) return f;
    QFont d(f);
    const double points = f.pointSizeF() > 0 ? f.pointSizeF() : 10.0;
    d.setPixelSize(std::max(1, int(std::lround(points * logPixelY_ / 72.0))));
    return d;
}

void TPrinter::say(double nRow, double nCol, const std::string& cText, const QFont* font,
                   double nWidth, Colour nClrText, int nBkMode, int nPad) {
    QPainter* p = hDCOut();
    if (!p) return;
    const QFont f = deviceFont(font ? *font : oFont);
    const QFontMetricsF fm(f, printer_.get());
    const QString text = qtText(cText);
    const double width = fm.horizontalAdvance(text);
    const double height = fm.height();
    double x = nCol;
    if (nWidth > 0) {
        if (nPad == kPadRight)
            x = nCol + nWidth - width;
        else if (nPad == kPadCenter)
            x = nCol + (nWidth - width) / 2;
    } else if (nPad == kPadRight) {
        x = std::max(0.0, nCol - width);
    } else if (nPad == kPadCenter) {
        x = std::max(0.0, nCol - width / 2);
    }
    p->save();
    if (nWidth > 0) p->setClipRect(QRectF(nCol, nRow, nWidth, height), Qt::IntersectClip);
    if (nBkMode == kBkOpaque) p->fillRect(QRectF(x, nRow, width, height), Qt::white);
    p->setFont(f);
    p->setPen(qtColour(nClrText));
    p->drawText(QPointF(x, nRow + fm.ascent()), text);
    p->restore();
}

void TPrinter::cmSay(double nRow, double nCol, const std::string& cText, const QFont* font,
                     double nWidth, Colour nClrText, int nBkMode, int nPad) {
    cmtr2Pix(nRow, nCol);
    say(nRow, nCol, cText, font, nWidth, nClrText, nBkMode, nPad);
}

void TPrinter::line(double nTop, double nLeft, double nBottom, double nRight, const QPen* pen) {
    QPainter* p = hDCOut();
    if (!p) return;
    p->save();
    p->setPen(pen ? *pen : QPen(Qt::black, 1));
    p->drawLine(QPointF(nLeft, nTop), QPointF(nRight, nBottom));
    p->restore();
}

void TPrinter::box(double nTop, double nLeft, double nBottom, double nRight, const QPen* pen) {
    QPainter* p = hDCOut();
    if (!p) return;
    p->save();
    p->setPen(pen ? *pen : QPen(Qt::black, 1));
    p->setBrush(Qt::NoBrush);
    p->drawRect(QRectF(QPointF(nLeft, nTop), QPointF(nRight, nBottom)).normalized());
    p->restore();
}

void TPrinter::fillRect(const std::array<double, 4>& aRect, const QBrush& brush) {
    QPainter* p = hDCOut();
    if (!p) return;
    const auto [top, left, bottom, right] = aRect;
    p->fillRect(QRectF(QPointF(left, top), QPointF(right, bottom)).normalized(), brush);
}

void TPrinter::sayBitmap(double nRow, double nCol, const std::string& cBitmap, double nWidth,
                         double nHeight, int nRaster) {
    (void)nRaster;  // pictures are always copied as they are
    QPainter* p = hDCOut();
    if (!p || cBitmap.empty()) return;
    QImage img = loadImage(cBitmap);
    if (img.isNull()) img = resourceBitmap(cBitmap).toImage();
    if (img.isNull()) return;
    const QSizeF size = nWidth > 0 && nHeight > 0 ? QSizeF(nWidth, nHeight) : QSizeF(img.size());
    p->drawImage(QRectF(QPointF(nCol, nRow), size), img);
}

double TPrinter::getTextWidth(const std::string& cText, const QFont* font) const {
    if (!printer_) return 0;
    return QFontMetricsF(deviceFont(font ? *font : oFont), printer_.get())
        .horizontalAdvance(qtText(cText));
}

}  // namespace wv
