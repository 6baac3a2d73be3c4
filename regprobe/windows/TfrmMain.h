#pragma once

#include <QMainWindow>
#include <QTimer>

#include <optional>

#include "regprobe/messages.h"
#include "regprobe/modbus_tcp_client.h"
#include "regprobe/response_times.h"
#include "regprobe/value_format.h"

class QAction;
class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QVBoxLayout;
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
    const ResponseTimes& responseTimes() const { return times_; }

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
    void cbValueFormatChange();
    void cbShowTrafficClick();
    void btnCopyTrafficClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    template <typename Action> void guarded(Action action);
    void fitToScreen();
    void updateTimer();
    // The extended panel's value format, connection, log and traffic controls.
    void addExtendedControls(QHBoxLayout* row, QVBoxLayout* panel);
    // Port and time-out of the extended panel, converted and given to the client.
    void applyConnectionSettings();
    ValueView valueView() const;
    // The read group's block: converts the block length, and when it asks for something sets
    // the host and the connection settings and converts the register number. Nothing when the
    // block length is 0 or less.
    std::optional<std::int32_t> readTarget(std::vector<std::uint16_t>& values);
    void showResponse();
    void logPoll(const std::string& line);
    void logPollFailure(std::int32_t address, std::string_view reason);

    Messages& messages_;
    TModbusTcpClient client_;
    TfrmAbout* about_ = nullptr;
    QTimer Timer1;
    long long requests_ = 0;
    long long responses_ = 0;
    int period_ = 1000;
    bool inTick_ = false;
    ResponseTimes times_;
    // The last good timer response, shown again when the value format changes.
    std::int32_t shownAddress_ = 0;
    std::vector<std::uint16_t> shownValues_;
    bool shown_ = false;
    // The poll log's write error, shown at the end of the tick that met it.
    std::string logError_;

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
    QLabel* lblLastMs;
    QLabel* lblMinMs;
    QLabel* lblAvgMs;
    QLabel* lblMaxMs;
    QComboBox* cbValueFormat;
    QComboBox* cbWordOrder;
    QLineEdit* edPort;
    QLineEdit* edTimeOut;
    QCheckBox* cbLogToFile;
    QLineEdit* edLogFile;
    QCheckBox* cbShowTraffic;
    QPushButton* btnCopyTraffic;
    QPlainTextEdit* memoTraffic;
};

} // namespace rp
