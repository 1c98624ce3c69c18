// Index keys and FOR conditions of a table's tags, evaluated by the expression engine on raw
// record bytes.
#pragma once

#include <string>

#include "runtime/expr.h"
#include "storage/cdx.h"
#include "storage/dbf.h"

namespace wv {

// A table's fields as expressions see them, over a record given as raw bytes. The alias a field
// may be qualified with is the table's file name without extension.
class RecordContext : public ExprContext {
public:
    explicit RecordContext(DbfTable& table);
    void setRecord(const char* bytes, uint32_t recno) {
        rec_ = bytes;
        recno_ = recno;
    }
    int fieldIndex(std::string_view alias, std::string_view name) const override;
    const ExprField& field(int idx) const override { return fields_[size_t(idx)]; }
    const char* record(int idx) override;
    Value fieldValue(int idx) override;
    bool deleted() override { return rec_ && rec_[0] == '*'; }
    uint32_t recNo() override { return recno_; }

private:
    DbfTable& table_;
    std::vector<ExprField> fields_;
    std::string alias_;
    const char* rec_ = nullptr;
    uint32_t recno_ = 0;
};

// The compiler a table's bags use: keys and FOR conditions as expressions on its records.
ExpressionCompiler tableExpressionCompiler(DbfTable& table);

// Encodes a key value for a tag of the given type and length (texts cut or padded with blanks).
void encodeKey(const Value& v, char type, int keyLen, uint8_t* out);

}  // namespace wv
