#include "ui/qtoperator.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "ui/text.h"
#include "ui/units.h"

namespace wv {

QWidget* QtOperator::owner() {
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    return QApplication::activeWindow();
}

namespace {
// A box gives the activation back to the window it was opened over when it closes, so that the
// focus returns where it was (the window manager may do it too; a bare display does not).
class OwnerBack {
public:
    OwnerBack() : owner_(QtOperator::owner()) {}
    ~OwnerBack() {
        if (owner_ && owner_->isVisible()) owner_->activateWindow();
    }
    QWidget* get() const { return owner_; }

private:
    QPointer<QWidget> owner_;
};
}  // namespace

bool QtOperator::message(MsgKind kind, const std::string& text, const std::string& title) {
    OwnerBack back;
    QMessageBox box(back.get());
    box.setWindowTitle(qtText(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(qtText(text));
    bool question = kind == MsgKind::YesNo || kind == MsgKind::NoYes;
    switch (kind) {
        case MsgKind::Info: box.setIcon(QMessageBox::Information); break;
        case MsgKind::Alert: box.setIcon(QMessageBox::Warning); break;
        case MsgKind::Stop: box.setIcon(QMessageBox::Critical); break;
        case MsgKind::YesNo:
        case MsgKind::NoYes: box.setIcon(QMessageBox::Question); break;
    }
    if (question) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(qtText("&Sí"));
        box.button(QMessageBox::No)->setText(qtText("&No"));
        box.setDefaultButton(kind == MsgKind::YesNo ? QMessageBox::Yes : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(qtText("Aceptar"));
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    // Buttons with words only, as the boxes of a desktop program have them.
    for (QAbstractButton* b : box.buttons()) b->setIcon(QIcon());
    box.exec();
    return question && box.clickedButton() == box.button(QMessageBox::Yes);
}

namespace {

// The timed notice: it closes by itself and cannot be closed before.
class WaitBox : public QDialog {
public:
    using QDialog::QDialog;
    void reject() override {}
    bool expired = false;

protected:
    void closeEvent(QCloseEvent* e) override {
        if (!expired) e->ignore();
    }
};

// The alert's text: CR LF and LF break lines, and no line is longer than 254 characters.
QString alertLines(const std::string& text) {
    std::string lines, line;
    auto flush = [&] {
        while (line.size() > 254) {
            lines += line.substr(0, 254) + "\n";
            line.erase(0, 254);
        }
        lines += line;
        line.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c == '\n' || c == '\r') {
            flush();
            lines += "\n";
        } else {
            line += c;
        }
    }
    flush();
    return qtText(lines);
}

}  // namespace

void QtOperator::wait(const std::string& text, const std::string& title, double seconds) {
    Qt::WindowFlags flags = Qt::Dialog;
    if (title.empty()) flags |= Qt::FramelessWindowHint;
    OwnerBack back;
    WaitBox box(back.get(), flags);
    box.setWindowTitle(qtText(title));
    auto* outer = new QVBoxLayout(&box);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frame = new QFrame(&box);
    // Without a caption bar a frame keeps the notice apart from what lies behind it.
    frame->setFrameStyle(title.empty() ? QFrame::Box | QFrame::Raised : QFrame::NoFrame);
    frame->setLineWidth(title.empty() ? 2 : 0);
    outer->addWidget(frame);
    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(24, 18, 24, 18);
    auto* label = new QLabel(qtText(text), frame);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    inner->addWidget(label);
    box.setMinimumWidth(textCellsToPixels(1, 30).width());
    if (seconds <= 0) seconds = 4;
    QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &box, [&box] {
        box.expired = true;
        box.accept();
    });
    box.exec();
}

int QtOperator::alert(const std::string& text, const std::vector<std::string>& options,
                      const std::string& title, int defaultOption) {
    OwnerBack back;
    QDialog box(back.get());
    box.setWindowTitle(qtText(title));
    auto* layout = new QVBoxLayout(&box);
    layout->setContentsMargins(18, 16, 18, 12);
    layout->setSpacing(14);
    auto* label = new QLabel(alertLines(text), &box);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    std::vector<QPushButton*> buttons;
    for (size_t i = 0; i < options.size(); ++i) {
        auto* b = new QPushButton(qtText(options[i]), &box);
        b->setMinimumWidth(textCellsToPixels(1, 12).width());
        QObject::connect(b, &QPushButton::clicked, &box, [&box, i] { box.done(int(i) + 1); });
        row->addWidget(b);
        buttons.push_back(b);
    }
    row->addStretch(1);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (!buttons.empty()) {
        int d = defaultOption >= 1 && defaultOption <= int(buttons.size()) ? defaultOption : 1;
        buttons[size_t(d - 1)]->setDefault(true);
        buttons[size_t(d - 1)]->setFocus();
    }
    // The close box and Esc reject: no option chosen, 0.
    return box.exec();
}

void QtOperator::beep() { QApplication::beep(); }

// ---------------------------------------------------------------------------------------------
// The progress box: 9 rows by 40 columns of the dialog font, the text, the bar and "&Cancelar".
// The work runs as soon as the box is shown; until it ends the box cannot be closed.

namespace {

class ProgressBox : public QDialog, public Progress {
public:
    ProgressBox(QWidget* parent, const std::string& text, const std::string& title)
        : QDialog(parent) {
        setWindowTitle(qtText(title));
        const QFont font = dialogFont();
        setFixedSize(textCellsToPixels(9, 40, font));
        const int width = this->width();
        const QPoint origin = textCellToPixels(0.5, 1, font);

        text_ = new QLabel(qtText(text), this);
        text_->setTextFormat(Qt::PlainText);
        text_->setWordWrap(true);
        text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        text_->setGeometry(origin.x(), origin.y(), width - 2 * origin.x(),
                           textCellsToPixels(3, 1, font).height());

        bar_ = new QProgressBar(this);
        bar_->setRange(0, 0);
        bar_->setValue(0);
        bar_->setTextVisible(true);
        QPoint p = textCellToPixels(4, 1, font);
        bar_->setGeometry(origin.x(), p.y(), width - 2 * origin.x(),
                          textCellsToPixels(1.5, 1, font).height());
        // An empty range is an indefinite bar: give it one until the work sets its own.
        bar_->setRange(0, 1);

        cancel_ = new QPushButton(qtText("&Cancelar"), this);
        cancel_->setToolTip(qtText("Presione para Cancelar"));
        cancel_->setAutoDefault(false);
        QSize b(std::max(cancel_->sizeHint().width(), textCellsToPixels(1, 12, font).width()),
                textCellsToPixels(1.8, 1, font).height());
        p = textCellToPixels(6.2, 0, font);
        cancel_->setGeometry((width - b.width()) / 2, p.y(), b.width(), b.height());
        QObject::connect(cancel_, &QPushButton::clicked, this, [this] {
            finished_ = true;
            cancelled_ = true;
        });
    }

    void setRange(uint32_t total) override {
        bar_->setRange(0, int(std::min<uint32_t>(total, INT_MAX)));
    }
    void setPosition(uint32_t pos) override {
        bar_->setValue(int(std::min<uint32_t>(pos, uint32_t(bar_->maximum()))));
    }
    void setText(const std::string& text) override { text_->setText(qtText(text)); }
    void processEvents() override {
        // Often enough for the box to follow and the button to be heard; not after every
        // record of a large table.
        if (clock_.isValid() && clock_.elapsed() < 15) return;
        QCoreApplication::processEvents();
        clock_.start();
    }
    bool finished() const override { return finished_; }

    bool cancelled() const { return cancelled_; }
    QPushButton* cancelButton() const { return cancel_; }

    void run(const std::function<void(Progress&)>& work) {
        QTimer::singleShot(0, this, [this, &work] {
            work(*this);
            finished_ = true;
            ended_ = true;
            accept();
        });
        exec();
    }

    void reject() override {
        if (ended_) QDialog::reject();
    }

protected:
    void closeEvent(QCloseEvent* e) override {
        if (!ended_) e->ignore();
    }

private:
    QLabel* text_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QElapsedTimer clock_;
    bool finished_ = false;
    bool cancelled_ = false;
    bool ended_ = false;
};

}  // namespace

bool QtOperator::progress(const std::string& text, const std::string& title,
                          const std::function<void(Progress&)>& work) {
    OwnerBack back;
    ProgressBox box(back.get(), text, title);
    box.run(work);
    return box.cancelled();
}

}  // namespace wv
