#include "tables/windows/TFpargen.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "controls/windows/TRangeEdit.h"
#include "core/guard.h"
#include "tables/pargen_check.h"
#include "tables/pargen_schema.h"
#include "ui/edit_history.h"
#include "ui/qt_text.h"
#include "ui/screen_fit.h"

namespace mk {

namespace {

// Asks for the whole page, so the window opens at the size its fields need; on a screen too
// small for that the window is cut down to the screen and the page scrolls.
class PageScroller final : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override {
        const int frame = 2 * frameWidth();
        return widget() ? widget()->sizeHint() + QSize(frame, frame) : QScrollArea::sizeHint();
    }
};

QLineEdit* plainField(QWidget* parent, const QString& label) {
    auto* e = new QLineEdit(parent);
    e->setAccessibleName(label);
    return e;
}

QComboBox* listField(QWidget* parent, const QString& label, bool editable, const auto& items) {
    auto* c = new QComboBox(parent);
    c->setEditable(editable);
    // A typed bit rate is the field's text only; it never becomes an item of the list.
    c->setInsertPolicy(QComboBox::NoInsert);
    // Nor is it completed from the list: typed 12 would otherwise be left as 125.
    if (editable)
        c->setCompleter(nullptr);
    for (const char* item : items)
        c->addItem(QString::fromUtf8(item));
    c->setAccessibleName(label);
    // The edit field inside an editable list is the same field for the user.
    if (editable)
        c->lineEdit()->setAccessibleName(label);
    return c;
}

void setOctets(const TFpargen::OctetEdits& edits, const OctetTexts& octets) {
    for (std::size_t i = 0; i < edits.size(); ++i)
        edits[i]->setText(qs(octets[i]));
}

// The width an octet field needs in its current font: room for three digits, the widest text it
// accepts, and a fourth, so that a digit typed too many stays in view until the check refuses it.
int octetWidth(const QLineEdit* e) {
    const QFontMetrics fm(e->font());
    int digit = 0;
    for (char c = '0'; c <= '9'; ++c)
        digit = std::max(digit, fm.horizontalAdvance(QLatin1Char(c)));
    // A line edit keeps 2 pixels between its text and its frame on either side.
    constexpr int kInnerMargins = 4;
    const QMargins text = e->textMargins();
    const QMargins contents = e->contentsMargins();
    QStyleOptionFrame frame;
    frame.initFrom(e);
    frame.state |= QStyle::State_Sunken;
    frame.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
    const QSize inner(4 * digit + kInnerMargins + text.left() + text.right() + contents.left() +
                          contents.right(),
                      fm.height());
    return e->style()->sizeFromContents(QStyle::CT_LineEdit, &frame, inner, e).width();
}

OctetTexts octetsOf(const TFpargen::OctetEdits& edits, const OctetTexts& shown) {
    OctetTexts out;
    for (std::size_t i = 0; i < edits.size(); ++i)
        out[i] = kept(edits[i]->text(), shown[i]);
    return out;
}

} // namespace

TFpargen::TFpargen(ProjectState& state, MessageSink& sink, AddressTarget setDeviceAddress,
                   QWidget* parent)
    : QDialog(parent), state_(state), sink_(sink), setDeviceAddress_(std::move(setDeviceAddress)),
      history_(new QUndoStack(this)) {
    setObjectName(QStringLiteral("FpargenWindow"));
    setWindowTitle(QStringLiteral("SET COMMUNICATION"));
    setModal(true);
    buildLayout();
    setRecord(TParGen{});
    watchChanges();
}

void TFpargen::watchChanges() {
    addUndoKeys(this, history_);
    // Each change the user makes is one step: a text when its field is left (within the field,
    // its own Undo goes first), a list choice, a tick or a choice of button, a delay value.
    for (QLineEdit* e : findChildren<QLineEdit*>()) {
        if (qobject_cast<QAbstractSpinBox*>(e->parentWidget()))
            continue;
        connect(e, &QLineEdit::editingFinished, this, &TFpargen::noteChange);
        e->installEventFilter(this);
    }
    for (QComboBox* c : findChildren<QComboBox*>()) {
        connect(c, &QComboBox::activated, this, &TFpargen::noteChange);
        if (c->isEditable())
            c->installEventFilter(this);
    }
    for (QCheckBox* c : findChildren<QCheckBox*>())
        connect(c, &QCheckBox::clicked, this, &TFpargen::noteChange);
    for (QRadioButton* r : findChildren<QRadioButton*>())
        connect(r, &QRadioButton::clicked, this, &TFpargen::noteChange);
    connect(delay_, &QSpinBox::valueChanged, this, &TFpargen::noteChange);
}

void TFpargen::noteChange() {
    if (restoring_)
        return;
    TParGen now = record();
    recordStep<TParGen>(history_, QStringLiteral("Change"), current_, now,
                        [this](const TParGen& r) {
                            restoring_ = true;
                            setRecord(r);
                            restoring_ = false;
                            current_ = record();
                        });
    current_ = std::move(now);
}

bool TFpargen::eventFilter(QObject* watched, QEvent* event) {
    // A field with nothing of its own to undo leaves Ctrl+Z to the window.
    return leavesUndoToWindow(watched, event) || QDialog::eventFilter(watched, event);
}

TFpargen::OctetEdits TFpargen::makeOctets(const QString& label, const char* objectPrefix) {
    OctetEdits edits{};
    for (std::size_t i = 0; i < edits.size(); ++i) {
        auto* e = new TRangeEdit(this);
        e->setMaxVal(255);
        // An octet is a whole number; a fraction would reach the device as no value at all.
        e->setIsInteger(true);
        e->setMessageSink(&sink_);
        e->setObjectName(QString::fromUtf8(objectPrefix) + QString::number(i + 1));
        e->setAccessibleName(label + QStringLiteral(" octet ") + QString::number(i + 1));
        e->setFixedWidth(octetWidth(e));
        e->setAlignment(Qt::AlignRight);
        edits[i] = e;
    }
    return edits;
}

QGroupBox* TFpargen::buildBusA() {
    auto* group = new QGroupBox(QStringLiteral("CanOpen bus  A"), this);
    devIdA_ = plainField(group, QStringLiteral("DevID"));
    baudA_ = listField(group, QStringLiteral("Baud rate"), true, kBusBaudRates);
    operational_ = new QCheckBox(QStringLiteral("Set Operational State at Start-Up"), group);
    networkStart_ = new QCheckBox(QStringLiteral("Network Start at Start-Up"), group);
    networkStartModbus_ = new QCheckBox(QStringLiteral("Can Start on Modbus command"), group);
    modbusAddress_ = plainField(group, QStringLiteral("Add. Word modbus "));
    delay_ = new QSpinBox(group);
    delay_->setRange(0, kMaxStartDelay);
    delay_->setAccessibleName(QStringLiteral("Delay"));
    pdo15x3_ = new QRadioButton(QStringLiteral("15 RPDO and 3 TPDO"), group);
    pdo8x8_ = new QRadioButton(QStringLiteral("8 RPDO and 8 TPDO"), group);
    auto* layoutChoice = new QButtonGroup(group);
    layoutChoice->addButton(pdo15x3_);
    layoutChoice->addButton(pdo8x8_);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("DevID"), devIdA_);
    form->addRow(QStringLiteral("Baud rate"), baudA_);
    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(delay_);
    delayRow->addWidget(new QLabel(QStringLiteral("0-255 sec."), group));
    delayRow->addStretch(1);

    auto* v = new QVBoxLayout(group);
    v->addLayout(form);
    v->addWidget(operational_);
    v->addWidget(networkStart_);
    auto* delayForm = new QFormLayout;
    delayForm->addRow(QStringLiteral("Delay"), delayRow);
    v->addLayout(delayForm);
    v->addWidget(networkStartModbus_);
    auto* addressForm = new QFormLayout;
    addressForm->addRow(QStringLiteral("Add. Word modbus "), modbusAddress_);
    v->addLayout(addressForm);
    auto* pdoBox = new QGroupBox(QStringLiteral("PDO"), group);
    // Without its own name a group inside a group is announced with the outer group's title.
    pdoBox->setAccessibleName(pdoBox->title());
    auto* pdoLayout = new QVBoxLayout(pdoBox);
    pdoLayout->addWidget(pdo15x3_);
    pdoLayout->addWidget(pdo8x8_);
    v->addWidget(pdoBox);
    return group;
}

QGroupBox* TFpargen::buildBusB() {
    auto* group = new QGroupBox(QStringLiteral("CanOpen bus  B"), this);
    devIdB_ = plainField(group, QStringLiteral("DevID"));
    baudB_ = listField(group, QStringLiteral("Baud rate"), true, kBusBaudRates);
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("DevID"), devIdB_);
    form->addRow(QStringLiteral("Baud rate"), baudB_);
    return group;
}

QGroupBox* TFpargen::buildNetConfig() {
    auto* group = new QGroupBox(QStringLiteral("Net config"), this);
    re_ipb_ = makeOctets(QStringLiteral("IP"), "re_ipb");
    re_smb_ = makeOctets(QStringLiteral("SubNet Mask"), "re_smb");
    auto* grid = new QGridLayout(group);
    const auto addRow = [&](int row, const QString& label, const OctetEdits& edits) {
        grid->addWidget(new QLabel(label, group), row, 0);
        for (std::size_t i = 0; i < edits.size(); ++i)
            grid->addWidget(edits[i], row, static_cast<int>(i) + 1);
    };
    addRow(0, QStringLiteral("IP"), re_ipb_);
    addRow(1, QStringLiteral("SubNet Mask"), re_smb_);
    grid->setColumnStretch(5, 1);
    return group;
}

QGroupBox* TFpargen::buildSerial() {
    auto* group = new QGroupBox(QStringLiteral("Impostazioni Interfaccia Seriale"), this);
    serialBaud_ = listField(group, QStringLiteral("Baudrate"), false, kSerialBaudRates);
    parity_ = listField(group, QStringLiteral("Parity"), false, kParities);
    ser232_ = new QRadioButton(QStringLiteral("232"), group);
    ser485_ = new QRadioButton(QStringLiteral("485"), group);
    devIdSerial_ = plainField(group, QStringLiteral("DevID"));
    auto* line = new QHBoxLayout;
    line->addWidget(ser232_);
    line->addWidget(ser485_);
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("Baudrate"), serialBaud_);
    form->addRow(QStringLiteral("Parity"), parity_);
    form->addRow(line);
    form->addRow(QStringLiteral("DevID"), devIdSerial_);
    return group;
}

QGroupBox* TFpargen::buildSnmp() {
    auto* group = new QGroupBox(QStringLiteral("SNMP"), this);
    readCommunity_ = plainField(group, QStringLiteral("Community name Read"));
    writeCommunity_ = plainField(group, QStringLiteral("Community name Write"));
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Community name Read"), group), 0, 0);
    grid->addWidget(readCommunity_, 0, 1, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("Community name Write"), group), 1, 0);
    grid->addWidget(writeCommunity_, 1, 1, 1, 4);
    for (int t = 0; t < 3; ++t) {
        const QString label = QStringLiteral("IP %1 for SNMP traps").arg(t + 1);
        const std::string prefix = "sn" + std::to_string(t + 1) + "_ipb";
        sn_ipb_[static_cast<std::size_t>(t)] = makeOctets(label, prefix.c_str());
        grid->addWidget(new QLabel(label, group), t + 2, 0);
        for (std::size_t i = 0; i < 4; ++i)
            grid->addWidget(sn_ipb_[static_cast<std::size_t>(t)][i], t + 2,
                            static_cast<int>(i) + 1);
    }
    grid->setColumnStretch(5, 1);
    return group;
}

void TFpargen::buildLayout() {
    auto* busA = buildBusA();
    busB_ = buildBusB();
    auto* net = buildNetConfig();
    serial_ = buildSerial();
    snmp_ = buildSnmp();

    timeoutSdo_ = plainField(this, QStringLiteral("SDO Timeout (1/10 ms)"));
    auto* timeoutForm = new QFormLayout;
    timeoutForm->addRow(QStringLiteral("SDO Timeout (1/10 ms)"), timeoutSdo_);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setObjectName(QStringLiteral("okButton"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &TFpargen::BitBtn1Click);
    connect(cancel, &QPushButton::clicked, this, &TFpargen::BitBtn2Click);

    // The SNMP settings are written into the device but are not part of the everyday view:
    // one button shows or hides them below the rest of the window.
    snmpButton_ = new QPushButton(QStringLiteral("SNMP settings"), this);
    snmpButton_->setCheckable(true);
    snmpButton_->setAutoDefault(false);
    snmp_->setVisible(false);
    connect(snmpButton_, &QPushButton::toggled, this, [this](bool on) {
        // A field in error must stay where the user can correct it: folding the group away
        // would leave its value, and the focus, out of sight.
        if (!on && showFirstRangeError(true)) {
            const QSignalBlocker blocker(snmpButton_);
            snmpButton_->setChecked(true);
            return;
        }
        snmp_->setVisible(on);
        fitToContents();
    });

    auto* right = new QVBoxLayout;
    right->addWidget(net);
    right->addWidget(serial_);
    right->addLayout(timeoutForm);
    right->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(busA);
    top->addWidget(busB_);
    top->addLayout(right);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(snmpButton_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);

    // The groups scroll when the screen is too small for them (the SNMP group open at a scale
    // factor of 2); the buttons stay in sight below them.
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addLayout(top);
    pageLayout->addWidget(snmp_);
    scroller_ = new PageScroller(this);
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setFocusPolicy(Qt::NoFocus);
    scroller_->setWidgetResizable(true);
    scroller_->setWidget(page);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(scroller_);
    outer->addLayout(buttons);

    busB_->setVisible(false);
    serial_->setVisible(false);

    // Tab follows the reading order: bus A from top to bottom, the address fields, the SDO
    // timeout, the SNMP group when shown, then the buttons from left to right. Hidden groups
    // keep their place in the chain and are skipped while hidden.
    std::vector<QWidget*> chain = {
        devIdA_,        baudA_,   operational_, networkStart_, delay_, networkStartModbus_,
        modbusAddress_, pdo15x3_, pdo8x8_,      devIdB_,       baudB_};
    chain.insert(chain.end(), re_ipb_.begin(), re_ipb_.end());
    chain.insert(chain.end(), re_smb_.begin(), re_smb_.end());
    chain.insert(chain.end(), {serialBaud_, parity_, ser232_, ser485_, devIdSerial_, timeoutSdo_,
                               readCommunity_, writeCommunity_});
    for (const OctetEdits& trap : sn_ipb_)
        chain.insert(chain.end(), trap.begin(), trap.end());
    chain.insert(chain.end(), {snmpButton_, ok_, cancel});
    for (std::size_t i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

TParGen TFpargen::record() const {
    // Texts the user left as shown keep the bytes the file gave them.
    const TParGen& s = shown_;
    TParGen r;
    r.idA = kept(devIdA_->text(), s.idA);
    r.boudA = kept(baudA_->currentText(), s.boudA);
    r.idB = kept(devIdB_->text(), s.idB);
    r.boudB = kept(baudB_->currentText(), s.boudB);
    r.timeoutsdo = kept(timeoutSdo_->text(), s.timeoutsdo);
    r.baudmodbus = serialBaud_->currentIndex();
    r.parity = parity_->currentIndex();
    r.ser = ser232_->isChecked() ? SerialLine::Rs232 : SerialLine::Rs485;
    r.devid = kept(devIdSerial_->text(), s.devid);
    r.devnetip = octetsOf(re_ipb_, s.devnetip);
    r.devnetsubnetmask = octetsOf(re_smb_, s.devnetsubnetmask);
    r.readCommunity = kept(readCommunity_->text(), s.readCommunity);
    r.writeCommunity = kept(writeCommunity_->text(), s.writeCommunity);
    r.snmptrapIp1 = octetsOf(sn_ipb_[0], s.snmptrapIp1);
    r.snmptrapIp2 = octetsOf(sn_ipb_[1], s.snmptrapIp2);
    r.snmptrapIp3 = octetsOf(sn_ipb_[2], s.snmptrapIp3);
    r.operationalAtStart = operational_->isChecked();
    r.networkStart = networkStart_->isChecked();
    r.networkStartModbus = networkStartModbus_->isChecked();
    r.modbusStartAddress = kept(modbusAddress_->text(), s.modbusStartAddress);
    r.delay = delay_->value();
    r.typePdo = pdo8x8_->isChecked() ? 1 : 0;
    return r;
}

void TFpargen::setRecord(const TParGen& r) {
    devIdA_->setText(qs(r.idA));
    baudA_->setCurrentText(qs(r.boudA));
    devIdB_->setText(qs(r.idB));
    baudB_->setCurrentText(qs(r.boudB));
    timeoutSdo_->setText(qs(r.timeoutsdo));
    serialBaud_->setCurrentIndex(r.baudmodbus);
    parity_->setCurrentIndex(r.parity);
    (r.ser == SerialLine::Rs232 ? ser232_ : ser485_)->setChecked(true);
    devIdSerial_->setText(qs(r.devid));
    setOctets(re_ipb_, r.devnetip);
    setOctets(re_smb_, r.devnetsubnetmask);
    readCommunity_->setText(qs(r.readCommunity));
    writeCommunity_->setText(qs(r.writeCommunity));
    setOctets(sn_ipb_[0], r.snmptrapIp1);
    setOctets(sn_ipb_[1], r.snmptrapIp2);
    setOctets(sn_ipb_[2], r.snmptrapIp3);
    operational_->setChecked(r.operationalAtStart);
    networkStart_->setChecked(r.networkStart);
    networkStartModbus_->setChecked(r.networkStartModbus);
    modbusAddress_->setText(qs(r.modbusStartAddress));
    delay_->setValue(r.delay);
    (r.typePdo == 0 ? pdo15x3_ : pdo8x8_)->setChecked(true);
}

void TFpargen::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        for (const OctetEdits* edits : octetGroups())
            for (TRangeEdit* e : *edits)
                e->setFixedWidth(octetWidth(e));
}

std::array<const TFpargen::OctetEdits*, 5> TFpargen::octetGroups() const {
    return {&re_ipb_, &re_smb_, &sn_ipb_[0], &sn_ipb_[1], &sn_ipb_[2]};
}

bool TFpargen::showFirstRangeError(bool snmpOnly) {
    const std::vector<ParGenRangeError> errors = pargen_range_errors(record());
    const auto isSnmp = [](const ParGenRangeError& e) {
        return e.field == ParGenRanged::SnmpTrap1 || e.field == ParGenRanged::SnmpTrap2 ||
               e.field == ParGenRanged::SnmpTrap3;
    };
    const auto error = std::find_if(errors.begin(), errors.end(), [&](const ParGenRangeError& e) {
        return !snmpOnly || isSnmp(e);
    });
    if (error == errors.end())
        return false;
    sink_.show(error->message, MessageKind::Warning);
    QWidget* field = delay_;
    if (error->field != ParGenRanged::Delay)
        field = (*octetGroups()[static_cast<std::size_t>(error->field)])[static_cast<std::size_t>(
            error->octet)];
    // A field is corrected where the user can see it: the SNMP group opens first.
    if (isSnmp(*error) && !snmpButton_->isChecked())
        snmpButton_->setChecked(true);
    // The message box has just closed; the window whose field takes the focus is made the
    // active one again, so the keys reach that field whatever the desktop did meanwhile.
    activateWindow();
    field->setFocus(Qt::OtherFocusReason);
    return true;
}

void TFpargen::fitToContents() {
    // The size the groups shown need, within the screen. The scroller does not learn by itself
    // that its page changed.
    scroller_->updateGeometry();
    layout()->activate();
    const QSize wanted = sizeHint();
    resize(wanted);
    fitIntoScreen(this);
    // Cut down in height, the page scrolls: room for the scroll bar beside it.
    if (height() < wanted.height()) {
        resize(wanted.width() + style()->pixelMetric(QStyle::PM_ScrollBarExtent), height());
        fitIntoScreen(this);
    }
}

void TFpargen::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    fitToContents();
    // A window restored from the task bar gets a show event from the system too; reloading
    // then would throw away what the user has typed since the window opened.
    if (!event->spontaneous())
        FormShow();
}

void TFpargen::FormShow() {
    busB_->setVisible(false);
    // The defaults are the starting point: what the file does not supply (a missing file, or the
    // positions after a reading error) is never a value an earlier showing left, which may have
    // belonged to another project.
    const std::filesystem::path file = state_.table_path(pargen_file::schema);
    session_.open(file);
    shown_ = TParGen{};
    load_pargen(file, shown_, sink_, session_.incomplete());
    restoring_ = true;
    setRecord(shown_);
    restoring_ = false;
    // What the fields make of it (a list position outside the list selects nothing) is what
    // the user sees, and what an unchanged window gives back.
    shown_ = record();
    // The history belongs to one opening.
    history_->clear();
    current_ = shown_;
    ok_->setFocus();
}

void TFpargen::BitBtn1Click() {
    // A file read only in part is never written over: its unread positions would be lost.
    if (!session_.may_save(sink_))
        return;
    // An OK taken with Enter leaves the focus in the field being typed; it is reformatted and
    // checked as if the user had left it, and an error keeps the window open on that field.
    auto* field = qobject_cast<TRangeEdit*>(focusWidget());
    const bool focusedFieldLeft = !field || field->Exit();
    // Every ranged field is checked, not only the one that had the focus: values read from the
    // file never went through a field's leaving check. The message names the field, also when it
    // is the one being typed.
    if (showFirstRangeError(false) || !focusedFieldLeft || !session_.may_replace(sink_))
        return;
    const TParGen r = record();
    const bool saved =
        run_guarded(sink_, [&] { save_pargen(state_.table_path(pargen_file::schema), r); });
    if (!saved)
        return;
    state_.pdo_layout = r.typePdo;
    if (setDeviceAddress_)
        setDeviceAddress_(qs(device_address_of(r)));
    accept();
}

void TFpargen::BitBtn2Click() {
    reject();
}

void TFpargen::reject() {
    if (EditSession::may_discard(record() != shown_, sink_))
        QDialog::reject();
}

} // namespace mk
