// Helpers of the interface tests: one QApplication for the program (offscreen unless a display
// is asked for), and running test code while a modal window is up.
#pragma once

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QRect>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "runtime/codepage.h"
#include "ui/interface.h"
#include "ui/qtoperator.h"
#include "ui/text.h"

namespace wv::test {

// Qt's notices about the headless platform itself are not the program's.
inline void quietPlatformNotices(QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (msg.contains(QLatin1String("propagateSizeHints")) ||
        msg.contains(QLatin1String("XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(msg));
    if (type == QtFatalMsg) std::abort();
}

inline void ensureApp() {
    if (QApplication::instance()) return;
    qInstallMessageHandler(quietPlatformNotices);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "wv_ui_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    initInterface();
}

// Runs `body` with the window `find` gives, once it gives one: a polling timer asks every 5 ms
// for up to ten seconds, so the body runs inside whatever modal loop is current.
inline void whenFound(std::function<QWidget*()> find, std::function<void(QWidget*)> body) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout,
                     [timer, ticks, find = std::move(find), body = std::move(body)] {
                         QWidget* w = find();
                         if (!w && ++*ticks <= 2000) return;
                         timer->stop();
                         timer->deleteLater();
                         if (w) body(w);
                     });
    timer->start();
}

// Runs `body` with the next modal window other than `below` once it is up and active (the call
// that opens it follows this one). Whatever the body leaves open is closed after it, so a failed
// check cannot hang the test.
inline void whenModal(std::function<void(QWidget*)> body, QWidget* below = nullptr) {
    whenFound(
        [below]() -> QWidget* {
            QWidget* w = QApplication::activeModalWidget();
            return w && w != below && w->isVisible() ? w : nullptr;
        },
        [below, body = std::move(body)](QWidget* w) {
            (void)QTest::qWaitForWindowActive(w, 1000);
            body(w);
            for (int i = 0; i < 10; ++i) {
                QWidget* open = QApplication::activeModalWidget();
                if (!open || open == below) break;
                open->hide();
            }
        });
}

// Runs `body` with the next popup menu once it is up (the click that opens it follows this
// call). The popup is closed after the body, whatever the body did.
inline void whenPopup(std::function<void(QMenu*)> body) {
    whenFound([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
              [body = std::move(body)](QWidget* w) {
                  body(static_cast<QMenu*>(w));
                  for (int i = 0; i < 10 && QApplication::activePopupWidget(); ++i)
                      QApplication::activePopupWidget()->close();
              });
}

// Every pixel of an area of the image.
template <class F>
void eachPixel(const QImage& img, const QRect& area, F f) {
    const QRect r = area.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) f(x, y, img.pixel(x, y));
}

// The smallest rectangle holding every dark pixel of the area; null when there is none.
inline QRect inkBox(const QImage& img, const QRect& area) {
    QRect box;
    eachPixel(img, area, [&](int x, int y, QRgb c) {
        if (qGray(c) < 160) box |= QRect(x, y, 1, 1);
    });
    return box;
}

// A click as a person makes it: the events queued by the press run before the release.
inline void humanClick(QWidget* w) {
    QTest::mousePress(w, Qt::LeftButton);
    QTest::qWait(20);
    QTest::mouseRelease(w, Qt::LeftButton);
}

// Types text that QTest cannot spell (letters beyond ASCII) into the widget, key by key.
inline void typeText(QWidget* w, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

// Program texts (code page 1252) from the UTF-8 of the tests, and back.
inline std::string cp(const char* utf8) { return fromUtf8(utf8); }
inline std::string utf8(const std::string& cp1252) { return toUtf8(cp1252); }

// Installs a Qt operator that also counts the beeps.
class BeepCounter : public QtOperator {
public:
    BeepCounter() : prev_(setOperator(this)) {}
    ~BeepCounter() override { setOperator(prev_); }
    void beep() override { ++beeps; }
    int beeps = 0;

private:
    Operator* prev_;
};

}  // namespace wv::test
