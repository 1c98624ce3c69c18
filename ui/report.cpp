#include "ui/report.h"

#include <QFontMetricsF>
#include <QPrinter>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "data/workarea.h"
#include "runtime/date.h"
#include "runtime/operator.h"
#include "ui/browse.h"
#include "ui/dialog.h"
#include "ui/printer.h"
#include "ui/text.h"

namespace wv {

namespace {

constexpr double kMarginInches = 0.5;  // from every edge of the sheet, inside the printable area
constexpr double kSmallestPoints = 5;  // how far the font shrinks to fit the columns
constexpr double kTitleScale = 1.2;    // the title lines against the rows' font

}  // namespace

// Where everything goes on a page, in pixels of the printable area, and the fonts as the
// printer draws them.
struct TReport::Layout {
    QFont font, bold, title;
    double charWidth = 0, lineHeight = 0, titleHeight = 0;
    double left = 0, right = 0, top = 0, bottom = 0;
    std::vector<double> colX;
    double tableRight = 0;
};

TReport::TReport(TPrinter& device, std::string name)
    : cName(std::move(name)),
      oFont(TPrinter::font("Lucida Console", 0, 10)),
      aPen{QPen(Qt::black, 1)},
      device_(device) {}

double TReport::phyWidth(int nUnit) const {
    const double px = device_.sheet().size.width();
    if (nUnit == kRptPixels) return px;
    if (device_.nLogPixelX() <= 0) return 0;
    const double inches = px / device_.nLogPixelX();
    return nUnit == kRptCmeters ? inches * 2.54 : inches;
}

double TReport::phyHeight(int nUnit) const {
    const double px = device_.sheet().size.height();
    if (nUnit == kRptPixels) return px;
    if (device_.nLogPixelY() <= 0) return 0;
    const double inches = px / device_.nLogPixelY();
    return nUnit == kRptCmeters ? inches * 2.54 : inches;
}

double TReport::toPixelsX(double v, int nUnit) const {
    const double perUnit = nUnit == kRptInches    ? device_.nLogPixelX()
                           : nUnit == kRptCmeters ? device_.nLogPixelX() / 2.54
                                                  : 1.0;
    return v * perUnit - device_.nXOffset;
}

double TReport::toPixelsY(double v, int nUnit) const {
    const double perUnit = nUnit == kRptInches    ? device_.nLogPixelY()
                           : nUnit == kRptCmeters ? device_.nLogPixelY() / 2.54
                                                  : 1.0;
    return v * perUnit - device_.nYOffset;
}

void TReport::box(double nTop, double nLeft, double nBottom, double nRight, int nPen, int nUnit) {
    if (aPen.empty()) aPen.emplace_back(Qt::black, 1);
    const QPen& pen = nPen >= 1 && size_t(nPen) <= aPen.size() ? aPen[size_t(nPen - 1)] : aPen[0];
    device_.box(toPixelsY(nTop, nUnit), toPixelsX(nLeft, nUnit), toPixelsY(nBottom, nUnit),
                toPixelsX(nRight, nUnit), &pen);
}

TReport::Layout TReport::measure() const {
    Layout l;
    l.left = std::max(0.0, toPixelsX(kMarginInches, kRptInches));
    l.right = std::min(double(device_.nHorzRes()),
                       toPixelsX(phyWidth(kRptInches) - kMarginInches, kRptInches));
    l.top = std::max(0.0, toPixelsY(kMarginInches, kRptInches));
    l.bottom = std::min(double(device_.nVertRes()),
                        toPixelsY(phyHeight(kRptInches) - kMarginInches, kRptInches));

    // The columns and the blanks between them, in characters.
    double chars = 0;
    for (const Column& c : aColumns) chars += std::max(0, c.width) + 1;
    chars = std::max(0.0, chars - 1);
    const double room = std::max(1.0, l.right - l.left);

    // The font in the printer's pixels, made smaller while the columns do not fit.
    QFont f = device_.deviceFont(oFont);
    const int smallest = std::max(1, int(kSmallestPoints * device_.nLogPixelY() / 72.0));
    auto charWidth = [&] {
        return QFontMetricsF(f, device_.printer()).horizontalAdvance(QLatin1Char('B'));
    };
    double cw = charWidth();
    for (int tries = 0; tries < 40 && cw * chars > room && f.pixelSize() > smallest; ++tries) {
        const int estimate = int(f.pixelSize() * room / (cw * chars));
        f.setPixelSize(std::max(smallest, std::min(f.pixelSize() - 1, estimate)));
        cw = charWidth();
    }
    l.font = f;
    l.bold = f;
    l.bold.setBold(true);
    l.title = l.bold;
    l.title.setPixelSize(std::max(1, int(std::lround(f.pixelSize() * kTitleScale))));
    l.charWidth = cw;
    l.lineHeight = QFontMetricsF(l.font, device_.printer()).height();
    l.titleHeight = QFontMetricsF(l.title, device_.printer()).height();

    double x = l.left;
    for (const Column& c : aColumns) {
        l.colX.push_back(x);
        l.tableRight = x + std::max(0, c.width) * cw;
        x += (std::max(0, c.width) + 1) * cw;
    }
    if (aColumns.empty()) l.tableRight = l.right;
    return l;
}

void TReport::drawRow(const Layout& l, double y, const std::vector<std::string>& cells,
                      const QFont& font) {
    for (size_t i = 0; i < aColumns.size() && i < cells.size(); ++i) {
        const std::string text = cells[i].substr(0, size_t(std::max(0, aColumns[i].width)));
        if (!text.empty()) device_.say(y, l.colX[i], text, &font);
    }
}

// The title, the header and the column titles with their rule; returns where the rows start.
double TReport::drawPageTop(const Layout& l) {
    double y = l.top;
    const double centre = (l.left + l.right) / 2;
    for (const std::string& t : aTitle) {
        device_.say(y, centre, t, &l.title, 0, 0, kBkTransparent, kPadCenter);
        y += l.titleHeight;
    }
    if (!aTitle.empty()) y += l.lineHeight / 2;
    for (const std::string& h : aHeader) {
        device_.say(y, l.left, h, &l.font);
        y += l.lineHeight;
    }
    y += l.lineHeight / 2;
    if (aColumns.empty()) return y;
    std::vector<std::string> titles;
    for (const Column& c : aColumns) titles.push_back(c.title);
    drawRow(l, y, titles, l.bold);
    y += l.lineHeight * 1.25;
    device_.line(y, l.left, y, l.tableRight, &aPen.front());
    return y + l.lineHeight / 4;
}

int TReport::print() {
    nPage = 0;
    if (!device_.hDC()) return 0;
    if (aPen.empty()) aPen.emplace_back(Qt::black, 1);
    const Layout l = measure();
    size_t next = 0;
    do {
        device_.startPage();
        ++nPage;
        const std::vector<std::string> footer =
            bFooter ? bFooter(nPage) : std::vector<std::string>{};
        // The footer ends on the bottom margin, under a rule a quarter of a line above it.
        const double footTop = l.bottom - double(footer.size()) * l.lineHeight - l.lineHeight / 2;
        double y = drawPageTop(l);
        // At least one row on every page, so that a page too small for any still ends.
        for (size_t onPage = 0; next < rows_.size() && (onPage == 0 || y + l.lineHeight <= footTop);
             ++onPage) {
            drawRow(l, y, rows_[next++], l.font);
            y += l.lineHeight;
        }
        if (!footer.empty()) {
            const double rule = footTop + l.lineHeight / 4;
            device_.line(rule, l.left, rule, l.right, &aPen.front());
            double fy = footTop + l.lineHeight / 2;
            for (const std::string& f : footer) {
                device_.say(fy, (l.left + l.right) / 2, f, &l.font, 0, 0, kBkTransparent,
                            kPadCenter);
                fy += l.lineHeight;
            }
        }
        if (bEndPage) bEndPage(*this);
        device_.endPage();
    } while (next < rows_.size());
    return nPage;
}

// ---------------------------------------------------------------------------------------------
// The browse's report

void TWBrowse::report(std::optional<std::string> title, bool preview, const std::string& name) {
    WorkArea* a = cAlias != "ARRAY" ? area() : nullptr;
    const uint32_t record = a ? a->recNo() : 0;
    const std::vector<BrowseReportColumn> columns = reportColumns();
    if (!title) {
        title = widget() && widget()->window() ? programText(widget()->window()->windowTitle())
                                               : dialog().cCaption;
    }

    // Direct printing asks the operator for the printer; the preview has its own print command.
    TPrinter prn(name, !preview, preview, "", true);
    if (!prn.hDC()) return;
    TReport rpt(prn, name);
    rpt.aTitle = {*title};
    const DateTime at = now();
    rpt.aHeader = {"Fecha: " + dtoc(at.date) + ", Hora: " + at.time};
    rpt.bFooter = [](int page) {
        char text[32];
        std::snprintf(text, sizeof text, "Pagina: %3d", page);
        return std::vector<std::string>{text};
    };
    for (const BrowseReportColumn& c : columns) rpt.addColumn(c.title, c.width);

    const long total = logicLen();
    const bool cancelled = msgProgress(
        [&](Progress& p) {
            p.setRange(uint32_t(std::max(1L, total)));
            uint32_t n = 0;
            reportRows([&](const std::vector<std::string>& cells) {
                rpt.addRow(cells);
                p.setPosition(++n);
                p.processEvents();
                return !p.finished();
            });
        },
        "Imprimiendo...", name);

    if (!cancelled) {
        rpt.print();
        if (preview)
            prn.preview();
        else
            prn.end();
    }
    prn.end();  // a cancelled report leaves no recording nor job behind
    if (a) a->goTo(record);
    refresh();
}

}  // namespace wv
