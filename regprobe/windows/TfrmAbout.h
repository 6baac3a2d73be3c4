#pragma once

#include <QDialog>

class QLabel;

namespace rp {

// The About box: the maker's logo, three lines of address, a link to the maker's web site and
// one that starts an e-mail to the maker.
class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    static QString webAddress();
    static QString mailAddress();

    void lblWebClick();
    void lblMailClick();
};

} // namespace rp
