// The record forms of the catalogues: articles, customers, and the generic form of a two-field
// catalogue (the invoicing concepts). The browser calls a form with a mode (catalogo.h): add,
// consult and modify show the record in a dialog, delete asks and deletes, maintenance rebuilds
// the catalogue's tags. The form works on the browser's table, current and positioned.
//
// What is written is decided here, where no screen is needed; the dialog only edits the
// buffers and answers whether the operator accepted:
//   - an add checks its code again under the lock that appends, so two stations adding at once
//     never store one code twice; a code taken meanwhile becomes the next free one, and the
//     operator is told;
//   - a modify writes only over the record it loaded: when another station changed or deleted
//     it meanwhile, the operator is told and shown the current values;
//   - a customer that an invoice uses cannot be deleted;
//   - maintenance rebuilds the tags only while no other station has the table open.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/value.h"

namespace wv {

// One edit of a form: the table field behind it, its buffer and what the dialog shows.
struct FormField {
    FormField() = default;
    FormField(int i, std::string f, std::string pic, std::string m, std::string tip)
        : id(i), field(std::move(f)), picture(std::move(pic)), msg(std::move(m)),
          toolTip(std::move(tip)) {}

    int id = 0;  // the layout's control
    std::string field;
    std::string picture;
    std::string msg;
    std::string toolTip;
    Value value;
};

class RecordForm {
public:
    // A form of the catalogue (for the caption) over the table of the alias.
    RecordForm(std::string catalog, std::string alias, int mode, std::vector<FormField> fields);

    const std::string catalog;
    const std::string alias;
    const int mode;
    std::vector<FormField> fields;  // the code first
    bool accepted = false;
    // The invoicing concept's name shown beside the article's concept code.
    std::string conceptName;

    bool editable() const;
    // "Detalle de: " + the catalogue's display name + the mode's suffix.
    std::string caption() const;
    FormField& field(const std::string& name);
    Value& operator[](const std::string& name) { return field(name).value; }
    FormField& code() { return fields.front(); }

    // The buffers filled: an add takes the next free code and blanks; the other modes the
    // current record. False when there is nothing to show: no real record under the browser,
    // or (add) no free code left, which the operator has been told.
    bool load();
    // The code edit's validation: the code zero-filled in place, then refused in add mode when
    // the catalogue has it already.
    bool validCode();

    enum class Saved {
        Written,
        NotWritten,  // no lock or no room: told by the routines that failed, or here
        Reloaded,    // another station changed the record: told, and the buffers now hold its
                     // current values for the dialog to show again
    };
    // Writes an accepted add or modify. An add stores the buffers in a new record; a modify
    // writes the fields named (all when none are) over the record it loaded.
    Saved save(const std::vector<std::string>& only = {});

    // Deletes the loaded record after the question (with the answer "Yes"): false when it was
    // not deleted. The record is checked again under its lock: gone already, or refused by
    // `refusal` (which answers why, empty when it may go; said once the lock is released),
    // nothing is deleted. A lock not obtained is told with lockFailure when given.
    bool erase(const std::string& question, const std::string& lockFailure = "",
               const std::function<std::string()>& refusal = {});

    // Rebuilds the catalogue's tags where they stand, once the table is this station's alone
    // for the while; with another station on it the operator is told and nothing is touched.
    void maintain(const std::string& file, const std::vector<std::pair<std::string, std::string>>&
                                               tags, const std::string& dir = ".\\");

private:
    bool sameAsLoaded();
    void readRecord();
    void writeFields(const std::vector<std::string>& only);

    uint32_t recno_ = 0;
    std::vector<Value> loaded_;
};

// The dialog of a form: edits the buffers; true when the operator accepted.
using FormDialog = std::function<bool(RecordForm&)>;

// F_ARTICULO, F_CLIENTES, F_COMUNES: the form of the mode over the current catalogue.
void fArticulo(int mode, const FormDialog& dialog);
void fClientes(int mode, const FormDialog& dialog);
void fComunes(int mode, const FormDialog& dialog);

// The article form's concept code edit: the code looked up in the concepts (VALCOD), and the
// concept's name taken from the record found (blank after a dismissed list). Always accepts.
void articleConcept(RecordForm& form);

// Whether an invoice of the area `invoices` names the customer (true without the area).
bool customerInvoiced(const std::string& code, int invoices);

}  // namespace wv
