#include "ui/geteditor.h"

#include <cstdlib>

#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/settings.h"
#include "runtime/transform.h"

namespace wv {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Letters of code page 1252: ASCII, the accented range and the few letters above 0x80.
bool isLetter(char ch) {
    auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    if (c >= 0xC0 && c != 0xD7 && c != 0xF7) return true;
    return c == 0x8A || c == 0x8C || c == 0x8E || c == 0x9A || c == 0x9C || c == 0x9E ||
           c == 0x9F || c == 0xAA || c == 0xB5 || c == 0xBA;
}

bool isInputPosition(char t) {
    return std::string_view("9#ANXLY!").find(t) != std::string_view::npos;
}

bool isNumberPosition(char t) { return t == '9' || t == '#' || t == '*' || t == '$'; }

}  // namespace

void GetEditor::setup(const Value& value, std::string_view picture) {
    picture_ = std::string(picture);
    functions_.clear();
    tmpl_.clear();
    if (!picture.empty() && picture[0] == '@') {
        size_t blank = picture.find(' ');
        std::string_view letters = picture.substr(1, blank == std::string_view::npos
                                                         ? std::string_view::npos
                                                         : blank - 1);
        for (char c : letters) functions_ += upperCaseChar(c);
        if (blank != std::string_view::npos) tmpl_ = std::string(picture.substr(blank + 1));
    } else {
        tmpl_ = std::string(picture);
    }
    upper_ = functions_.find('!') != std::string::npos;
    clearOnType_ = functions_.find('K') != std::string::npos;
    switch (value.type()) {
        case Value::Type::Number: kind_ = Kind::Number; break;
        case Value::Type::Date: kind_ = Kind::Date; break;
        case Value::Type::Logical: kind_ = Kind::Logical; break;
        default: kind_ = Kind::Text; break;
    }
    if (kind_ == Kind::Number && tmpl_.empty()) {
        // No template: the number's own width and decimals.
        const Number& n = value.numberInfo();
        int width = n.width > 0 ? n.width : 10;
        if (n.decimals > 0 && width > n.decimals + 1)
            tmpl_ = std::string(size_t(width - n.decimals - 1), '9') + "." +
                    std::string(size_t(n.decimals), '9');
        else
            tmpl_ = std::string(size_t(width), '9');
    }
    load(value);
}

void GetEditor::load(const Value& value) {
    original_ = value;
    changed_ = false;
    typing_ = false;
    fresh_ = false;
    buf_.clear();
    mask_.clear();
    switch (kind_) {
        case Kind::Text: {
            const std::string& s = value.text();
            if (tmpl_.empty()) {
                buf_ = s;
                mask_.assign(s.size(), 'X');
            } else {
                for (size_t i = 0; i < tmpl_.size(); ++i) {
                    char t = tmpl_[i];
                    if (isInputPosition(t)) {
                        mask_ += t;
                        buf_ += i < s.size() ? s[i] : ' ';
                    } else {
                        mask_ += char(0);
                        buf_ += t;
                    }
                }
            }
            for (size_t i = 0; i < buf_.size(); ++i)
                if (mask_[i] && (upper_ || mask_[i] == '!')) buf_[i] = upperCaseChar(buf_[i]);
            break;
        }
        case Kind::Date: {
            std::string fmt = settings().dateFormat();
            buf_ = dtoc(value.date());
            buf_.resize(fmt.size(), ' ');
            for (char f : fmt) mask_ += (f == 'd' || f == 'm' || f == 'y') ? '9' : char(0);
            break;
        }
        case Kind::Logical: {
            bool yes = value.logical();
            bool yn = tmpl_.find('Y') != std::string::npos;
            buf_ = yn ? (yes ? "Y" : "N") : (yes ? "T" : "F");
            mask_ = yn ? "Y" : "L";
            break;
        }
        case Kind::Number: {
            for (char t : tmpl_) mask_ += isNumberPosition(t) ? t : char(0);
            buf_ = transform(value, numberPicture());
            inDecimals_ = false;
            decimals_.clear();
            numberCursor();
            return;
        }
    }
    pos_ = firstEditable();
}

void GetEditor::focusIn() {
    fresh_ = true;
    if (kind_ != Kind::Number) pos_ = firstEditable();
}

int GetEditor::firstEditable() const { return nextEditable(-1); }

int GetEditor::nextEditable(int p) const {
    for (int q = p + 1; q < width(); ++q)
        if (editable(q)) return q;
    return width();
}

int GetEditor::prevEditable(int p) const {
    for (int q = std::min(p, width()) - 1; q >= 0; --q)
        if (editable(q)) return q;
    return -1;
}

bool GetEditor::accept(char mask, char& c) const {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    bool ok = false;
    switch (mask) {
        case '9': ok = isDigit(c); break;
        case '#': ok = isDigit(c) || c == ' ' || c == '+' || c == '-' || c == '.'; break;
        case 'A': ok = isLetter(c); break;
        case 'N': ok = isLetter(c) || isDigit(c); break;
        case 'L': {
            char u = upperCaseChar(c);
            ok = u == 'T' || u == 'F' || u == 'Y' || u == 'N';
            break;
        }
        case 'Y': {
            char u = upperCaseChar(c);
            ok = u == 'Y' || u == 'N';
            break;
        }
        default: ok = true; break;  // "X", "!"
    }
    if (ok && (upper_ || mask == '!' || mask == 'L' || mask == 'Y')) c = upperCaseChar(c);
    return ok;
}

void GetEditor::markChanged() {
    changed_ = true;
    fresh_ = false;
}

bool GetEditor::type(char c) {
    if (kind_ == Kind::Number) {
        if (!isDigit(c) && c != '-' && c != '+' && c != '.' && c != ',') return false;
        // Keep the state to take the key back when the result does not fit the template.
        std::string whole = whole_, decimals = decimals_;
        bool negative = negative_, inDecimals = inDecimals_, typing = typing_;
        if (!typing_) numberBegin();
        if (isDigit(c)) {
            if (inDecimals_) {
                if (int(decimals_.size()) >= decimalPositions()) {
                    whole_ = whole, decimals_ = decimals, negative_ = negative;
                    inDecimals_ = inDecimals, typing_ = typing;
                    return false;
                }
                decimals_ += c;
            } else if (!(whole_.empty() && c == '0')) {
                whole_ += c;
            }
        } else if (c == '.') {
            if (decimalPositions() > 0) inDecimals_ = true;
        } else if (c == '-') {
            negative_ = !negative_;
        } else if (c == '+') {
            negative_ = false;
        }
        numberLayout();
        if (buf_.find('*') != std::string::npos) {
            whole_ = whole, decimals_ = decimals, negative_ = negative;
            inDecimals_ = inDecimals, typing_ = typing;
            if (typing_)
                numberLayout();
            else
                load(original_);
            return false;
        }
        markChanged();
        return true;
    }

    if (pos_ >= width() || !editable(pos_)) return false;
    if (!accept(mask_[size_t(pos_)], c)) return false;
    if (fresh_ && clearOnType_ && pos_ == firstEditable()) clear();
    if (insert_ && kind_ == Kind::Text) {
        int last = pos_;
        for (int q = nextEditable(pos_); q < width(); q = nextEditable(q)) last = q;
        for (int q = last; q > pos_; q = prevEditable(q)) buf_[size_t(q)] = buf_[size_t(prevEditable(q))];
    }
    buf_[size_t(pos_)] = c;
    pos_ = nextEditable(pos_);
    markChanged();
    return true;
}

void GetEditor::backspace() {
    if (kind_ == Kind::Number) {
        if (!typing_) {
            numberFromValue(original_.num());
            typing_ = true;
        }
        if (inDecimals_) {
            if (decimals_.empty())
                inDecimals_ = false;
            else
                decimals_.pop_back();
        } else if (!whole_.empty()) {
            whole_.pop_back();
        } else {
            negative_ = false;
        }
        numberLayout();
        markChanged();
        return;
    }
    int p = prevEditable(pos_);
    if (p < 0) {
        fresh_ = false;
        return;
    }
    pos_ = p;
    del();
}

void GetEditor::del() {
    if (kind_ == Kind::Number) {
        numberBegin();
        numberLayout();
        markChanged();
        return;
    }
    if (!editable(pos_)) {
        fresh_ = false;
        return;
    }
    if (kind_ == Kind::Text) {
        int q = pos_;
        for (int n = nextEditable(q); n < width(); q = n, n = nextEditable(n))
            buf_[size_t(q)] = buf_[size_t(n)];
        buf_[size_t(q)] = ' ';
    } else {
        buf_[size_t(pos_)] = ' ';
    }
    markChanged();
}

void GetEditor::left() {
    fresh_ = false;
    if (kind_ == Kind::Number) return;
    int p = prevEditable(pos_);
    if (p >= 0) pos_ = p;
}

void GetEditor::right() {
    fresh_ = false;
    if (kind_ == Kind::Number) return;
    if (pos_ < width()) pos_ = nextEditable(pos_);
}

void GetEditor::home() {
    fresh_ = false;
    if (kind_ == Kind::Number) return;
    pos_ = firstEditable();
}

void GetEditor::end() {
    fresh_ = false;
    if (kind_ == Kind::Number) return;
    // Just after the last character that is not blank.
    int p = firstEditable();
    for (int q = firstEditable(); q < width(); q = nextEditable(q))
        if (buf_[size_t(q)] != ' ') p = nextEditable(q);
    pos_ = p;
}

void GetEditor::toggleInsert() { insert_ = !insert_; }

void GetEditor::moveTo(int pos) {
    if (kind_ == Kind::Number) return;
    pos_ = editable(pos) ? pos : nextEditable(pos);
    fresh_ = fresh_ && pos_ == firstEditable();
}

void GetEditor::clear() {
    if (kind_ == Kind::Number) {
        numberBegin();
        numberLayout();
    } else {
        for (int q = firstEditable(); q < width(); q = nextEditable(q)) buf_[size_t(q)] = ' ';
        pos_ = firstEditable();
    }
    markChanged();
}

bool GetEditor::badDate() const {
    if (kind_ != Kind::Date) return false;
    bool any = false;
    for (char c : buf_) any = any || isDigit(c);
    return any && ctod(buf_).empty();
}

Value GetEditor::value() const {
    switch (kind_) {
        case Kind::Text: return Value(buf_);
        case Kind::Date: return Value(ctod(buf_));
        case Kind::Logical: {
            char u = buf_.empty() ? 'F' : upperCaseChar(buf_[0]);
            return Value(u == 'T' || u == 'Y' || u == 'S');
        }
        case Kind::Number: {
            if (!typing_) return original_;
            std::string digits = (whole_.empty() ? "0" : whole_) + "." + decimals_ + "0";
            double d = std::strtod(digits.c_str(), nullptr);
            if (negative_) d = -d;
            if (d == 0) d = 0;  // no negative zero
            const Number& n = original_.numberInfo();
            return Value(Number{d, n.width, n.decimals});
        }
    }
    return Value();
}

// ---------------------------------------------------------------------------------------------
// Numbers

int GetEditor::wholePositions() const {
    int n = 0;
    for (char t : tmpl_) {
        if (t == '.') break;
        if (isNumberPosition(t)) ++n;
    }
    return n;
}

int GetEditor::decimalPositions() const {
    size_t point = tmpl_.find('.');
    if (point == std::string::npos) return 0;
    int n = 0;
    for (size_t i = point + 1; i < tmpl_.size(); ++i)
        if (isNumberPosition(tmpl_[i])) ++n;
    return n == 0 ? 1 : n;
}

void GetEditor::numberFromValue(double v) {
    negative_ = v < 0;
    int dec = decimalPositions();
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", dec, v < 0 ? -v : v);
    std::string s = text;
    size_t point = s.find('.');
    whole_ = s.substr(0, point);
    decimals_ = point == std::string::npos ? "" : s.substr(point + 1);
    while (!whole_.empty() && whole_[0] == '0') whole_.erase(0, 1);
    while (!decimals_.empty() && decimals_.back() == '0') decimals_.pop_back();
    inDecimals_ = !decimals_.empty();
}

void GetEditor::numberBegin() {
    whole_.clear();
    decimals_.clear();
    negative_ = false;
    inDecimals_ = false;
    typing_ = true;
}

void GetEditor::numberLayout() {
    std::string digits = (whole_.empty() ? "0" : whole_) + "." + decimals_ + "0";
    double d = std::strtod(digits.c_str(), nullptr);
    if (negative_) d = -d;
    buf_ = transform(Value::number(d, decimalPositions()), numberPicture());
    if (negative_ && d == 0) {
        // A lone "-" has no digit to stand beside: show it before the zero.
        size_t first = buf_.find_first_not_of(' ');
        if (first != std::string::npos && first > 0) buf_[first - 1] = '-';
    }
    numberCursor();
}

std::string GetEditor::numberPicture() const {
    return functions_.empty() ? tmpl_ : "@" + functions_ + " " + tmpl_;
}

void GetEditor::numberCursor() {
    // The cursor stands after the last digit typed.
    size_t point = tmpl_.find('.');
    if (inDecimals_ && point != std::string::npos) {
        int p = int(point);
        for (size_t k = 0; k < decimals_.size(); ++k) p = nextEditable(p);
        pos_ = std::min(p + 1, width());
    } else if (point != std::string::npos) {
        pos_ = int(point);
    } else {
        int last = -1;
        for (size_t i = 0; i < tmpl_.size(); ++i)
            if (isNumberPosition(tmpl_[i])) last = int(i);
        pos_ = last + 1;
    }
}

}  // namespace wv
