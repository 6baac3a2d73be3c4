#include "regprobe/windows/program_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace rp {

QIcon regprobeIcon() {
    // The picture is drawn at the sizes window managers and task bars ask for; no image plugin
    // is needed at run time.
    QSvgRenderer picture(QStringLiteral(":/icons/example.veltrisa.regprobe.svg"));
    QIcon icon;
    if (!picture.isValid())
        return icon;
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        picture.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace rp
