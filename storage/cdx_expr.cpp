#include "storage/cdx_expr.h"

#include <cctype>
#include <cstring>

#include "runtime/codepage.h"
#include "runtime/error.h"

namespace wv {

RecordContext::RecordContext(DbfTable& table) : table_(table) {
    for (size_t i = 0; i < table.fieldCount(); ++i) {
        const FieldInfo& f = table.field(i);
        fields_.push_back({f.name, f.type, f.offset, f.len, f.dec});
    }
    std::string p = table.path();
    size_t slash = p.find_last_of('/');
    if (slash != std::string::npos) p = p.substr(slash + 1);
    size_t dot = p.rfind('.');
    if (dot != std::string::npos) p = p.substr(0, dot);
    for (char c : p) alias_ += char(std::toupper(static_cast<unsigned char>(c)));
}

int RecordContext::fieldIndex(std::string_view alias, std::string_view name) const {
    if (!alias.empty() && alias != alias_) return -1;
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name == name) return int(i);
    return -1;
}

const char* RecordContext::record(int idx) {
    char t = fields_[size_t(idx)].type;
    bool direct = t == 'C' || t == 'N' || t == 'F' || t == 'D' || t == 'L';
    return direct ? rec_ : nullptr;
}

Value RecordContext::fieldValue(int idx) {
    if (!rec_) return Value();
    return table_.decode(size_t(idx), rec_);
}

void encodeKey(const Value& v, char type, int keyLen, uint8_t* out) {
    switch (type) {
        case 'N':
            encodeNumberKey(v.num(), out);
            return;
        case 'D':
            encodeNumberKey(double(v.date().jd), out);
            return;
        case 'L':
            out[0] = v.logical() ? 'T' : 'F';
            return;
        default: {
            const std::string& s = v.text();
            size_t n = std::min(s.size(), size_t(keyLen));
            std::memcpy(out, s.data(), n);
            std::memset(out + n, ' ', size_t(keyLen) - n);
        }
    }
}

namespace {

class ExprTag : public TagExpressions {
public:
    ExprTag(DbfTable& t) : ctx_(t), blank_(t.recordLength(), ' ') {
        t.blankRecord(blank_.data());
    }
    bool compile(const std::string& keyExpr, const std::string& forExpr, std::string* error) {
        key_ = Expr::compile(keyExpr, ctx_, error);
        if (!key_) return false;
        if (key_->type() == Value::Type::Nil) {
            if (error) *error = "La clave no da un valor indexable: " + keyExpr;
            return false;
        }
        // The key's length on the blank record; nothing is shown to the operator for it.
        ScopedErrorHandler quiet([](const Error&) { return ErrorChoice::Default; });
        ctx_.setRecord(blank_.data(), 0);
        Value v = key_->eval(ctx_);
        switch (v.type()) {
            case Value::Type::Text:
                type_ = 'C';
                len_ = int(v.text().size());
                break;
            case Value::Type::Number: type_ = 'N'; len_ = 8; break;
            case Value::Type::Date: type_ = 'D'; len_ = 8; break;
            case Value::Type::Logical: type_ = 'L'; len_ = 1; break;
            default:
                if (error) *error = "La clave no da un valor indexable: " + keyExpr;
                return false;
        }
        // The commonest key is a character field on its own: its bytes are copied, which bulk
        // builds do for every record.
        std::string name = allTrim(upperCase(keyExpr));
        int fi = ctx_.fieldIndex("", name);
        if (type_ == 'C' && fi >= 0 && ctx_.field(fi).type == 'C' &&
            int(ctx_.field(fi).len) == len_) {
            plainOffset_ = int(ctx_.field(fi).offset);
        }
        if (len_ < 1 || len_ > 240) {
            if (error) *error = "Longitud de clave no válida: " + keyExpr;
            return false;
        }
        if (!forExpr.empty()) {
            for_ = Expr::compile(forExpr, ctx_, error);
            if (!for_) return false;
            if (for_->type() != Value::Type::Logical && !for_->eval(ctx_).isLogical()) {
                if (error) *error = "La condición FOR no es lógica: " + forExpr;
                return false;
            }
        }
        return true;
    }
    char keyType() const override { return type_; }
    int keyLength() const override { return len_; }
    bool hasFor() const override { return for_ != nullptr; }
    bool key(const char* record, uint32_t recno, uint8_t* out) override {
        if (plainOffset_ >= 0) {
            std::memcpy(out, record + plainOffset_, size_t(len_));
            return true;
        }
        ctx_.setRecord(record, recno);
        if (type_ == 'C') {
            if (!key_->evalText(ctx_, scratch_)) scratch_.clear();
            size_t n = std::min(scratch_.size(), size_t(len_));
            std::memcpy(out, scratch_.data(), n);
            std::memset(out + n, ' ', size_t(len_) - n);
            return true;
        }
        encodeKey(key_->eval(ctx_), type_, len_, out);
        return true;
    }
    bool forHolds(const char* record, uint32_t recno) override {
        if (!for_) return true;
        ctx_.setRecord(record, recno);
        return for_->eval(ctx_).logical();
    }

private:
    RecordContext ctx_;
    std::string blank_;
    std::unique_ptr<Expr> key_, for_;
    char type_ = 'C';
    int len_ = 0;
    int plainOffset_ = -1;  // a plain character field: its offset in the record
    std::string scratch_;
};

}  // namespace

ExpressionCompiler tableExpressionCompiler(DbfTable& table) {
    return [&table](const std::string& keyExpr, const std::string& forExpr,
                    std::string* error) -> std::unique_ptr<TagExpressions> {
        auto t = std::make_unique<ExprTag>(table);
        if (!t->compile(keyExpr, forExpr, error)) return nullptr;
        return t;
    };
}

}  // namespace wv
