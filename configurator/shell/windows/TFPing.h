#pragma once

#include <QDialog>
#include <string>

#include "ping/ping_check.h"

class QLabel;

namespace mk {

// The ping result window: one of three pictures (found, not found, error), a text line and
// "OK". Created once and refilled for each result.
class TFPing : public QDialog {
    Q_OBJECT
public:
    explicit TFPing(QWidget* parent = nullptr);

    // Hides all three pictures, shows the one for kind (0 found, 1 not found, 2 error) and
    // sets the text line and the caption.
    void prepare(int kind, const QString& caption, const QString& text);

    void BitBtn1Click();

private:
    QLabel* pictures_[3];
    QLabel* text_;
};

// "Ping Device": pings host with button disabled while the echo runs (the windows stay
// painted; clicks and keys wait), then fills window with the outcome. The caller shows it.
PingRun ping_device(DevicePing& ping, const std::string& host, QWidget* button, TFPing& window);

} // namespace mk
