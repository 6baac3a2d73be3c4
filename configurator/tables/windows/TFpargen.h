#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "core/edit_session.h"
#include "core/message_sink.h"
#include "core/project_state.h"
#include "tables/pargen_table.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QUndoStack;

namespace mk {

class TRangeEdit;

// "SET COMMUNICATION": the gateway's communication parameters, loaded from pargen.xml each time
// the window is shown and written whole on OK. OK also sets the PDO layout option and hands the
// device IP address to the main window. Bus B and the serial line are held and written back as
// they were; the SNMP communities and trap addresses are offered in a separate group that the
// "SNMP settings" button shows. Like the table editors, the window refuses to write over a file
// it could not read to its end, asks before replacing a file changed elsewhere and before
// throwing edits away (EditSession), and writes back text it did not change byte for byte.
class TFpargen : public QDialog {
    Q_OBJECT
public:
    using AddressTarget = std::function<void(const QString&)>;

    TFpargen(ProjectState& state, MessageSink& sink, AddressTarget setDeviceAddress,
             QWidget* parent = nullptr);

    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();
    // "Cancel", Escape and the close button: asks before throwing edits away.
    void reject() override;

    // The window's contents as a record, and back.
    TParGen record() const;
    void setRecord(const TParGen& record);

    // Widgets named after the window's controls, for tests and for the accessibility tree.
    using OctetEdits = std::array<TRangeEdit*, 4>;
    const OctetEdits& ipEdits() const { return re_ipb_; }
    const OctetEdits& subnetEdits() const { return re_smb_; }
    const OctetEdits& trapEdits(int which) const {
        return sn_ipb_.at(static_cast<std::size_t>(which));
    }
    QLineEdit* devIdA() const { return devIdA_; }
    QComboBox* baudA() const { return baudA_; }
    QGroupBox* busBGroup() const { return busB_; }
    QGroupBox* serialGroup() const { return serial_; }
    QGroupBox* snmpGroup() const { return snmp_; }
    QPushButton* snmpButton() const { return snmpButton_; }
    QComboBox* serialBaud() const { return serialBaud_; }
    QRadioButton* serial485() const { return ser485_; }
    QCheckBox* operationalAtStart() const { return operational_; }
    QCheckBox* networkStart() const { return networkStart_; }
    QCheckBox* networkStartModbus() const { return networkStartModbus_; }
    QLineEdit* modbusStartAddress() const { return modbusAddress_; }
    QSpinBox* delay() const { return delay_; }
    QRadioButton* layout15x3() const { return pdo15x3_; }
    QRadioButton* layout8x8() const { return pdo8x8_; }
    QPushButton* okButton() const { return ok_; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    // Sizes the window to the groups shown, cut down to the screen (the groups then scroll).
    void fitToContents();
    // The window's history: Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y over every field, list and choice.
    void watchChanges();
    // Records what the user just changed as one step of the history.
    void noteChange();
    QGroupBox* buildBusA();
    QGroupBox* buildBusB();
    QGroupBox* buildNetConfig();
    QGroupBox* buildSerial();
    QGroupBox* buildSnmp();
    OctetEdits makeOctets(const QString& label, const char* objectPrefix);
    // The five addresses in the order of ParGenRanged.
    std::array<const OctetEdits*, 5> octetGroups() const;
    // Shows the message of the first ranged field in error (of the SNMP group only, when asked)
    // and puts the focus there; returns whether there was one.
    bool showFirstRangeError(bool snmpOnly);

    ProjectState& state_;
    MessageSink& sink_;
    AddressTarget setDeviceAddress_;
    EditSession session_;
    TParGen shown_; // the record as the last opening showed it
    QUndoStack* history_;
    TParGen current_;        // the record as the last step of the history left it
    bool restoring_ = false; // fields being filled by the window, not typed by the user

    QLineEdit* devIdA_ = nullptr;
    QComboBox* baudA_ = nullptr;
    QLineEdit* devIdB_ = nullptr;
    QComboBox* baudB_ = nullptr;
    QLineEdit* timeoutSdo_ = nullptr;
    QComboBox* serialBaud_ = nullptr;
    QComboBox* parity_ = nullptr;
    QRadioButton* ser232_ = nullptr;
    QRadioButton* ser485_ = nullptr;
    QLineEdit* devIdSerial_ = nullptr;
    OctetEdits re_ipb_{};
    OctetEdits re_smb_{};
    std::array<OctetEdits, 3> sn_ipb_{};
    QLineEdit* readCommunity_ = nullptr;
    QLineEdit* writeCommunity_ = nullptr;
    QCheckBox* operational_ = nullptr;
    QCheckBox* networkStart_ = nullptr;
    QCheckBox* networkStartModbus_ = nullptr;
    QLineEdit* modbusAddress_ = nullptr;
    QSpinBox* delay_ = nullptr;
    QRadioButton* pdo15x3_ = nullptr;
    QRadioButton* pdo8x8_ = nullptr;
    QGroupBox* busB_ = nullptr;
    QGroupBox* serial_ = nullptr;
    QGroupBox* snmp_ = nullptr;
    QScrollArea* scroller_ = nullptr;
    QPushButton* snmpButton_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace mk
