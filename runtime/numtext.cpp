#include "runtime/numtext.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace wv {

namespace {
const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
double pow10(int n) { return n >= 0 && n <= 22 ? kPow10[n] : std::pow(10.0, n); }
}  // namespace

double roundTo(double value, int decimals) {
    if (!std::isfinite(value)) return value;
    double p = pow10(decimals);
    double x = std::fabs(value) * p;
    if (x >= 4503599627370496.0) return value;  // 2^52: nothing after the point to round
    // A value that is a hair below the half because of its binary form still rounds up.
    double r = std::floor(x + 0.5 + x * 4 * DBL_EPSILON);
    r /= p;
    return value < 0 ? -r : r;
}

bool strInto(double value, int width, int decimals, char* out) {
    if (width <= 0) return true;
    if (decimals < 0) decimals = 0;
    double r = roundTo(value, decimals);
    if (r == 0) r = 0;  // no negative zero
    char buf[400];
    int n = std::isfinite(r) && std::fabs(r) < 1e300
                ? std::snprintf(buf, sizeof buf, "%.*f", decimals > 60 ? 60 : decimals, r)
                : -1;
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
