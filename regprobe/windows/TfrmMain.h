#pragma once

#include <QMainWindow>
#include <QTimer>

#include "regprobe/messages.h"
#include "regprobe/modbus_tcp_client.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QScrollArea;
class QPlainTextEdit;
class QPushButton;

namespace rp {

class TfrmAbout;

// The test master window: reads, writes and polls holding registers of one slave through its
// own Modbus TCP client (unit identifier 7, port 502). Every request runs on this thread and
// blocks the window until it ends. A main window, so assistive technology shows it as the
// program's frame.
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(Messages& messages, QWidget* parent = nullptr);

    void setAboutBox(TfrmAbout* about) { about_ = about; }
    TModbusTcpClient& client() { return client_; }
    long long requestCount() const { return requests_; }
    long long responseCount() const { return responses_; }
    const QTimer& timer() const { return Timer1; }

    // Sizes the window to its page, within `available` (a screen's available geometry) less a
    // window frame; the page scrolls when it does not fit.
    void fitInto(const QRect& available);

    void FormShow();
    void btnAboutClick();
    void btnChangeAddressClick();
    void btnReadClick();
    void btnWriteClick();
    void btnWriteMultiClick();
    void btnAddValueClick();
    void btnDelValueClick();
    void btnDelAllValueClick();
    void ViewEstendedFunctionClick();
    void cbTimerClick();
    void edTimeMsChange();
    void btnClearCountClick();
    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;

private:
    template <typename Action> void guarded(Action action);
    void fitToScreen();
    void updateTimer();
    // Reads the read group's block; false when the block length asks for nothing.
    bool readBlock(std::int32_t& address, std::vector<std::uint16_t>& values, bool& ok);

    Messages& messages_;
    TModbusTcpClient client_;
    TfrmAbout* about_ = nullptr;
    QTimer Timer1;
    long long requests_ = 0;
    long long responses_ = 0;
    int period_ = 1000;
    bool inTick_ = false;

    QLineEdit* edIP;
    QPushButton* btnAbout;
    QLineEdit* edUnitId;
    QPushButton* btnChangeAddress;
    QLabel* lblUnitId;
    QLineEdit* edReadReg;
    QLineEdit* edBlockLength;
    QPushButton* btnRead;
    QAction* ViewEstendedFunction;
    QMenu* readMenu_;
    QWidget* page_;
    QScrollArea* scroller_;
    QLineEdit* edWriteReg;
    QLineEdit* edNewValue;
    QPushButton* btnWrite;
    QLineEdit* edMultiReg;
    QLineEdit* edMultiCount;
    QPushButton* btnWriteMulti;
    QPushButton* btnAddValue;
    QLineEdit* edAddValue;
    QPushButton* btnDelValue;
    QPushButton* btnDelAllValue;
    QListWidget* lbValues;
    QGroupBox* pnlExtended;
    QCheckBox* cbTimer;
    QLineEdit* edTimeMs;
    QLabel* lblTotRequest;
    QLabel* lblTotResponse;
    QPushButton* btnClearCount;
    QPlainTextEdit* memoResponse;
};

} // namespace rp
