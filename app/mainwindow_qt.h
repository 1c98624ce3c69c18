// The main frame window: the pull-down menu, the bar of picture buttons, the message bar with
// the user, web, date and clock items, and the company picture over the client area. Every
// command starts here; a right click on the client area opens the same menu as a context menu.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <string>

#include "app/shell.h"

class QMenu;
class QMenuBar;
class QToolButton;

namespace wv {

// An item of a message bar: a text of a fixed width, with colours, an optional bitmap and
// tooltip, and an action run by a click.
class MsgItem : public QLabel {
public:
    MsgItem(QWidget* parent, const std::string& text, int width, const std::string& bitmap = "",
            const std::string& toolTip = "", std::function<void()> action = {});
    void setItemText(const std::string& text);
    std::function<void()> bAction;

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

class TMainWindow : public QMainWindow {
public:
    // The window as start-up builds it: title, menu, icon, bar, message bar, hooks. It is
    // registered as oAppUi().oWnd.
    TMainWindow();
    ~TMainWindow() override;

    // The message bar's items, for the timer and for tests.
    MsgItem* userItem() const { return user_; }
    MsgItem* webItem() const { return web_; }
    MsgItem* dateItem() const { return date_; }
    MsgItem* clockItem() const { return clock_; }
    QWidget* clientArea() const { return centralWidget(); }
    // The date and clock items brought up to now.
    void refreshClock();

    // A right click on the client area at (row, col): F_MENU with those coordinates.
    void rightClick(int row, int col);

protected:
    void closeEvent(QCloseEvent* e) override;
    QMenu* createPopupMenu() override { return nullptr; }  // the bars have no menu of their own

private:
    void buildBar();
    void buildMessageBar();

    MsgItem* user_ = nullptr;
    MsgItem* web_ = nullptr;
    MsgItem* date_ = nullptr;
    MsgItem* clock_ = nullptr;
    QTimer timer_;
};

// F_MENU: both coordinates 0 give the menu bar of the main window; otherwise the same tree as a
// context menu, shown at (row, col) of the main window's client area when both are non-zero and
// returned after the operator's choice or dismissal. The caller owns the result.
QWidget* fMenu(int nRow = 0, int nCol = 0);

// Fills a menu (bar or popup) with the menu tree.
void fillMenu(QWidget* menu);

// Runs a command from the menu or the bar: Salir ends the main window through its closing
// question; the others run their screens.
void mainCommand(Command c);

// The desktop's date and time settings, when there is a way to open them; nothing otherwise.
void openDateTimeSettings();

}  // namespace wv
