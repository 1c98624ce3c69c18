// The print preview: a maximised window over the pages a printer object recorded (printer.h),
// one page at a time or two side by side, with first / previous / next / last page, zoom in and
// out, print, save as a PDF file and close. Print asks for all pages, the current one or a range and sends the chosen
// recordings to the printer as one job; a one-page document is printed without asking. The
// window owns the job: closing it deletes the recordings.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPicture>
#include <memory>
#include <string>
#include <vector>

#include "ui/printer.h"

class QAction;
class QLabel;
class QPainter;
class QPrinter;
class QScrollArea;
class QWidget;

namespace wv {

// Replays a recorded page on the painter, whose transformation maps the printer's pixels
// (counted from the printable area's corner) to its device.
void playPage(QPainter& painter, const QPicture& page);
// A recorded page read from its file; an empty page when the file cannot be read.
QPicture loadPage(const std::string& file);
// A recorded page on white paper: an image of the whole sheet, `scale` image pixels to one
// printer pixel.
QImage renderPage(const QPicture& page, const Sheet& sheet, double scale);

// What a preview takes over from the printer object.
struct PreviewJob {
    std::unique_ptr<QPrinter> printer;
    std::vector<std::string> pages;  // the recordings' files, in page order
    std::string cDocument;
    Sheet sheet;
};

class TPreview : public QDialog {
public:
    static constexpr int kMaxZoom = 6;

    explicit TPreview(PreviewJob job, QWidget* parent = nullptr);
    ~TPreview() override;

    int nPage() const { return nPage_; }  // the page shown (the left one of two), 1 for the first
    int pageCount() const { return int(pages_.size()); }
    bool twoPages() const { return twoPages_; }
    int nZoom() const { return nZoom_; }  // 1 shows the whole page in the window
    const std::vector<std::string>& files() const { return files_; }
    QPrinter* printer() const { return printer_.get(); }

    void first();
    void previous();
    void next();
    void last();
    void zoomIn();
    void zoomOut();
    void setTwoPages(bool on);
    // The Print command: asks which pages unless there is only one.
    void print();
    // Pages from..to (1 for the first) to the printer as one job; false when the job could not
    // be started.
    bool printPages(int from, int to);

    // Every page, as the printer would print it, to a PDF file; false when it could not be
    // written. The Guardar PDF command asks the operator for the file first.
    bool savePdf(const std::string& file);
    void askAndSavePdf();

    // Closing deletes the recordings.
    void done(int r) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    int lastStart() const;
    double scale() const;
    QRectF pageRect(int slot) const;
    void relayout();
    void paintPages(QPainter& p);
    void discard();

    std::unique_ptr<QPrinter> printer_;
    std::vector<std::string> files_;
    std::vector<QPicture> pages_;
    // The pages on the screen, drawn once per page and scale.
    struct Shown {
        int index = -1;
        double scale = 0;
        QImage image;
    };
    Shown shown_[2];
    std::string cDocument_;
    Sheet sheet_;
    int nPage_ = 1;
    int nZoom_ = 1;
    bool twoPages_ = false;

    QScrollArea* scroll_ = nullptr;
    QWidget* canvas_ = nullptr;
    QLabel* status_ = nullptr;
    QAction* first_ = nullptr;
    QAction* previous_ = nullptr;
    QAction* next_ = nullptr;
    QAction* last_ = nullptr;
    QAction* zoomIn_ = nullptr;
    QAction* zoomOut_ = nullptr;
    QAction* two_ = nullptr;
};

}  // namespace wv
