#include "runtime/numtext.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace wv {

namespace {
const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
}  // namespace

double pow10(int n) { return n >= 0 && n <= 22 ? kPow10[n] : std::pow(10.0, n); }

double roundTo(double value, int decimals) {
    if (!std::isfinite(value)) return value;
    if (decimals < 0) {
        double p = pow10(-decimals);
        double r = std::floor(std::fabs(value) / p + 0.5) * p;
        return value < 0 ? -r : r;
    }
    // Away from a tie the scaled value decides alone: the integer it rounds to, divided by the
    // power of ten, is the double the decimal way below reads back. Near a tie (where 1.005 is
    // really 1.00499999...) and for large values, the decimal way decides.
    if (decimals <= 15) {
        const double p = pow10(decimals);
        const double x = std::fabs(value) * p;
        // Below 2^30 the product and the decimal form differ by under 4e-7, well within the
        // margin kept from the tie.
        if (x < 1073741824.0) {
            const double whole = std::floor(x), frac = x - whole;
            if (std::fabs(frac - 0.5) > 1e-6) {
                const double r = (frac > 0.5 ? whole + 1 : whole) / p;
                return value < 0 ? -r : r;
            }
        }
    }
    // The value as the shortest decimal text that reads back as the same double: that is the
    // number the operator typed or a field holds (1.005, not 1.00499999999999989...), and it is
    // rounded as decimal digits, half away from zero, whatever its size.
    char buf[400];
    auto [end, ec] = std::to_chars(buf + 1, buf + sizeof buf, std::fabs(value),
                                   std::chars_format::fixed);
    if (ec != std::errc()) return value;
    buf[0] = '0';  // room for a carry
    char* point = std::find(buf + 1, end, '.');
    if (point == end || end - point - 1 <= decimals) return value;
    char* last = point + decimals;  // the last digit kept (the point itself when none)
    const bool up = last[1] >= '5';
    char* stop = decimals > 0 ? last + 1 : point;
    if (up) {
        char* d = last == point ? point - 1 : last;
        for (;;) {
            if (d == point) --d;
            if (*d == '9') {
                *d = '0';
                --d;
                continue;
            }
            ++*d;
            break;
        }
    }
    double r = 0;
    std::from_chars(buf, stop, r, std::chars_format::fixed);
    return value < 0 ? -r : r;
}

bool strInto(double value, int width, int decimals, char* out) {
    if (width <= 0) return true;
    if (decimals < 0) decimals = 0;
    double r = roundTo(value, decimals);
    if (r == 0) r = 0;  // no negative zero
    char buf[400];
    int n = -1;
    if (std::isfinite(r) && std::fabs(r) < 1e300) {
        // As printf's "%.*f" writes it.
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed,
                                       decimals > 60 ? 60 : decimals);
        if (ec == std::errc()) n = int(end - buf);
    }
    if (n < 0 || n > width) {
        std::memset(out, '*', width);
        return false;
    }
    std::memset(out, ' ', width - n);
    std::memcpy(out + (width - n), buf, n);
    return true;
}

std::string str(double value, int width, int decimals) {
    if (width <= 0) return {};
    std::string s(width, ' ');
    strInto(value, width, decimals, s.data());
    return s;
}

double val(std::string_view s) {
    size_t i = 0, n = s.size();
    while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool neg = false;
    if (i < n && (s[i] == '-' || s[i] == '+')) {
        neg = s[i] == '-';
        ++i;
        while (i < n && s[i] == ' ') ++i;
    }
    // Up to 18 significant digits in an integer, then scaled once: exact for field-sized values.
    unsigned long long mant = 0;
    int digits = 0, scale = 0, extra = 0;
    bool point = false;
    for (; i < n; ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9') {
            if (digits < 18) {
                mant = mant * 10 + unsigned(c - '0');
                if (mant) ++digits;
                if (point) ++scale;
            } else if (!point) {
                ++extra;
            }
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    double v = double(mant);
    if (extra) v *= pow10(extra);
    if (scale) v /= pow10(scale);
    return neg && v != 0 ? -v : v;  // "-" alone or "-0" reads plain 0
}

}  // namespace wv
