#include "ui/preview.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

#include "runtime/operator.h"
#include "ui/controls.h"
#include "ui/text.h"

namespace wv {

void playPage(QPainter& painter, const QPicture& page) {
    // A recording replays scaled by its device's resolution over the screen's, as if it had
    // been drawn on the screen; the pages are drawn in the printer's pixels, so that scaling is
    // undone first.
    static const QPicture reference;
    const QPaintDevice* device = painter.device();
    painter.save();
    painter.scale(double(reference.logicalDpiX()) / device->logicalDpiX(),
                  double(reference.logicalDpiY()) / device->logicalDpiY());
    painter.drawPicture(QPointF(0, 0), page);
    painter.restore();
}

QPicture loadPage(const std::string& file) {
    QPicture page;
    if (!page.load(QFile::decodeName(file.c_str()))) return QPicture();
    return page;
}

QImage renderPage(const QPicture& page, const Sheet& sheet, double scale) {
    QImage img(std::max(1, int(std::ceil(sheet.size.width() * scale))),
               std::max(1, int(std::ceil(sheet.size.height() * scale))), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.scale(scale, scale);
    p.translate(sheet.origin);
    playPage(p, page);
    p.end();
    return img;
}

namespace {

constexpr double kGap = 12;
constexpr double kMaxPagePixels = 32e6;  // the largest picture of one page kept for the screen  // around and between the pages shown, screen pixels

// The area the pages are painted on.
class PageCanvas : public QWidget {
public:
    PageCanvas(std::function<void(QPainter&)> paint, QWidget* parent)
        : QWidget(parent), paint_(std::move(paint)) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        paint_(p);
    }

private:
    std::function<void(QPainter&)> paint_;
};

// Which pages to print: all, the current one, or a range from / to (up to five digits each,
// typed only when the range is chosen).
class PrintRangeDialog : public QDialog {
public:
    PrintRangeDialog(int current, int count, QWidget* parent)
        : QDialog(parent), current_(current), count_(count) {
        setWindowTitle(qtText("Imprimir"));
        auto* group = new QGroupBox(qtText("Páginas a imprimir"), this);
        all_ = new QRadioButton(qtText("&Todas"), group);
        all_->setObjectName(QStringLiteral("allPages"));
        this_ = new QRadioButton(qtText("Página &actual"), group);
        this_->setObjectName(QStringLiteral("currentPage"));
        range_ = new QRadioButton(qtText("&Rango de páginas"), group);
        range_->setObjectName(QStringLiteral("pageRange"));
        from_ = digits(QStringLiteral("fromPage"), 1);
        to_ = digits(QStringLiteral("toPage"), count);

        auto* grid = new QGridLayout(group);
        grid->addWidget(all_, 0, 0, 1, 4);
        grid->addWidget(this_, 1, 0, 1, 4);
        grid->addWidget(range_, 2, 0, 1, 4);
        grid->addWidget(new QLabel(qtText("Desde:"), group), 3, 0);
        grid->addWidget(from_, 3, 1);
        grid->addWidget(new QLabel(qtText("Hasta:"), group), 3, 2);
        grid->addWidget(to_, 3, 3);

        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setText(qtText("&Imprimir"));
        buttons->button(QDialogButtonBox::Cancel)->setText(qtText("&Cancelar"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(group);
        layout->addWidget(buttons);

        connect(range_, &QRadioButton::toggled, this, [this](bool on) {
            from_->setEnabled(on);
            to_->setEnabled(on);
        });
        all_->setChecked(true);
        from_->setEnabled(false);
        to_->setEnabled(false);
    }

    // The pages chosen, first and last.
    std::pair<int, int> range() const {
        if (this_->isChecked()) return {current_, current_};
        if (!range_->isChecked()) return {1, count_};
        return {from_->text().isEmpty() ? 1 : from_->text().toInt(),
                to_->text().isEmpty() ? count_ : to_->text().toInt()};
    }

private:
    QLineEdit* digits(const QString& name, int value) {
        auto* edit = new QLineEdit(QString::number(value), this);
        edit->setObjectName(name);
        edit->setMaxLength(5);
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,5}")), edit));
        return edit;
    }

    int current_;
    int count_;
    QRadioButton* all_;
    QRadioButton* this_;
    QRadioButton* range_;
    QLineEdit* from_;
    QLineEdit* to_;
};

}  // namespace

TPreview::TPreview(PreviewJob job, QWidget* parent)
    : QDialog(parent),
      printer_(std::move(job.printer)),
      files_(std::move(job.pages)),
      cDocument_(std::move(job.cDocument)),
      sheet_(job.sheet) {
    pages_.reserve(files_.size());
    for (const std::string& f : files_) pages_.push_back(loadPage(f));
    // A preview still open when the program ends leaves no recordings behind.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { discard(); });

    QString title = qtText("Vista Previa");
    if (!cDocument_.empty()) title += QStringLiteral(" - ") + qtText(cDocument_);
    setWindowTitle(title);
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);

    auto* bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    auto add = [&](const char* name, const char* caption, const char* tip, const QIcon& icon,
                   QList<QKeySequence> keys, std::function<void()> slot) {
        auto* a = new QAction(icon, qtText(caption), this);
        a->setObjectName(QLatin1String(name));
        a->setToolTip(qtText(tip));
        a->setShortcuts(keys);
        connect(a, &QAction::triggered, this, std::move(slot));
        bar->addAction(a);
        return a;
    };
    QStyle* st = style();
    first_ = add("first", "&Primera", "Primera página", st->standardIcon(QStyle::SP_MediaSkipBackward),
                 {QKeySequence(Qt::Key_Home), QKeySequence(Qt::CTRL | Qt::Key_Home)},
                 [this] { first(); });
    previous_ = add("previous", "&Anterior", "Página anterior",
                    st->standardIcon(QStyle::SP_MediaSeekBackward),
                    {QKeySequence(Qt::Key_PageUp)}, [this] { previous(); });
    next_ = add("next", "&Siguiente", "Página siguiente",
                st->standardIcon(QStyle::SP_MediaSeekForward), {QKeySequence(Qt::Key_PageDown)},
                [this] { next(); });
    last_ = add("last", "&Ultima", "Ultima página", st->standardIcon(QStyle::SP_MediaSkipForward),
                {QKeySequence(Qt::Key_End), QKeySequence(Qt::CTRL | Qt::Key_End)},
                [this] { last(); });
    bar->addSeparator();
    zoomIn_ = add("zoomIn", "A&cercar", "Acercar la página", QIcon(),
                  {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Plus)},
                  [this] { zoomIn(); });
    zoomOut_ = add("zoomOut", "A&lejar", "Alejar la página", QIcon(),
                   {QKeySequence(Qt::Key_Minus), QKeySequence(Qt::CTRL | Qt::Key_Minus)},
                   [this] { zoomOut(); });
    two_ = add("twoPages", "&Dos páginas", "Ver dos páginas juntas", QIcon(), {}, [] {});
    two_->setCheckable(true);
    connect(two_, &QAction::toggled, this, [this](bool on) { setTwoPages(on); });
    bar->addSeparator();
    add("print", "&Imprimir", "Imprimir el documento", QIcon(resourceBitmap("PRINT")),
        {QKeySequence(Qt::CTRL | Qt::Key_P)}, [this] { print(); });
    add("savePdf", "&Guardar PDF", "Guardar el documento en un archivo PDF",
        st->standardIcon(QStyle::SP_DialogSaveButton), {QKeySequence(Qt::CTRL | Qt::Key_S)},
        [this] { askAndSavePdf(); });
    add("exit", "&Salir", "Cerrar la vista previa", st->standardIcon(QStyle::SP_DialogCloseButton),
        {}, [this] { reject(); });
    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    status_ = new QLabel(bar);
    status_->setObjectName(QStringLiteral("status"));
    bar->addWidget(status_);

    scroll_ = new QScrollArea(this);
    scroll_->setBackgroundRole(QPalette::Dark);
    scroll_->setWidgetResizable(false);
    canvas_ = new PageCanvas([this](QPainter& p) { paintPages(p); }, scroll_);
    canvas_->setObjectName(QStringLiteral("pages"));
    scroll_->setWidget(canvas_);
    scroll_->viewport()->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(scroll_, 1);
    resize(800, 600);  // when it is restored
    setWindowState(windowState() | Qt::WindowMaximized);
    relayout();
}

TPreview::~TPreview() { discard(); }

void TPreview::discard() {
    for (const std::string& f : files_) QFile::remove(QFile::decodeName(f.c_str()));
    files_.clear();
}

void TPreview::done(int r) {
    discard();
    QDialog::done(r);
}

// The page shown first when the last page is in view.
int TPreview::lastStart() const {
    return std::max(1, pageCount() - (twoPages_ ? 1 : 0));
}

void TPreview::first() {
    nPage_ = 1;
    relayout();
}

void TPreview::previous() {
    nPage_ = std::max(1, nPage_ - 1);
    relayout();
}

void TPreview::next() {
    nPage_ = std::min(lastStart(), nPage_ + 1);
    relayout();
}

void TPreview::last() {
    nPage_ = lastStart();
    relayout();
}

void TPreview::zoomIn() {
    nZoom_ = std::min(kMaxZoom, nZoom_ + 1);
    relayout();
}

void TPreview::zoomOut() {
    nZoom_ = std::max(1, nZoom_ - 1);
    relayout();
}

void TPreview::setTwoPages(bool on) {
    twoPages_ = on && pageCount() > 1;
    {
        const QSignalBlocker quiet(two_);
        two_->setChecked(twoPages_);
    }
    nPage_ = std::min(nPage_, lastStart());
    relayout();
}

// Screen pixels to one printer pixel: at zoom 1 the pages shown fit the window.
double TPreview::scale() const {
    const QSize view = scroll_->viewport()->size();
    const int n = twoPages_ ? 2 : 1;
    const QSizeF sheet = sheet_.size;
    if (sheet.width() <= 0 || sheet.height() <= 0) return 1;
    const double fitH = (view.height() - 2 * kGap) / sheet.height();
    const double fitW = (view.width() - (n + 1) * kGap) / (n * sheet.width());
    return std::max(0.01, std::min(fitH, fitW)) * nZoom_;
}

// Where the page in a slot (0, or 1 for the right one) lies on the canvas.
QRectF TPreview::pageRect(int slot) const {
    const int n = twoPages_ ? 2 : 1;
    const QSizeF page = sheet_.size * scale();
    const double wide = n * page.width() + (n - 1) * kGap;
    const double x = std::max(kGap, (canvas_->width() - wide) / 2);
    const double y = std::max(kGap, (canvas_->height() - page.height()) / 2);
    return QRectF(x + slot * (page.width() + kGap), y, page.width(), page.height());
}

void TPreview::relayout() {
    const int n = twoPages_ ? 2 : 1;
    const QSizeF page = sheet_.size * scale();
    const QSize content(int(std::floor(n * page.width() + (n + 1) * kGap)),
                        int(std::floor(page.height() + 2 * kGap)));
    canvas_->resize(content.expandedTo(scroll_->viewport()->size()));
    canvas_->update();

    const int count = pageCount();
    QString where = twoPages_ && nPage_ < count
                        ? qtText("Páginas %1 y %2 de %3").arg(nPage_).arg(nPage_ + 1).arg(count)
                        : qtText("Página %1 de %2").arg(nPage_).arg(count);
    status_->setText(where + qtText("    Zoom: %1").arg(nZoom_));
    first_->setEnabled(nPage_ > 1);
    previous_->setEnabled(nPage_ > 1);
    next_->setEnabled(nPage_ < lastStart());
    last_->setEnabled(nPage_ < lastStart());
    zoomIn_->setEnabled(nZoom_ < kMaxZoom);
    zoomOut_->setEnabled(nZoom_ > 1);
    two_->setEnabled(count > 1);
}

void TPreview::paintPages(QPainter& p) {
    p.fillRect(canvas_->rect(), palette().color(QPalette::Dark));
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                     QPainter::SmoothPixmapTransform);
    const double s = scale();
    for (int slot = 0; slot < (twoPages_ ? 2 : 1); ++slot) {
        const int index = nPage_ - 1 + slot;
        if (index >= pageCount()) break;
        const QRectF r = pageRect(slot);
        p.fillRect(r.translated(4, 4), palette().color(QPalette::Shadow));
        p.fillRect(r, Qt::white);
        // The page is drawn into a picture of the screen's pixels first: a recording played
        // straight onto a window loses its text on some platforms.
        // Zoomed far in, the picture is held to a size memory can bear and stretched.
        const double dpr = canvas_->devicePixelRatioF();
        const double area = sheet_.size.width() * sheet_.size.height();
        const double rs = area > 0 ? std::min(s * dpr, std::sqrt(kMaxPagePixels / area)) : s * dpr;
        Shown& shown = shown_[slot];
        if (shown.index != index || shown.scale != rs)
            shown = {index, rs, renderPage(pages_[size_t(index)], sheet_, rs)};
        p.drawImage(r, shown.image);
        p.setPen(Qt::black);
        p.drawRect(r);
    }
}

void TPreview::print() {
    if (pageCount() == 1) {
        printPages(1, 1);
        return;
    }
    PrintRangeDialog ask(nPage_, pageCount(), this);
    if (ask.exec() != QDialog::Accepted) return;
    const auto [from, to] = ask.range();
    printPages(from, to);
}

bool TPreview::printPages(int from, int to) {
    if (!printer_ || pages_.empty()) return false;
    from = std::clamp(from, 1, pageCount());
    to = std::clamp(to, 1, pageCount());
    if (from > to) std::swap(from, to);
    printer_->setDocName(qtText(cDocument_));
    QPainter p;
    if (!p.begin(printer_.get())) {
        msgStop("No fue posible iniciar la impresión de: " + cDocument_);
        return false;
    }
    for (int n = from; n <= to; ++n) {
        if (n > from) printer_->newPage();
        playPage(p, pages_[size_t(n - 1)]);
    }
    return p.end();
}

// A PDF file laid out as the printer's pages are, so that the recordings land where they would on
// paper.
bool TPreview::savePdf(const std::string& file) {
    if (pages_.empty()) return false;
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(QString::fromStdString(file));
    pdf.setDocName(qtText(cDocument_));
    if (printer_) {
        pdf.setResolution(printer_->resolution());
        pdf.setFullPage(printer_->fullPage());
        pdf.setPageLayout(printer_->pageLayout());
    }
    QPainter p;
    if (!p.begin(&pdf)) return false;
    for (size_t n = 0; n < pages_.size(); ++n) {
        if (n > 0) pdf.newPage();
        playPage(p, pages_[n]);
    }
    return p.end();
}

void TPreview::askAndSavePdf() {
    QString name = qtText(cDocument_.empty() ? std::string("documento") : cDocument_);
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    QString file = QFileDialog::getSaveFileName(
        this, qtText("Guardar PDF"), QDir::home().filePath(name + QStringLiteral(".pdf")),
        qtText("Documentos PDF (*.pdf)"), nullptr, QFileDialog::DontUseNativeDialog);
    if (file.isEmpty()) return;
    if (!file.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) file += QStringLiteral(".pdf");
    if (!savePdf(file.toStdString()))
        msgStop("No fue posible guardar el archivo: " + programText(file));
}

bool TPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_->viewport()) {
        if (event->type() == QEvent::Resize) {
            relayout();
        } else if (event->type() == QEvent::Wheel) {
            // The wheel scrolls the page; past its top or bottom it turns to the page before or
            // after. With Ctrl it zooms.
            auto* wheel = static_cast<QWheelEvent*>(event);
            const int dy = wheel->angleDelta().y();
            if (wheel->modifiers() & Qt::ControlModifier) {
                if (dy > 0) zoomIn();
                if (dy < 0) zoomOut();
                return true;
            }
            QScrollBar* bar = scroll_->verticalScrollBar();
            if (dy < 0 && bar->value() >= bar->maximum() && nPage_ < lastStart()) {
                next();
                bar->setValue(bar->minimum());
                return true;
            }
            if (dy > 0 && bar->value() <= bar->minimum() && nPage_ > 1) {
                previous();
                bar->setValue(bar->maximum());
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TPreview::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    relayout();
    scroll_->setFocus();
}

}  // namespace wv
