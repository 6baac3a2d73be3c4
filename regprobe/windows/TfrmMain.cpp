#include "regprobe/windows/TfrmMain.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <vector>

#include "regprobe/integer_text.h"
#include "regprobe/window_texts.h"
#include "regprobe/windows/TfrmAbout.h"
#include "regprobe/windows/qt_messages.h"

namespace rp {

namespace {

constexpr int kEditWidth = 90;

std::string text_of(const QLineEdit* e) {
    return e->text().toStdString();
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QLineEdit* edit(QWidget* parent, const char* name, const QString& label, const QString& text) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setAccessibleName(label.trimmed());
    e->setFixedWidth(kEditWidth);
    return e;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

// A group of labelled edits in a grid: label in column 0, edit in column 1.
void add_row(QGridLayout* grid, int row, const QString& label, QLineEdit* e) {
    grid->addWidget(new QLabel(label), row, 0);
    grid->addWidget(e, row, 1);
}

// A push button whose context menu is part of the window's tree for assistive technology: the
// menu is the button's child, where a screen reader finds it when the Menu key opens it (a
// context menu is a window of its own, which the tree does not list otherwise).
class MenuButtonAccessible final : public QAccessibleWidget {
public:
    MenuButtonAccessible(QPushButton* button, QMenu* menu)
        : QAccessibleWidget(button, QAccessible::PushButton), menu_(menu) {}

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        QString name = button()->accessibleName();
        return name.isEmpty() ? button()->text().remove(QLatin1Char('&')) : name;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.hasPopup = true;
        return s;
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(menu_) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == menu_ ? 0 : -1;
    }
    QStringList actionNames() const override { return {pressAction(), showMenuAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction())
            button()->click();
        else if (action == showMenuAction())
            menu_->popup(button()->mapToGlobal(button()->rect().center()));
    }

private:
    QPushButton* button() const { return static_cast<QPushButton*>(widget()); }
    QMenu* menu_;
};

// A button that holds its context menu as a direct child is shown with it.
QAccessibleInterface* menuButtonFactory(const QString& key, QObject* object) {
    auto* button = qobject_cast<QPushButton*>(object);
    if (key != QLatin1String("QPushButton") || !button)
        return nullptr;
    auto* menu = button->findChild<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
    return menu ? new MenuButtonAccessible(button, menu) : nullptr;
}

} // namespace

TfrmMain::TfrmMain(Messages& messages, QWidget* parent) : QMainWindow(parent), messages_(messages) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kCaption));
    client_.UnitID = 7;
    client_.Port = 502;
    Timer1.setInterval(period_);

    // Slave address, About button, unit identifier.
    const QString ipLabel = QStringLiteral("IP address of slave :");
    edIP = edit(this, "edIP", ipLabel, QStringLiteral("192.168.0.1"));
    edIP->setFixedWidth(140);
    btnAbout = button(this, "btnAbout", QStringLiteral("?"));
    btnAbout->setAccessibleName(QStringLiteral("About"));
    btnAbout->setToolTip(QStringLiteral("About"));
    btnAbout->setFixedWidth(28);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(ipLabel));
    top->addWidget(edIP);
    top->addStretch(1);
    top->addWidget(btnAbout);

    edUnitId = edit(this, "edUnitId", QStringLiteral("Unit identifier"), QStringLiteral("7"));
    btnChangeAddress = button(this, "btnChangeAddress", QStringLiteral("change address"));
    lblUnitId = new QLabel(this);
    lblUnitId->setObjectName(QStringLiteral("lblUnitId"));
    lblUnitId->setAccessibleName(QStringLiteral("Unit identifier in use"));
    lblUnitId->setMinimumWidth(40);
    auto* unit = new QHBoxLayout;
    unit->addWidget(edUnitId);
    unit->addWidget(btnChangeAddress);
    unit->addWidget(lblUnitId);
    unit->addStretch(1);

    // Read test.
    auto* gbRead = new QGroupBox(QStringLiteral(" Read test "), this);
    const QString regLabel = QStringLiteral("PLC register nr.");
    edReadReg = edit(gbRead, "edReadReg", regLabel, QString());
    edBlockLength =
        edit(gbRead, "edBlockLength", QStringLiteral("Block length"), QStringLiteral("1"));
    btnRead = button(gbRead, "btnRead", QStringLiteral("&Read register"));
    ViewEstendedFunction = new QAction(QStringLiteral("View estended function"), btnRead);
    ViewEstendedFunction->setObjectName(QStringLiteral("ViewEstendedFunction"));
    ViewEstendedFunction->setCheckable(true);
    btnRead->addAction(ViewEstendedFunction);
    // The context menu (right button or the Menu key) belongs to the button, so assistive
    // technology finds it under the button.
    static const bool menuButtonsShown = [] {
        QAccessible::installFactory(menuButtonFactory);
        return true;
    }();
    (void)menuButtonsShown;
    readMenu_ = new QMenu(btnRead);
    readMenu_->setObjectName(QStringLiteral("readMenu"));
    readMenu_->setAccessibleName(QStringLiteral("Read register"));
    readMenu_->addAction(ViewEstendedFunction);
    // Giving the button its caption made its accessible interface before it had a menu; the next
    // look-up makes it anew, with the menu.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(btnRead))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    btnRead->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(btnRead, &QPushButton::customContextMenuRequested, this,
            [this](const QPoint& at) { readMenu_->popup(btnRead->mapToGlobal(at)); });
    auto* readGrid = new QGridLayout(gbRead);
    add_row(readGrid, 0, regLabel, edReadReg);
    add_row(readGrid, 1, QStringLiteral("Block length"), edBlockLength);
    readGrid->addWidget(btnRead, 0, 2, 2, 1);
    readGrid->setColumnStretch(3, 1);

    // Write test.
    auto* gbWrite = new QGroupBox(QStringLiteral(" Write test "), this);
    edWriteReg = edit(gbWrite, "edWriteReg", regLabel, QString());
    edNewValue = edit(gbWrite, "edNewValue", QStringLiteral("New value"), QString());
    btnWrite = button(gbWrite, "btnWrite", QStringLiteral("&Write register"));
    auto* writeGrid = new QGridLayout(gbWrite);
    add_row(writeGrid, 0, regLabel, edWriteReg);
    add_row(writeGrid, 1, QStringLiteral("New value"), edNewValue);
    writeGrid->addWidget(btnWrite, 0, 2, 2, 1);
    writeGrid->setColumnStretch(3, 1);

    // Write multiple registers test.
    auto* gbMulti = new QGroupBox(QStringLiteral("Write Multiple Register test"), this);
    edMultiReg = edit(gbMulti, "edMultiReg", regLabel, QString());
    edMultiCount = edit(gbMulti, "edMultiCount", QStringLiteral("N° Register"), QString());
    btnWriteMulti = button(gbMulti, "btnWriteMulti", QStringLiteral("Write Multiple Register"));
    btnAddValue = button(gbMulti, "btnAddValue", QStringLiteral("Add Value"));
    edAddValue = edit(gbMulti, "edAddValue", QStringLiteral("Value to add"), QStringLiteral("0"));
    btnDelValue = button(gbMulti, "btnDelValue", QStringLiteral("Del Value"));
    btnDelAllValue = button(gbMulti, "btnDelAllValue", QStringLiteral("Del All Value"));
    lbValues = new QListWidget(gbMulti);
    lbValues->setObjectName(QStringLiteral("lbValues"));
    lbValues->setAccessibleName(QStringLiteral("Values"));
    lbValues->setFixedSize(110, 120);
    auto* multiGrid = new QGridLayout(gbMulti);
    add_row(multiGrid, 0, regLabel, edMultiReg);
    add_row(multiGrid, 1, QStringLiteral("N° Register"), edMultiCount);
    multiGrid->addWidget(btnWriteMulti, 2, 0, 1, 2);
    multiGrid->addWidget(btnAddValue, 3, 0);
    multiGrid->addWidget(edAddValue, 3, 1);
    multiGrid->addWidget(btnDelValue, 4, 0);
    multiGrid->addWidget(btnDelAllValue, 5, 0);
    multiGrid->addWidget(lbValues, 0, 2, 6, 1);
    multiGrid->setColumnStretch(3, 1);

    // Extended panel: timer polling of the read block, counters and the last response.
    pnlExtended = new QGroupBox(this);
    pnlExtended->setObjectName(QStringLiteral("pnlExtended"));
    cbTimer = new QCheckBox(QStringLiteral("Enable timer request"), pnlExtended);
    cbTimer->setObjectName(QStringLiteral("cbTimer"));
    edTimeMs = edit(pnlExtended, "edTimeMs", QStringLiteral("Time ms:"), QStringLiteral("1000"));
    lblTotRequest = new QLabel(QStringLiteral("Tot. request :"), pnlExtended);
    lblTotRequest->setObjectName(QStringLiteral("lblTotRequest"));
    lblTotResponse = new QLabel(QStringLiteral("Tot. response ok :"), pnlExtended);
    lblTotResponse->setObjectName(QStringLiteral("lblTotResponse"));
    btnClearCount = button(pnlExtended, "btnClearCount", QStringLiteral("ClearCount"));
    memoResponse = new QPlainTextEdit(pnlExtended);
    memoResponse->setObjectName(QStringLiteral("memoResponse"));
    memoResponse->setAccessibleName(QStringLiteral("Response :"));
    memoResponse->setReadOnly(true);
    memoResponse->setMinimumSize(200, 150);
    lblTotRequest->setMinimumWidth(170);
    auto* period = new QHBoxLayout;
    period->addWidget(new QLabel(QStringLiteral("Time ms:")));
    period->addWidget(edTimeMs);
    period->addStretch(1);
    auto* timerColumn = new QVBoxLayout;
    timerColumn->addWidget(cbTimer);
    timerColumn->addLayout(period);
    timerColumn->addSpacing(6);
    timerColumn->addWidget(lblTotRequest);
    timerColumn->addWidget(lblTotResponse);
    timerColumn->addSpacing(6);
    timerColumn->addWidget(btnClearCount, 0, Qt::AlignLeft);
    timerColumn->addStretch(1);
    auto* responseColumn = new QVBoxLayout;
    responseColumn->addWidget(new QLabel(QStringLiteral("Response :")));
    responseColumn->addWidget(memoResponse, 1);
    auto* extended = new QHBoxLayout(pnlExtended);
    extended->addLayout(timerColumn);
    extended->addLayout(responseColumn, 1);
    pnlExtended->hide();

    // The page keeps the size its controls need; on a screen too small for it (the extended
    // panel open at a scale factor of 2) the window stays on the screen and the page scrolls.
    page_ = new QWidget;
    scroller_ = new QScrollArea(this);
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setWidget(page_);
    setCentralWidget(scroller_);
    auto* layout = new QVBoxLayout(page_);
    layout->addLayout(top);
    layout->addLayout(unit);
    layout->addWidget(gbRead);
    layout->addWidget(gbWrite);
    layout->addWidget(gbMulti);
    layout->addWidget(pnlExtended);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnAbout, &QPushButton::clicked, this, [this] { btnAboutClick(); });
    connect(btnChangeAddress, &QPushButton::clicked, this, [this] { btnChangeAddressClick(); });
    connect(btnRead, &QPushButton::clicked, this, [this] { btnReadClick(); });
    connect(btnWrite, &QPushButton::clicked, this, [this] { btnWriteClick(); });
    connect(btnWriteMulti, &QPushButton::clicked, this, [this] { btnWriteMultiClick(); });
    connect(btnAddValue, &QPushButton::clicked, this, [this] { btnAddValueClick(); });
    connect(btnDelValue, &QPushButton::clicked, this, [this] { btnDelValueClick(); });
    connect(btnDelAllValue, &QPushButton::clicked, this, [this] { btnDelAllValueClick(); });
    connect(ViewEstendedFunction, &QAction::toggled, this, [this](bool shown) {
        pnlExtended->setVisible(shown);
        fitToScreen();
    });
    connect(cbTimer, &QCheckBox::toggled, this, [this] { cbTimerClick(); });
    connect(edTimeMs, &QLineEdit::textChanged, this, [this] { edTimeMsChange(); });
    connect(btnClearCount, &QPushButton::clicked, this, [this] { btnClearCountClick(); });
    connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

// An error that ends an action (a text that is not a number, a socket error, a log that
// cannot be written) is shown in the standard error box; the window goes on.
template <typename Action> void TfrmMain::guarded(Action action) {
    try {
        action();
    } catch (const std::exception& e) {
        messages_.show(e.what(), MessageKind::ErrorBox);
    }
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    fitToScreen();
    FormShow();
}

void TfrmMain::fitInto(const QRect& available) {
    page_->layout()->activate();
    // Room for the window manager's frame: borders and a title bar.
    const QSize room = available.size() - QSize(8, 36);
    resize(page_->size().boundedTo(room));
    if (!available.contains(QRect(pos(), size())))
        move(std::clamp(x(), available.left(),
                        std::max(available.left(), available.right() - 8 - width())),
             std::clamp(y(), available.top(),
                        std::max(available.top(), available.bottom() - 36 - height())));
}

void TfrmMain::fitToScreen() {
    if (const QScreen* s = screen())
        fitInto(s->availableGeometry());
}

void TfrmMain::FormShow() {
    lblUnitId->setText(QString::number(client_.UnitID));
}

void TfrmMain::btnAboutClick() {
    if (about_)
        about_->exec();
}

void TfrmMain::btnChangeAddressClick() {
    guarded([&] {
        client_.UnitID = static_cast<std::uint8_t>(str_to_int(text_of(edUnitId)));
        lblUnitId->setText(QString::number(client_.UnitID));
    });
}

bool TfrmMain::readBlock(std::int32_t& address, std::vector<std::uint16_t>& values, bool& ok) {
    const std::int32_t n = str_to_int(text_of(edBlockLength));
    if (n <= 0)
        return false;
    client_.Host = text_of(edIP);
    address = str_to_int(text_of(edReadReg));
    // The client counts registers in 16 bits; a longer block asks for the most it can.
    values.assign(static_cast<std::size_t>(std::min<std::int32_t>(n, 0xFFFF)), 0);
    ok = client_.ReadHoldingRegisters(register_number_for_address(address), values);
    return true;
}

void TfrmMain::btnReadClick() {
    guarded([&] {
        std::int32_t address = 0;
        std::vector<std::uint16_t> values;
        bool ok = false;
        if (!readBlock(address, values, ok))
            return;
        messages_.show(ok ? read_result_text(address, values) : kMsgReadFailed, MessageKind::Plain);
    });
}

void TfrmMain::btnWriteClick() {
    guarded([&] {
        const auto value = static_cast<std::uint16_t>(str_to_int(text_of(edNewValue)));
        const std::int32_t address = str_to_int(text_of(edWriteReg));
        client_.Host = text_of(edIP);
        const bool ok = client_.WriteSingleRegister(register_number_for_address(address), value);
        messages_.show(ok ? kMsgWriteOk : kMsgWriteFailed, MessageKind::ErrorDialog);
    });
}

void TfrmMain::btnWriteMultiClick() {
    guarded([&] {
        const auto count = static_cast<std::uint16_t>(str_to_int(text_of(edMultiCount)));
        const std::int32_t address = str_to_int(text_of(edMultiReg));
        // No request can carry 0 registers: like a read block of 0, the button does nothing.
        if (count == 0)
            return;
        std::vector<std::uint16_t> values;
        values.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            if (i >= static_cast<std::size_t>(lbValues->count()))
                throw ListIndexError(i);
            const std::string entry = lbValues->item(static_cast<int>(i))->text().toStdString();
            values.push_back(static_cast<std::uint16_t>(str_to_int(entry)));
        }
        client_.Host = text_of(edIP);
        const bool ok =
            client_.WriteMultipleRegisters(register_number_for_address(address), values);
        messages_.show(ok ? kMsgWriteMultipleOk : kMsgWriteMultipleFailed,
                       MessageKind::ErrorDialog);
    });
}

// The list is a check list: each entry comes with a check box, unchecked. The marks are the
// user's notes; the multiple write takes the first entries whether checked or not.
void TfrmMain::btnAddValueClick() {
    auto* item = new QListWidgetItem(edAddValue->text(), lbValues);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
}

void TfrmMain::btnDelValueClick() {
    const int row = lbValues->currentRow();
    if (row >= 0 && lbValues->item(row)->isSelected())
        delete lbValues->takeItem(row);
}

void TfrmMain::btnDelAllValueClick() {
    lbValues->clear();
}

void TfrmMain::ViewEstendedFunctionClick() {
    ViewEstendedFunction->toggle();
}

void TfrmMain::cbTimerClick() {
    updateTimer();
}

void TfrmMain::edTimeMsChange() {
    guarded([&] {
        period_ = str_to_int(text_of(edTimeMs));
        updateTimer();
    });
}

// The timer runs while the box is ticked and the period is above 0; a period of 0 (or below)
// stops the ticks until a usable period is typed.
void TfrmMain::updateTimer() {
    if (cbTimer->isChecked() && period_ > 0) {
        Timer1.setInterval(period_);
        if (!Timer1.isActive())
            Timer1.start();
    } else {
        Timer1.stop();
    }
}

void TfrmMain::btnClearCountClick() {
    requests_ = 0;
    responses_ = 0;
}

void TfrmMain::Timer1Timer() {
    // A tick that falls due while an earlier tick's error box is open waits for that box:
    // ticks never overlap, and a dead slave does not pile up one box per period.
    if (inTick_)
        return;
    inTick_ = true;
    ++requests_;
    guarded([&] {
        std::int32_t address = 0;
        std::vector<std::uint16_t> values;
        bool ok = false;
        if (readBlock(address, values, ok) && ok) {
            memoResponse->setPlainText(display_text(read_result_text(address, values)));
            ++responses_;
        }
        lblTotRequest->setText(qs(request_counter_text(requests_)));
        lblTotResponse->setText(qs(response_counter_text(responses_)));
    });
    inTick_ = false;
}

} // namespace rp
