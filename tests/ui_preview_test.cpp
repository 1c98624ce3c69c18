// The print preview over a job recorded on a PDF device: pages turned and zoomed by command,
// key and wheel; printing all, the current page or a range as one job, a one-page document
// without asking; the recordings deleted when the window closes.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <filesystem>
#include <optional>

#include "runtime/operator.h"
#include "tests/test_support.h"
#include "tests/ui_fixture.h"
#include "ui/preview.h"

namespace wv {
namespace {

namespace fs = std::filesystem;
using test::EnvVar;
using test::pdfPages;

QAction* action(QWidget* w, const char* name) {
    auto* a = w->findChild<QAction*>(QLatin1String(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
}

// Answers the box asking which pages to print (over `below`) with a button, after `fill`.
void answer(QWidget* below, QDialogButtonBox::StandardButton button,
            std::function<void(QWidget*)> fill = [](QWidget*) {}) {
    test::whenModal(
        [=](QWidget* d) {
            fill(d);
            d->findChild<QDialogButtonBox*>()->button(button)->click();
        },
        below);
}

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApp();  // before the operator: the interface installs its own
        scope.emplace(op);
    }
    // A job of `pages` recorded pages in the scratch directory, each with its number.
    std::unique_ptr<TPrinter> job(int pages, bool modal) {
        auto prn = std::make_unique<TPrinter>(PdfDevice{out, QPageSize::Letter, {}, 100},
                                              "Listado", true, modal);
        prn->cDir = dir.path();
        const QFont large = TPrinter::font("Arial", 0, -48);
        for (int n = 1; n <= pages; ++n) {
            prn->startPage();
            prn->cmSay(3, 3, "Pagina " + std::to_string(n), &large);
            prn->endPage();
        }
        files = prn->aMeta();
        EXPECT_EQ(files.size(), size_t(pages));
        return prn;
    }
    void expectDiscarded() {
        for (const std::string& f : files) EXPECT_FALSE(fs::exists(f)) << f;
    }

    test::TempDir dir;
    std::string out = dir.file("out.pdf");
    std::vector<std::string> files;
    ScriptedOperator op;
    std::optional<ScriptedOperator::Scope> scope;
};

TEST_F(PreviewTest, PagesTurnAndZoomByCommandKeyAndWheel) {
    auto prn = job(3, false);
    QPointer<TPreview> w = prn->preview();
    ASSERT_TRUE(w);
    EXPECT_FALSE(prn->hDC()) << "the window owns the job now";
    prn.reset();
    EXPECT_TRUE(w->isVisible() && !w->isModal() && (w->windowState() & Qt::WindowMaximized));
    auto go = [&](const char* name) {
        action(w, name)->trigger();
        return w->nPage();
    };
    EXPECT_EQ(w->nPage(), 1);
    EXPECT_EQ(go("previous"), 1);
    EXPECT_EQ(go("next"), 2);
    EXPECT_EQ(go("last"), 3);
    EXPECT_EQ(go("next"), 3);
    EXPECT_EQ(go("first"), 1);
    // Two pages side by side: the last view shows pages 2 and 3.
    action(w, "twoPages")->trigger();
    EXPECT_EQ(go("last"), 2);
    action(w, "twoPages")->trigger();

    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    QTest::keyClick(w, Qt::Key_Home);
    EXPECT_EQ(w->nPage(), 1);
    QTest::keyClick(w, Qt::Key_PageDown);
    EXPECT_EQ(w->nPage(), 2);

    // The whole page fits: the wheel turns pages. Zoomed in, it scrolls the page first.
    QWidget* view = w->findChild<QScrollArea*>()->viewport();
    QScrollBar* bar = w->findChild<QScrollArea*>()->verticalScrollBar();
    auto wheel = [&](int dy) {
        QWheelEvent e(QPointF(20, 20), QPointF(20, 20), QPoint(), QPoint(0, dy), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &e);
        return w->nPage();
    };
    EXPECT_EQ(bar->maximum(), 0);
    EXPECT_EQ(wheel(-120), 3);
    EXPECT_EQ(wheel(120), 2);
    for (int i = 0; i < 10; ++i) action(w, "zoomIn")->trigger();
    EXPECT_EQ(w->nZoom(), TPreview::kMaxZoom);
    EXPECT_EQ(wheel(-120), 2);
    EXPECT_GT(bar->value(), 0);

    w->close();
    expectDiscarded();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
    EXPECT_FALSE(fs::exists(out)) << "nothing was printed";
}

TEST_F(PreviewTest, PrintAsksWhichPagesAndSendsThemAsOneJob) {
    auto prn = job(3, true);
    bool shown = false;
    test::whenModal([&](QWidget* w) {
        auto* prv = dynamic_cast<TPreview*>(w);
        ASSERT_NE(prv, nullptr);
        shown = true;
        QAction* print = action(prv, "print");
        answer(prv, QDialogButtonBox::Cancel);
        print->trigger();
        EXPECT_FALSE(fs::exists(out)) << "cancelled: nothing printed";

        answer(prv, QDialogButtonBox::Ok, [](QWidget* d) {
            auto* from = d->findChild<QLineEdit*>("fromPage");
            auto* to = d->findChild<QLineEdit*>("toPage");
            EXPECT_FALSE(from->isEnabled() || to->isEnabled()) << "typed only for a range";
            d->findChild<QRadioButton*>("pageRange")->click();
            EXPECT_TRUE(from->isEnabled() && to->isEnabled());
            from->clear();
            QTest::keyClicks(from, "2x");
            EXPECT_EQ(from->text(), "2");
            to->clear();
            QTest::keyClicks(to, "1234567");
            EXPECT_EQ(to->text(), "12345") << "five digits at most";
        });
        print->trigger();
        EXPECT_EQ(pdfPages(out), 2) << "pages 2 to 3";

        prv->next();
        answer(prv, QDialogButtonBox::Ok,
               [](QWidget* d) { d->findChild<QRadioButton*>("currentPage")->click(); });
        print->trigger();
        EXPECT_EQ(pdfPages(out), 1);
        answer(prv, QDialogButtonBox::Ok);  // all, as offered
        print->trigger();
        EXPECT_EQ(pdfPages(out), 3);
        EXPECT_EQ(prv->files(), files) << "printing keeps the recordings";
        action(prv, "exit")->trigger();
    });
    EXPECT_EQ(prn->preview(), nullptr);
    EXPECT_TRUE(shown) << "preview() returns once the modal window is closed";
    expectDiscarded();
    EXPECT_TRUE(op.shown.empty());
}

TEST_F(PreviewTest, OnePageIsPrintedWithoutAsking) {
    auto prn = job(1, true);
    int asked = 0;
    bool shown = false;
    test::whenModal([&](QWidget* w) {
        shown = true;
        // A box asking for pages would be closed here and counted.
        QTimer guard;
        guard.setInterval(5);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            QWidget* m = QApplication::activeModalWidget();
            if (m && m != w) ++asked, m->hide();
        });
        guard.start();
        action(w, "print")->trigger();
        guard.stop();
        EXPECT_EQ(pdfPages(out), 1);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    prn->preview();
    EXPECT_TRUE(shown);
    EXPECT_EQ(asked, 0);
    expectDiscarded();
}

}  // namespace
}  // namespace wv

namespace wv {
namespace {

// Guardar PDF writes every page to the file the operator chose, not to the printer.
TEST_F(PreviewTest, SavePdfWritesEveryPageToTheChosenFile) {
    auto prn = job(3, false);
    QPointer<TPreview> w = prn->preview();
    ASSERT_TRUE(w);
    prn.reset();
    const std::string saved = dir.file("listado");
    test::whenModal(
        [&](QWidget* d) {
            auto* fd = dynamic_cast<QFileDialog*>(d);
            ASSERT_NE(fd, nullptr);
            auto* name = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(saved));
            QMetaObject::invokeMethod(fd, "accept");
        },
        w);
    action(w, "savePdf")->trigger();
    EXPECT_EQ(pdfPages(saved + ".pdf"), 3) << "the extension is added";
    EXPECT_FALSE(fs::exists(out)) << "nothing went to the printer";
    w->close();
}

// The page on the screen carries what was drawn on it.
TEST_F(PreviewTest, TheWindowShowsThePagesInk) {
    auto prn = job(1, false);
    QPointer<TPreview> w = prn->preview();
    ASSERT_TRUE(w);
    prn.reset();
    w->resize(800, 600);
    QTest::qWait(50);
    const QImage shot = w->findChild<QScrollArea*>()->viewport()->grab().toImage();
    int dark = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) dark += qGray(shot.pixel(x, y)) < 60;
    EXPECT_GT(dark, 50) << "the text of the page";
    w->close();
}

// A picture of the preview for a person to look at (WV_UI_SHOTS=DIR).
TEST_F(PreviewTest, Shots) {
    const char* shots = std::getenv("WV_UI_SHOTS");
    if (!shots) GTEST_SKIP() << "WV_UI_SHOTS is not set";
    auto prn = job(3, false);
    QPointer<TPreview> w = prn->preview();
    ASSERT_TRUE(w);
    prn.reset();
    w->resize(1000, 700);
    QTest::qWait(200);
    EXPECT_TRUE(w->grab().save(QString::fromUtf8(shots) + "/preview.png"));
    w->close();
}

}  // namespace
}  // namespace wv
