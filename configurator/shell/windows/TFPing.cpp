#include "shell/windows/TFPing.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <iostream>

namespace mk {

namespace {

constexpr int kPictureSize = 64;

QPixmap canvas() {
    QPixmap pix(kPictureSize, kPictureSize);
    pix.fill(Qt::transparent);
    return pix;
}

// Found: a green disc with a white tick.
QPixmap foundPicture() {
    QPixmap pix = canvas();
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x8b, 0x3d));
    p.drawEllipse(QRectF(2, 2, 60, 60));
    p.setPen(QPen(Qt::white, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(17, 33);
    tick.lineTo(28, 44);
    tick.lineTo(47, 21);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
    return pix;
}

// Not found: an amber disc with a white question mark: nothing answered.
QPixmap notFoundPicture() {
    QPixmap pix = canvas();
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe0, 0x8a, 0x00));
    p.drawEllipse(QRectF(2, 2, 60, 60));
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(42);
    p.setFont(f);
    p.drawText(QRectF(2, 2, 60, 60), Qt::AlignCenter, QStringLiteral("?"));
    return pix;
}

// Error: a red warning triangle with a white exclamation mark.
QPixmap errorPicture() {
    QPixmap pix = canvas();
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xc6, 0x28, 0x28), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xc6, 0x28, 0x28));
    QPolygonF triangle;
    triangle << QPointF(32, 5) << QPointF(60, 58) << QPointF(4, 58);
    p.drawPolygon(triangle);
    p.setPen(QPen(Qt::white, 7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 23), QPointF(32, 40));
    p.drawPoint(QPointF(32, 50));
    return pix;
}

QLabel* pictureLabel(const QPixmap& pix, const char* name, const char* accessible,
                     QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromUtf8(name));
    l->setPixmap(pix);
    l->setFixedSize(kPictureSize, kPictureSize);
    l->setAccessibleName(QString::fromUtf8(accessible));
    return l;
}

void tell_terminal(const std::string& host, const PingRun& run) {
    std::cerr << "Ping " << host << ": " << ping_result_text(run.outcome).text;
    if (run.report) {
        std::cerr << " (";
        switch (run.report->answer) {
        case EchoAnswer::Reply:
            std::cerr << "echo reply, " << run.report->bytes << " bytes";
            break;
        case EchoAnswer::Unreachable:
            std::cerr << "destination unreachable report";
            break;
        case EchoAnswer::TimeExceeded:
            std::cerr << "time exceeded report";
            break;
        case EchoAnswer::None:
            std::cerr << "no answer in time";
            break;
        }
        if (run.report->path)
            std::cerr << ", " << echo_path_name(*run.report->path);
        std::cerr << ')';
    } else if (!run.error.empty()) {
        std::cerr << " (" << run.error << ')';
    }
    std::cerr << '\n';
}

} // namespace

TFPing::TFPing(QWidget* parent) : QDialog(parent), text_(new QLabel(this)) {
    setObjectName(QStringLiteral("TFPing"));
    setWindowTitle(QString::fromUtf8(kPingCaption));
    setModal(true);

    // The three pictures share one place; prepare shows exactly one of them.
    pictures_[0] = pictureLabel(foundPicture(), "I_P_F", "Device found", this);
    pictures_[1] = pictureLabel(notFoundPicture(), "I_P_NF", "Device not found", this);
    pictures_[2] = pictureLabel(errorPicture(), "I_P_E", "Error", this);
    auto* place = new QWidget(this);
    place->setFixedSize(kPictureSize, kPictureSize);
    for (QLabel* picture : pictures_) {
        picture->setParent(place);
        picture->move(0, 0);
        picture->hide();
    }

    text_->setObjectName(QStringLiteral("pingText"));
    QFont f = text_->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 3);
    text_->setFont(f);
    text_->setMinimumWidth(260);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("pingOk"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TFPing::BitBtn1Click);

    auto* body = new QHBoxLayout;
    body->addWidget(place, 0, Qt::AlignVCenter);
    body->addSpacing(16);
    body->addWidget(text_, 1, Qt::AlignVCenter);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFPing::prepare(int kind, const QString& caption, const QString& text) {
    for (QLabel* picture : pictures_)
        picture->hide();
    if (kind >= 0 && kind < 3)
        pictures_[kind]->show();
    text_->setText(text);
    setWindowTitle(caption);
}

void TFPing::BitBtn1Click() {
    accept();
}

PingRun ping_device(DevicePing& ping, const std::string& host, QWidget* button, TFPing& window) {
    PingRun run;
    // Disabling the focused button hands the focus on to the next field (the address, all its
    // text selected); it comes back afterwards so the next key cannot replace the address.
    const bool buttonHadFocus = button && button->window()->focusWidget() == button;
    if (button)
        button->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        // Paint and timer events run while the echo is out; clicks and keys wait for its end,
        // so no other window opens in the middle of a ping.
        run =
            ping.run(host, [] { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    } catch (const std::exception& e) {
        run.outcome = PingOutcome::Error;
        run.error = e.what();
    }
    QApplication::restoreOverrideCursor();
    if (button) {
        button->setEnabled(true);
        if (buttonHadFocus)
            button->setFocus(Qt::OtherFocusReason);
    }
    tell_terminal(host, run);
    const PingResultText result = ping_result_text(run.outcome);
    window.prepare(result.kind, QString::fromUtf8(result.caption), QString::fromUtf8(result.text));
    return run;
}

} // namespace mk
