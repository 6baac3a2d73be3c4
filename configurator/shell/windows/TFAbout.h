#pragma once

#include <QDialog>

class QLabel;

namespace mk {

// The About box: the product, its software and document codes, the version and the maker's
// web page (opened in the desktop's browser from the picture or the address).
class TFAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFAbout(QWidget* parent = nullptr);

    static QString documentCode();
    static QString mailAddress();
    QLabel* mailLabel() const { return mail_; }

    void ImageClick();
    void WebLabelClick();
    void MailLabelClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* image_;
    QLabel* mail_;
};

} // namespace mk
