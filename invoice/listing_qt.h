// The listing of the invoices issued in a range of dates on the screen: the window DLG_FACEXP
// over the rows of listing.h, with the count and the sums in the grid's footers, cancelled
// invoices in their own colour, the incremental search on the number, the invoice opened in the
// query screen by a double click, and the buttons that print the listing through the preview,
// export it as a CSV file and leave.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "invoice/listing.h"
#include "ui/browse.h"
#include "ui/dialog.h"

namespace wv {

// What opens one invoice in the query screen (F_CAP_FACT in mode 2), given its number; the
// application wires it. The listing is read again when it returns.
using OpenInvoice = std::function<void(const std::string& number)>;

// One run of the window. The object is here so that a caller (a test) can reach its controls
// while it is up; facturasExpedidas runs one from start to end.
class ListadoWindow {
public:
    // Over a listing already open and read.
    ListadoWindow(ListadoFacturas& listado, OpenInvoice openInvoice);
    ListadoWindow(const ListadoWindow&) = delete;
    ListadoWindow& operator=(const ListadoWindow&) = delete;

    // Runs the window modally until the operator leaves it.
    void run();
    // The listing read again, the cursor kept on the invoice it was on when it is still there.
    void reload();
    // The highlighted invoice in the query screen, then the listing read again.
    void openCurrent();
    // The browse's report through the preview: the title with the range, the totals after the
    // last row.
    void print();
    // The CSV file to a path the operator chooses; false when nothing was written (the operator
    // gave no name, or the file could not be written: told).
    bool exportCsv();
    bool writeCsv(const std::string& path);

    // The row under the cursor (0 for the first); -1 with no rows.
    long current() const { return listado.rows().empty() ? -1 : cur_; }
    // The footers as the grid shows them.
    std::vector<std::string> footerTexts() const;

    ListadoFacturas& listado;
    OpenInvoice openInvoice;
    // Asks for the CSV file's name; a save dialog by default. "" leaves.
    std::function<std::string()> chooseCsvFile;
    std::string cBusqueda;  // the number being searched
    TDialog dlg;
    TWBrowse* brw = nullptr;

private:
    void bindBrowse();
    Array line() const;
    long moveBy(long n);

    long cur_ = 0;
    bool reporting_ = false;  // the report's source ends with the totals' lines
};

// The listing of the range on the screen; nothing is shown when the tables cannot be read.
void facturasExpedidas(Date first, Date last, OpenInvoice openInvoice);

// What asks the operator for the range (the application's date dialog): nothing when he left
// with "Salir". Set where the screens are registered; the previous one is returned.
using ListingRange = std::function<std::optional<std::array<Date, 2>>()>;
ListingRange setListingRange(ListingRange ask);

// The menu's "Facturas Expedidas": the range asked for, then its listing. Without a range
// dialog set, the range is today's.
void facturasExpedidas(OpenInvoice openInvoice);

}  // namespace wv
