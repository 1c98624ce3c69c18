#include "runtime/transform.h"

#include <bitset>
#include <cmath>

#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/numtext.h"

namespace wv {

namespace {

// A picture split into its function letters (upper-cased) and its template.
struct Picture {
    std::bitset<128> functions;
    std::string_view tmpl;

    bool has(char c) const { return functions.test(static_cast<unsigned char>(c) & 0x7F); }
};

Picture parsePicture(std::string_view pic) {
    Picture p;
    if (pic.empty() || pic[0] != '@') {
        p.tmpl = pic;
        return p;
    }
    size_t blank = pic.find(' ');
    std::string_view letters = pic.substr(1, blank == std::string_view::npos ? blank : blank - 1);
    if (blank != std::string_view::npos) p.tmpl = pic.substr(blank + 1);
    for (size_t i = 0; i < letters.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(letters[i]);
        if (c >= 0x80) continue;
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 0x20);
        p.functions.set(c);
        // "S" carries the width of a scrolling entry field; its digits are not letters ("0").
        if (c == 'S')
            while (i + 1 < letters.size() && letters[i + 1] >= '0' && letters[i + 1] <= '9') ++i;
    }
    return p;
}

bool isDigitPosition(char c) {
    return c == '9' || c == '#' || c == '*' || c == '$';
}

// Positions of a text template that take a character of the value.
bool isTextPosition(char c) {
    return std::string_view("9#ANXLY!").find(c) != std::string_view::npos;
}

// Leading blanks become zeros; a minus sign goes to the front ("  -5" → "-005").
void zeroFill(std::string& s) {
    size_t n = s.find_first_not_of(' ');
    if (n == 0 || n == std::string::npos || s[n] == '*') return;
    if (s[n] == '-') {
        s.replace(0, n + 1, "-" + std::string(n, '0'));
    } else {
        s.replace(0, n, std::string(n, '0'));
    }
}

// The number as a right-aligned text of the given width and decimals; asterisks when it does
// not fit. A number below one that is one position too wide drops its leading zero (".50").
std::string convert(double v, int width, int decimals, bool zeros) {
    std::string s = str(v, width, decimals);
    if (!s.empty() && s[0] == '*' && decimals > 0 && std::isfinite(v) &&
        std::fabs(roundTo(v, decimals)) < 1) {
        std::string t = str(std::fabs(v), decimals + 2, decimals).substr(1);  // ".dd"
        if (v < 0 && roundTo(v, decimals) != 0) t.insert(0, "-");
        if (int(t.size()) <= width) s = std::string(width - t.size(), ' ') + t;
    }
    if (zeros) zeroFill(s);
    return s;
}

// The digit positions of a number template before and after its first ".". A "." with no
// digit position after it still counts one decimal.
struct Positions {
    size_t point = std::string_view::npos;
    int whole = 0;
    int decimals = 0;
};

Positions positionsOf(std::string_view t) {
    Positions ps;
    ps.point = t.find('.');
    for (size_t i = 0; i < t.size(); ++i)
        if (isDigitPosition(t[i])) ++(i < ps.point ? ps.whole : ps.decimals);
    if (ps.point != std::string_view::npos && ps.decimals == 0) ps.decimals = 1;
    return ps;
}

// A number laid out by a template; the result is exactly as long as the template.
std::string formatNumber(double v, std::string_view t, bool zeros) {
    const Positions ps = positionsOf(t);
    int width = ps.whole + ps.decimals + (ps.decimals ? 1 : 0);
    std::string conv = convert(v, width, ps.decimals, zeros);

    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::string out;
    out.reserve(t.size());
    size_t cur = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        char c = t[i];
        if (c == '9' || c == '#') {
            out += cur < conv.size() ? conv[cur++] : ' ';
        } else if (c == '*' || c == '$') {
            char d = cur < conv.size() ? conv[cur++] : ' ';
            out += d == ' ' ? c : d;
        } else if (i == ps.point) {
            out += '.';
            cur = size_t(ps.whole) + 1;  // past the converted point
        } else if (c == ',') {
            if (cur > 0 && cur <= conv.size() && isDigit(conv[cur - 1])) {
                out += ',';
            } else if (!out.empty() && out.back() == '-') {
                out.back() = ' ';
                out += '-';
            } else if (!out.empty() && out.back() == '*') {
                out += '*';
            } else {
                out += ' ';
            }
        } else {
            out += c;
        }
    }
    return out;
}

std::string transformNumber(const Value& value, const Picture& p) {
    double v = value.num();
    bool zeros = p.has('L') || p.has('0');
    auto layout = [&](double x) {
        if (!p.tmpl.empty()) return formatNumber(x, p.tmpl, zeros);
        const Number& n = value.numberInfo();
        std::string s = str(x, n.width, n.decimals);
        if (zeros) zeroFill(s);
        return s;
    };
    std::string out = layout(v);

    // Parentheses replace the sign. Both letters add a position on each side so that a column
    // of amounts stays aligned; "(" keeps the leading blanks inside the parentheses, ")" moves
    // the opening one up to the first digit.
    if (p.has('(') || p.has(')')) {
        int decimals = p.tmpl.empty() ? value.numberInfo().decimals : positionsOf(p.tmpl).decimals;
        if (v < 0 && roundTo(v, decimals) != 0) {
            out = layout(-v);
            size_t at = 0;
            if (p.has(')') && !p.has('(')) {
                at = out.find_first_not_of(' ');
                if (at == std::string::npos) at = out.size();
            }
            out.insert(at, "(");
            out += ')';
        } else {
            out = " " + out + " ";
        }
    }
    if (p.has('E')) {
        for (char& c : out) {
            if (c == '.')
                c = ',';
            else if (c == ',')
                c = '.';
        }
    }
    if (p.has('B')) {
        size_t n = out.find_first_not_of(' ');
        if (n != std::string::npos && n > 0) out = out.substr(n) + std::string(n, ' ');
    }
    if (p.has('Z') && v == 0) out.assign(out.size(), ' ');
    return out;
}

// A text laid out by a template: template positions take the next character ("!" upper-cased),
// other characters of the template are copied. With "R" they are inserted between the
// characters of the value; without it they stand in place of the character at that position.
std::string transformText(std::string_view s, const Picture& p) {
    bool upper = p.has('!');
    if (p.tmpl.empty()) return upper ? upperCase(s) : std::string(s);
    bool insert = p.has('R');
    std::string out;
    out.reserve(p.tmpl.size());
    size_t k = 0;
    for (char c : p.tmpl) {
        if (isTextPosition(c)) {
            char ch = k < s.size() ? s[k++] : ' ';
            out += upper || c == '!' ? upperCaseChar(ch) : ch;
        } else {
            out += c;
            if (!insert) ++k;
        }
    }
    return out;
}

std::string transformLogical(bool b, const Picture& p) {
    if (p.tmpl.empty()) return p.has('Y') ? (b ? "Y" : "N") : (b ? "T" : "F");
    // The first template position shows the value; later ones are blank.
    std::string out;
    bool shown = false;
    for (char c : p.tmpl) {
        if (!isTextPosition(c)) {
            out += c;
        } else if (shown) {
            out += ' ';
        } else {
            out += c == 'Y' ? (b ? 'Y' : 'N') : (b ? 'T' : 'F');
            shown = true;
        }
    }
    return out;
}

}  // namespace

std::string transform(const Value& value, std::string_view picture) {
    Picture p = parsePicture(picture);
    switch (value.type()) {
        case Value::Type::Number:
            if (picture.empty()) return value.toText();
            return transformNumber(value, p);
        case Value::Type::Text:
            return transformText(value.text(), p);
        case Value::Type::Date: {
            std::string s = dtoc(value.date());
            if (p.has('Z') && value.date().empty()) return std::string(s.size(), ' ');
            if (p.tmpl.empty() || p.has('D')) return s;
            return transformText(s, p);
        }
        case Value::Type::Logical:
            return transformLogical(value.logical(), p);
        case Value::Type::Nil:
        case Value::Type::Array:
            break;
    }
    return "";
}

}  // namespace wv
