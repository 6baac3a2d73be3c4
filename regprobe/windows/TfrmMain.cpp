#include "regprobe/windows/TfrmMain.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
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
#include <utility>
#include <vector>

#include "regprobe/error_log.h"
#include "regprobe/integer_text.h"
#include "regprobe/local_stamp.h"
#include "regprobe/poll_log.h"
#include "regprobe/traffic.h"
#include "regprobe/window_texts.h"
#include "regprobe/windows/TfrmAbout.h"
#include "regprobe/windows/labelled_combo.h"
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
    // The value format and word order lists are announced by their labels, not their choices.
    nameCombosAfterLabels();
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
    lblLastMs = new QLabel(qs(times_.last_text()), pnlExtended);
    lblMinMs = new QLabel(qs(times_.min_text()), pnlExtended);
    lblAvgMs = new QLabel(qs(times_.average_text()), pnlExtended);
    lblMaxMs = new QLabel(qs(times_.max_text()), pnlExtended);
    lblLastMs->setObjectName(QStringLiteral("lblLastMs"));
    lblMinMs->setObjectName(QStringLiteral("lblMinMs"));
    lblAvgMs->setObjectName(QStringLiteral("lblAvgMs"));
    lblMaxMs->setObjectName(QStringLiteral("lblMaxMs"));
    auto* times = new QGridLayout;
    times->addWidget(lblLastMs, 0, 0);
    times->addWidget(lblMinMs, 0, 1);
    times->addWidget(lblAvgMs, 1, 0);
    times->addWidget(lblMaxMs, 1, 1);
    timerColumn->addLayout(times);
    timerColumn->addSpacing(6);
    timerColumn->addWidget(btnClearCount, 0, Qt::AlignLeft);
    timerColumn->addStretch(1);
    auto* responseColumn = new QVBoxLayout;
    responseColumn->addWidget(new QLabel(QStringLiteral("Response :")));
    responseColumn->addWidget(memoResponse, 1);
    auto* extended = new QHBoxLayout;
    extended->addLayout(timerColumn);
    extended->addLayout(responseColumn, 1);
    auto* panel = new QVBoxLayout(pnlExtended);
    panel->addLayout(extended);
    addExtendedControls(extended, panel);
    pnlExtended->hide();

    // The extended panel goes beside the tests, not below them: shown, the window stays as tall
    // as without it and fits a 1280x720 screen. Hidden, it takes no room at all. The page keeps
    // the size its controls need; on a screen too small for it (the extended panel open at a
    // scale factor of 2) the window stays on the screen and the page scrolls.
    page_ = new QWidget;
    scroller_ = new QScrollArea(this);
    scroller_->setFrameShape(QFrame::NoFrame);
    // Only the controls on the page are Tab stops; the page still scrolls to the one Tab reaches.
    scroller_->setFocusPolicy(Qt::NoFocus);
    scroller_->setWidget(page_);
    setCentralWidget(scroller_);
    auto* tests = new QVBoxLayout;
    tests->addLayout(top);
    tests->addLayout(unit);
    tests->addWidget(gbRead);
    tests->addWidget(gbWrite);
    tests->addWidget(gbMulti);
    tests->addStretch(1);
    auto* layout = new QHBoxLayout(page_);
    layout->addLayout(tests);
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

// Value format, connection settings, log of polled values and traffic view, below the timer
// and the response area.
void TfrmMain::addExtendedControls(QHBoxLayout* row, QVBoxLayout* panel) {
    // A control without a caption of its own is named for the label or check box it belongs to.
    const auto named = [](QWidget* w, const char* name, const QString& label) {
        w->setObjectName(QString::fromLatin1(name));
        w->setAccessibleName(label);
    };
    // Created in reading order, which is the order of the Tab key: the traffic view beside
    // the response area first, then the rows below them.
    const QString trafficLabel = QStringLiteral("Show traffic");
    cbShowTraffic = new QCheckBox(trafficLabel, pnlExtended);
    named(cbShowTraffic, "cbShowTraffic", trafficLabel);
    btnCopyTraffic = button(pnlExtended, "btnCopyTraffic", QStringLiteral("Copy"));
    btnCopyTraffic->setAccessibleName(QStringLiteral("Copy"));
    memoTraffic = new QPlainTextEdit(pnlExtended);
    named(memoTraffic, "memoTraffic", trafficLabel);
    memoTraffic->setAccessibleDescription(QStringLiteral("Frames sent and received"));
    memoTraffic->setReadOnly(true);
    memoTraffic->setMaximumBlockCount(kTrafficLines);
    memoTraffic->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoTraffic->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memoTraffic->setMinimumSize(420, 150);

    const QString formatLabel = QStringLiteral("Value format");
    const QString orderLabel = QStringLiteral("Word order");
    cbValueFormat = new QComboBox(pnlExtended);
    named(cbValueFormat, "cbValueFormat", formatLabel);
    for (const char* name : kValueFormatNames)
        cbValueFormat->addItem(QString::fromLatin1(name));
    cbWordOrder = new QComboBox(pnlExtended);
    named(cbWordOrder, "cbWordOrder", orderLabel);
    for (const char* name : kWordOrderNames)
        cbWordOrder->addItem(QString::fromLatin1(name));
    cbWordOrder->setEnabled(false); // only the 32-bit formats take two words

    const QString portLabel = QStringLiteral("Port");
    const QString timeOutLabel = QStringLiteral("Time-out ms");
    edPort = edit(pnlExtended, "edPort", portLabel, QStringLiteral("502"));
    edTimeOut = edit(pnlExtended, "edTimeOut", timeOutLabel, QStringLiteral("15000"));

    const QString logLabel = QStringLiteral("Log to file");
    cbLogToFile = new QCheckBox(logLabel, pnlExtended);
    named(cbLogToFile, "cbLogToFile", logLabel);
    edLogFile = new QLineEdit(QString::fromLatin1(kPollLogName), pnlExtended);
    named(edLogFile, "edLogFile", logLabel);
    edLogFile->setAccessibleDescription(QStringLiteral("File name"));

    // Beside the response area: the traffic view, its check box and its copy button on top.
    auto* trafficHead = new QHBoxLayout;
    trafficHead->addWidget(cbShowTraffic);
    trafficHead->addStretch(1);
    trafficHead->addWidget(btnCopyTraffic);
    auto* trafficColumn = new QVBoxLayout;
    trafficColumn->addLayout(trafficHead);
    trafficColumn->addWidget(memoTraffic, 1);
    row->addLayout(trafficColumn, 2);

    // Below them: the value format and the connection in one row, the log file in the next.
    // Each label is its field's buddy: on Linux a combo box's accessible name is its current
    // choice, and screen readers find the label through the relation this gives.
    auto* settings = new QHBoxLayout;
    for (auto [label, field] : {std::pair<QString, QWidget*>{formatLabel, cbValueFormat},
                                {orderLabel, cbWordOrder},
                                {portLabel, edPort},
                                {timeOutLabel, edTimeOut}}) {
        auto* l = new QLabel(label, pnlExtended);
        l->setBuddy(field);
        if (field == edPort)
            settings->addSpacing(12);
        settings->addWidget(l);
        settings->addWidget(field);
    }
    settings->addStretch(1);
    auto* log = new QHBoxLayout;
    log->addWidget(cbLogToFile);
    log->addWidget(edLogFile, 1);
    panel->addLayout(settings);
    panel->addLayout(log);

    connect(cbValueFormat, &QComboBox::currentIndexChanged, this,
            [this] { cbValueFormatChange(); });
    connect(cbWordOrder, &QComboBox::currentIndexChanged, this, [this] { cbValueFormatChange(); });
    connect(cbShowTraffic, &QCheckBox::toggled, this, [this] { cbShowTrafficClick(); });
    connect(btnCopyTraffic, &QPushButton::clicked, this, [this] { btnCopyTrafficClick(); });
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

void TfrmMain::applyConnectionSettings() {
    client_.Port = port_from_text(text_of(edPort));
    client_.TimeOut = time_out_from_text(text_of(edTimeOut));
}

ValueView TfrmMain::valueView() const {
    return {static_cast<ValueFormat>(std::max(0, cbValueFormat->currentIndex())),
            static_cast<WordOrder>(std::max(0, cbWordOrder->currentIndex()))};
}

std::optional<std::int32_t> TfrmMain::readTarget(std::vector<std::uint16_t>& values) {
    const std::int32_t n = str_to_int(text_of(edBlockLength));
    if (n <= 0)
        return std::nullopt;
    client_.Host = text_of(edIP);
    applyConnectionSettings();
    const std::int32_t address = str_to_int(text_of(edReadReg));
    // The client counts registers in 16 bits; a longer block asks for the most it can.
    values.assign(static_cast<std::size_t>(std::min<std::int32_t>(n, 0xFFFF)), 0);
    return address;
}

void TfrmMain::btnReadClick() {
    guarded([&] {
        std::vector<std::uint16_t> values;
        const auto address = readTarget(values);
        if (!address)
            return;
        const bool ok = client_.ReadHoldingRegisters(register_number_for_address(*address), values);
        messages_.show(ok ? read_result_text(*address, values, valueView()) : kMsgReadFailed,
                       MessageKind::Plain);
    });
}

void TfrmMain::btnWriteClick() {
    guarded([&] {
        const auto value = static_cast<std::uint16_t>(str_to_int(text_of(edNewValue)));
        const std::int32_t address = str_to_int(text_of(edWriteReg));
        client_.Host = text_of(edIP);
        applyConnectionSettings();
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
        applyConnectionSettings();
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
    times_.clear();
}

void TfrmMain::Timer1Timer() {
    // A tick that falls due while an earlier tick's error box is open waits for that box:
    // ticks never overlap, and a dead slave does not pile up one box per period.
    if (inTick_)
        return;
    inTick_ = true;
    ++requests_;
    guarded([&] {
        std::vector<std::uint16_t> values;
        if (const auto address = readTarget(values)) {
            bool ok = false;
            try {
                ok = client_.ReadHoldingRegisters(register_number_for_address(*address), values);
            } catch (const std::exception& e) {
                logPollFailure(*address, e.what());
                throw;
            }
            if (ok) {
                shownAddress_ = *address;
                shownValues_ = std::move(values);
                shown_ = true;
                showResponse();
                ++responses_;
                times_.add(client_.LastResponseTime());
                if (cbLogToFile->isChecked())
                    logPoll(poll_log_line(local_stamp(std::chrono::system_clock::now()),
                                          shownAddress_,
                                          shown_values(shownAddress_, shownValues_, valueView())));
            } else {
                logPollFailure(*address, kMsgReadFailed);
            }
        }
        lblTotRequest->setText(qs(request_counter_text(requests_)));
        lblTotResponse->setText(qs(response_counter_text(responses_)));
        lblLastMs->setText(qs(times_.last_text()));
        lblMinMs->setText(qs(times_.min_text()));
        lblAvgMs->setText(qs(times_.average_text()));
        lblMaxMs->setText(qs(times_.max_text()));
    });
    if (!logError_.empty())
        messages_.show(std::exchange(logError_, {}), MessageKind::ErrorBox);
    inTick_ = false;
}

void TfrmMain::showResponse() {
    memoResponse->setPlainText(
        display_text(read_result_text(shownAddress_, shownValues_, valueView())));
}

// A log that cannot be written (a folder, a missing folder, no permission) is switched off and
// its error shown once, after the tick has shown its counters: the poll goes on instead of
// raising one error box per period.
void TfrmMain::logPoll(const std::string& line) {
    try {
        append_poll_log(text_of(edLogFile), line);
    } catch (const ErrorLogError& e) {
        cbLogToFile->setChecked(false);
        logError_ = e.what();
    }
}

void TfrmMain::logPollFailure(std::int32_t address, std::string_view reason) {
    if (cbLogToFile->isChecked())
        logPoll(poll_failure_line(local_stamp(std::chrono::system_clock::now()), address, reason));
}

// A new format shows the last response again at once; the log takes it from the next line on.
void TfrmMain::cbValueFormatChange() {
    cbWordOrder->setEnabled(is_pair_format(valueView().format));
    if (shown_)
        showResponse();
}

// Frames reach the view only while the box is ticked; unticked, the client has no observer
// and the requests cost what they cost without the view.
void TfrmMain::cbShowTrafficClick() {
    if (!cbShowTraffic->isChecked()) {
        client_.OnFrame = nullptr;
        return;
    }
    client_.OnFrame = [this](FrameDirection direction, std::span<const std::uint8_t> frame) {
        memoTraffic->appendPlainText(
            qs(frame_hex_line(local_stamp(std::chrono::system_clock::now()), direction, frame)));
    };
}

void TfrmMain::btnCopyTrafficClick() {
    QApplication::clipboard()->setText(memoTraffic->toPlainText());
}

} // namespace rp
