#include "app/utils.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

#include "data/application.h"
#include "runtime/operator.h"

namespace wv {

namespace {

bool trimmable(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Removes leading blanks, TABs, CRs and LFs.
std::string trimLeft(const std::string& s, size_t from = 0) {
    while (from < s.size() && trimmable(s[from])) ++from;
    return s.substr(std::min(from, s.size()));
}

std::string padTo(std::string s, size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

}  // namespace

std::vector<std::string> grappa(const std::string& cTexto, int nAncho) {
    std::string text = trimLeft(cTexto);
    if (nAncho <= 0) return {""};
    const size_t w = size_t(nAncho);
    if (text.size() <= w) return {text};

    std::vector<std::string> lines;
    // Positions in the comments are 1-based, as the rules are written; text[k - 1] is position k.
    while (!text.empty()) {
        // CR LF pairs inside the width end a line there; the next line starts right after the
        // pair, untrimmed, so blanks after a line break are kept.
        for (size_t pos; (pos = text.substr(0, w).find("\r\n")) != std::string::npos;) {
            lines.push_back(padTo(text.substr(0, pos), w));
            text.erase(0, pos + 2);
        }
        if (text.size() <= w) {
            lines.push_back(padTo(text, w));
            break;
        }
        const char atWidth = text[w - 1], afterWidth = text[w];
        if (atWidth == ' ' || atWidth == '\r' || afterWidth == ' ' || afterWidth == '\r') {
            if (atWidth == '\r') {
                lines.push_back(padTo(text.substr(0, w - 1), w));
                text = trimLeft(text, w - 1);
            } else {
                lines.push_back(text.substr(0, w));
                text = trimLeft(text, w);
            }
            continue;
        }
        // Break at the last blank or CR before the width.
        bool broken = false;
        for (size_t p = w - 1; p >= 1; --p) {
            const char c = text[p - 1];
            if (c != ' ' && c != '\r') continue;
            if (p > 1) {
                if (c == '\r') {
                    lines.push_back(padTo(text.substr(0, p - 1), w));
                    text = trimLeft(text, p - 1);
                } else {
                    lines.push_back(padTo(text.substr(0, p), w));
                    text = trimLeft(text, p);
                }
                broken = true;
            } else if (c == '\r') {
                // A lone CR opening the text (a CR LF pair would have been taken above): it
                // stands for an empty line. Only the CR goes; the character after it is text.
                lines.push_back(std::string(w, ' '));
                text = trimLeft(text, 1);
            } else {
                text = trimLeft(text, 1);
            }
            break;
        }
        if (broken) continue;
        if (text.empty()) break;
        // No place to break: cut the word at the width.
        lines.push_back(padTo(text.substr(0, w), w));
        text = trimLeft(text, std::min(w, text.size()));
    }
    return lines;
}

std::string xToC(const Value& xValor) {
    switch (xValor.type()) {
        case Value::Type::Text:
        case Value::Type::Number:
        case Value::Type::Date:
            return xValor.toText();
        default:
            break;
    }
    msgInfo("Tipo no considerado [" + std::string(1, xValor.typeLetter()) + "]",
            oApp().cEmpresa);
    return "";
}

int64_t aleatorio(int64_t nMax) {
    if (nMax < 1) return 0;
    static std::mt19937_64 engine{std::random_device{}()};
    return std::uniform_int_distribution<int64_t>(1, nMax)(engine);
}

namespace {

std::string dotted(const sockaddr_in* sin) {
    char buf[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &sin->sin_addr, buf, sizeof buf)) return "";
    return buf;
}

bool isLoopback(const sockaddr_in* sin) {
    return (ntohl(sin->sin_addr.s_addr) >> 24) == 127;
}

}  // namespace

std::string fIpLocal() {
    std::string loopback;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        if (getaddrinfo(host, nullptr, &hints, &res) == 0) {
            std::string found;
            for (addrinfo* ai = res; ai && found.empty(); ai = ai->ai_next) {
                if (ai->ai_family != AF_INET || !ai->ai_addr) continue;
                auto* sin = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
                if (isLoopback(sin)) {
                    if (loopback.empty()) loopback = dotted(sin);
                } else {
                    found = dotted(sin);
                }
            }
            freeaddrinfo(res);
            if (!found.empty()) return found;
        }
    }
    // The host name names only the loopback address, or does not resolve: the address of the
    // first interface that is up and not the loopback one.
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        std::string found;
        for (ifaddrs* ifa = list; ifa && found.empty(); ifa = ifa->ifa_next) {
            if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET) continue;
            if (!(ifa->ifa_flags & IFF_UP) || (ifa->ifa_flags & IFF_LOOPBACK)) continue;
            found = dotted(reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr));
        }
        freeifaddrs(list);
        if (!found.empty()) return found;
    }
    return loopback;
}

}  // namespace wv
