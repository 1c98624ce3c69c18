#include "app/mainwindow_qt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <memory>
#include <vector>

#include "app/utils_qt.h"
#include "data/application.h"
#include "runtime/date.h"
#include "storage/workstation.h"
#include "ui/appui.h"
#include "ui/controls.h"
#include "ui/text.h"

namespace wv {

namespace {

// The user item's text colour: dark blue.
const QColor kUserColour(0, 0, 128);

QIcon bitmapIcon(const std::string& name) {
    if (name.empty()) return QIcon();
    QPixmap p = resourceBitmap(name);
    return p.isNull() ? QIcon() : QIcon(p);
}

// The client area: the company picture stretched over all of it; a right click opens the menu.
class ClientArea : public QWidget {
public:
    explicit ClientArea(TMainWindow* w) : QWidget(w), window_(w) {}

protected:
    void paintEvent(QPaintEvent*) override {
        const QImage& img = oAppUi().oImagen;
        if (img.isNull()) return;
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(rect(), img);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::RightButton) {
            QPoint at = e->position().toPoint();
            window_->rightClick(at.y(), at.x());
        }
    }

private:
    TMainWindow* window_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Message bar items

MsgItem::MsgItem(QWidget* parent, const std::string& text, int width, const std::string& bitmap,
                 const std::string& toolTip, std::function<void()> action)
    : QLabel(parent), bAction(std::move(action)) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setFixedWidth(width);
    if (!toolTip.empty()) setToolTip(qtText(toolTip));
    QPixmap p = bitmap.empty() ? QPixmap() : resourceBitmap(bitmap);
    if (!p.isNull()) {
        // The picture stands at the item's left, the text after it.
        auto* pic = new QLabel(this);
        pic->setPixmap(p.scaledToHeight(16, Qt::SmoothTransformation));
        pic->setGeometry(3, 2, 16, 16);
        setIndent(22);
    }
    setItemText(text);
    if (bAction) setCursor(Qt::PointingHandCursor);
}

void MsgItem::setItemText(const std::string& text) { setText(qtText(text)); }

void MsgItem::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && bAction && rect().contains(e->position().toPoint()))
        bAction();
}

// ---------------------------------------------------------------------------------------------
// The menu

void fillMenu(QWidget* root) {
    // The container of each level: level 1 rows go into the root.
    std::vector<QWidget*> containers{root};
    const auto& tree = menuTree();
    for (size_t i = 0; i < tree.size(); ++i) {
        const MenuEntry& e = tree[i];
        containers.resize(size_t(e.level));
        QWidget* into = containers.back();
        auto* bar = qobject_cast<QMenuBar*>(into);
        auto* menu = qobject_cast<QMenu*>(into);
        if (e.isSeparator()) {
            if (menu) menu->addSeparator();
            if (bar) bar->addSeparator();
            continue;
        }
        bool opens = i + 1 < tree.size() && tree[i + 1].level > e.level;
        QAction* act = nullptr;
        if (opens) {
            QMenu* sub = bar ? bar->addMenu(qtText(e.caption)) : menu->addMenu(qtText(e.caption));
            act = sub->menuAction();
            containers.push_back(sub);
        } else {
            act = bar ? bar->addAction(qtText(e.caption)) : menu->addAction(qtText(e.caption));
            Command c = e.action;
            QObject::connect(act, &QAction::triggered, [c] { mainCommand(c); });
        }
        // A menu bar shows a picture instead of the caption: its own items go without one.
        if (!bar) {
            act->setIcon(bitmapIcon(e.bitmap));
            act->setIconVisibleInMenu(true);
        }
        if (!e.message.empty()) act->setStatusTip(qtText(e.message));
    }
}

QWidget* fMenu(int nRow, int nCol) {
    QMainWindow* wnd = oAppUi().oWnd;
    MenuUse use = menuUse(nRow, nCol);
    if (use == MenuUse::MenuBar) {
        auto* bar = new QMenuBar(wnd);
        fillMenu(bar);
        return bar;
    }
    // Without a parent: the caller owns the menu whatever becomes of the window.
    auto* menu = new QMenu;
    fillMenu(menu);
    // A popup is a window of its own: the messages of its items are handed to the main
    // window's message bar here, as the menu bar's are by the window itself.
    if (wnd) {
        QList<QMenu*> menus = menu->findChildren<QMenu*>();
        menus.prepend(menu);
        for (QMenu* m : menus)
            QObject::connect(m, &QMenu::hovered, wnd, [wnd](QAction* a) {
                wnd->statusBar()->showMessage(a->statusTip());
            });
        QObject::connect(menu, &QMenu::aboutToHide, wnd, [wnd] { wnd->statusBar()->clearMessage(); });
    }
    if (use == MenuUse::ContextShown) {
        QWidget* client = wnd ? wnd->centralWidget() : nullptr;
        QPoint at(nCol, nRow);
        menu->exec(client ? client->mapToGlobal(at) : at);
    }
    return menu;
}

void mainCommand(Command c) {
    if (c == Command::Salir) {
        if (QMainWindow* w = oAppUi().oWnd) w->close();
        return;
    }
    runCommand(c);
}

void openDateTimeSettings() {
    struct Way {
        const char* program;
        QStringList args;
    };
    const Way ways[] = {
        {"gnome-control-center", {"datetime"}},
        {"kcmshell6", {"kcm_clock"}},
        {"kcmshell5", {"clock"}},
        {"cinnamon-settings", {"calendar"}},
        {"time-admin", {}},
    };
    for (const Way& w : ways) {
        QString exe = QStandardPaths::findExecutable(QString::fromLatin1(w.program));
        if (!exe.isEmpty()) {
            QProcess::startDetached(exe, w.args);
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The window

TMainWindow::TMainWindow() {
    TApplicationUi& ui = oAppUi();
    ui.oWnd = this;
    setWindowTitle(qtText(wv::windowTitle(os::computerName(), os::networkUser())));
    if (!ui.oIcon.isNull()) setWindowIcon(ui.oIcon);
    auto* bar = static_cast<QMenuBar*>(fMenu());
    setMenuBar(bar);
    setCentralWidget(new ClientArea(this));
    buildBar();
    buildMessageBar();
    connect(&timer_, &QTimer::timeout, this, [this] { refreshClock(); });
    timer_.setTimerType(Qt::PreciseTimer);  // the clock neither skips nor repeats a second
    timer_.start(1000);
}

TMainWindow::~TMainWindow() {
    TApplicationUi& ui = oAppUi();
    ui.oBar = nullptr;
    ui.aoBtn = {};
}

void TMainWindow::buildBar() {
    TApplicationUi& ui = oAppUi();
    auto* bar = new QToolBar(this);
    bar->setObjectName("oBar");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(32, 32));
    addToolBar(Qt::TopToolBarArea, bar);
    ui.oBar = bar;
    for (const BarButton& b : barButtons()) {
        if (b.newGroup) bar->addSeparator();
        auto* btn = new QToolButton(bar);
        btn->setFixedSize(50, 50);
        btn->setAutoRaise(true);
        btn->setCheckable(false);
        btn->setIcon(bitmapIcon(b.bitmap));
        btn->setIconSize(QSize(32, 32));
        btn->setToolTip(qtText(b.toolTip));
        btn->setStatusTip(qtText(b.message));
        btn->setObjectName(qtText(b.bitmap));
        Command c = b.action;
        connect(btn, &QToolButton::clicked, this, [c] { mainCommand(c); });
        bar->addWidget(btn);
        ui.aoBtn[size_t(b.slot - 1)] = btn;
    }
}

void TMainWindow::buildMessageBar() {
    const TApplication& app = oApp();
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    auto* text = new QLabel(qtText(app.xVersion), bar);
    text->setObjectName("defaultText");
    bar->addWidget(text, 1);

    user_ = new MsgItem(bar, userItemText(app.cUsuario), 280, "USER",
                        "Usuario Activo en el Sistema");
    QPalette pal = user_->palette();
    pal.setColor(QPalette::WindowText, kUserColour);
    user_->setPalette(pal);
    bar->addPermanentWidget(user_);

    web_ = new MsgItem(bar, "WWW", 40, "", "Correo KESTROM WEB",
                       [] { conecta(oApp().cPaginaWeb); });
    web_->setAlignment(Qt::AlignCenter);
    bar->addPermanentWidget(web_);

    DateTime n = now();
    std::string d = dtoc(n.date), t = n.time;
    QFontMetrics fm(font());
    date_ = new MsgItem(bar, d, fm.horizontalAdvance(qtText(d)) + 12, "", "",
                        openDateTimeSettings);
    clock_ = new MsgItem(bar, t, fm.horizontalAdvance(qtText("00:00:00")) + 12, "", "",
                         openDateTimeSettings);
    for (MsgItem* item : {date_, clock_}) {
        item->setAlignment(Qt::AlignCenter);
        bar->addPermanentWidget(item);
    }
}

void TMainWindow::refreshClock() {
    DateTime n = now();
    if (date_) date_->setItemText(dtoc(n.date));
    if (clock_) clock_->setItemText(n.time);
}

void TMainWindow::rightClick(int row, int col) {
    std::unique_ptr<QWidget> menu(fMenu(row, col));
}

void TMainWindow::closeEvent(QCloseEvent* e) {
    if (!confirmExit()) {
        e->ignore();
        return;
    }
    e->accept();
    // The program ends with its main window, whatever other window may still be up.
    QCoreApplication::quit();
}

}  // namespace wv
