#include "runtime/date.h"

#include <cctype>
#include <cstdio>
#include <ctime>

#include "runtime/settings.h"

namespace wv {

namespace {
bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int daysIn(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}
}  // namespace

Date dateFromYmd(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > daysIn(y, m)) return Date{};
    // Fliegel and Van Flandern, proleptic Gregorian calendar.
    int a = (m - 14) / 12;
    int jd = d - 32075 + 1461 * (y + 4800 + a) / 4 + 367 * (m - 2 - a * 12) / 12 -
             3 * ((y + 4900 + a) / 100) / 4;
    return Date{jd};
}

void ymdFromDate(Date dt, int& y, int& m, int& d) {
    if (dt.jd <= 0) {
        y = m = d = 0;
        return;
    }
    int l = dt.jd + 68569;
    int n = 4 * l / 146097;
    l = l - (146097 * n + 3) / 4;
    int i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    int j = 80 * l / 2447;
    d = l - 2447 * j / 80;
    l = j / 11;
    m = j + 2 - 12 * l;
    y = 100 * (n - 49) + i + l;
}

int year(Date d) {
    int y, m, dd;
    ymdFromDate(d, y, m, dd);
    return y;
}
int month(Date d) {
    int y, m, dd;
    ymdFromDate(d, y, m, dd);
    return m;
}
int day(Date d) {
    int y, m, dd;
    ymdFromDate(d, y, m, dd);
    return dd;
}
int dow(Date d) { return d.jd <= 0 ? 0 : (d.jd + 1) % 7 + 1; }

std::string dtos(Date d) {
    if (d.jd <= 0) return std::string(8, ' ');
    int y, m, dd;
    ymdFromDate(d, y, m, dd);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, dd);
    return buf;
}

Date stod(std::string_view s) {
    if (s.size() < 8) return Date{};
    int v[8];
    for (int i = 0; i < 8; ++i) {
        if (s[i] < '0' || s[i] > '9') return Date{};
        v[i] = s[i] - '0';
    }
    return dateFromYmd(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5],
                       v[6] * 10 + v[7]);
}

std::string dtoc(Date d) {
    const Settings& st = settings();
    if (d.jd <= 0) return st.century ? "  /  /    " : "  /  /  ";
    int y, m, dd;
    ymdFromDate(d, y, m, dd);
    char buf[16];
    if (st.century)
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", dd, m, y);
    else
        std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", dd, m, y % 100);
    return buf;
}

Date ctod(std::string_view s) {
    // Day, month and year in that order, each a run of digits, separated by anything else.
    int parts[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int k = 0;
    size_t i = 0;
    while (i < s.size() && k < 3) {
        while (i < s.size() && !std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        if (i >= s.size()) break;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            if (digits[k] < 5) parts[k] = parts[k] * 10 + (s[i] - '0');
            ++digits[k];
            ++i;
        }
        ++k;
    }
    if (k < 3) return Date{};
    int y = parts[2];
    if (digits[2] <= 2) {
        int epoch = settings().epoch;
        y += epoch / 100 * 100;
        if (y < epoch) y += 100;
    }
    return dateFromYmd(y, parts[1], parts[0]);
}

DateTime now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return {dateFromYmd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday), buf};
}

Date today() { return now().date; }

std::string timeText() { return now().time; }

}  // namespace wv
