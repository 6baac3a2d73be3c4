#include "tables/windows/TFSdoMB.h"

#include <QAbstractItemDelegate>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "tables/sdo_schema.h"
#include "tables/sdo_table.h"
#include "tables/windows/editor_support.h"
#include "tables/windows/sdo_table_model.h"

namespace mk {

namespace {

constexpr int kColumnShare = 11;

} // namespace

TFSdoMB::TFSdoMB(const ProjectState& state, MessageSink& sink, QWidget* parent)
    : QDialog(parent), state_(state), sink_(sink), model_(new SdoTableModel(this)),
      pages_(new QTabWidget(this)), grid_(new QTableView),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      export_(new QPushButton(QStringLiteral("Export"), this)),
      import_(new QPushButton(QStringLiteral("Import"), this)) {
    setObjectName(QStringLiteral("TFSdoMB"));
    setWindowTitle(QStringLiteral("SDO"));
    setModal(true);
    resize(960, 640);

    grid_->setModel(model_);
    // The grid has no label of its own; its tab names it.
    grid_->setAccessibleName(QStringLiteral("CanA-ModBus"));
    // Column N numbers the rows, so the view's own row header would only repeat it.
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid_->horizontalHeader()->setHighlightSections(false);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Typing into a cell edits it in place. A click on the selected cell does not: its delayed
    // editor would open over text already being typed and select it, so the next key replaced it.
    grid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    grid_->installEventFilter(this);
    pages_->addTab(grid_, QStringLiteral("CanA-ModBus"));

    export_->setEnabled(false);
    import_->setEnabled(false);
    export_->setToolTip(QStringLiteral("Not available in this build"));
    import_->setToolTip(QStringLiteral("Not available in this build"));
    // Enter ends a cell's edit and never presses "OK" by itself: saving closes the window.
    for (QPushButton* b : {ok_, cancel_, export_, import_})
        b->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, &TFSdoMB::BitBtn1Click);
    connect(cancel_, &QPushButton::clicked, this, &TFSdoMB::BitBtn2Click);

    auto* bar = new QHBoxLayout;
    bar->addWidget(ok_);
    bar->addWidget(cancel_);
    bar->addStretch(1);
    bar->addWidget(export_);
    bar->addWidget(import_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_, 1);
    layout->addLayout(bar);
}

void TFSdoMB::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Opening, not a window restored from the task bar, reloads the file.
    if (!event->spontaneous())
        FormShow();
}

bool TFSdoMB::eventFilter(QObject* watched, QEvent* event) {
    // The grid gets its final size from the layout, after the window's own resize event, so
    // the columns follow the grid's resizing rather than the window's.
    if (watched == grid_ && event->type() == QEvent::Resize)
        FormResize();
    return QDialog::eventFilter(watched, event);
}

void TFSdoMB::FormShow() {
    // Every opening starts from the file: edits of an earlier, cancelled opening are gone.
    model_->setTable(load_sdo_table(state_.table_path(sdo_file::schema), sink_));
    grid_->scrollToTop();
    grid_->setCurrentIndex(model_->index(0, SdoTableModel::AddrWord));
    ok_->setFocus();
}

void TFSdoMB::FormResize() {
    const int width = grid_->width() / kColumnShare;
    for (int c = 0; c < SdoTableModel::ColumnCount; ++c)
        grid_->setColumnWidth(c, width);
}

void TFSdoMB::commitOpenEditor() {
    // A cell still being edited belongs to the table the user confirms, even when "OK" was
    // reached without taking the focus from the cell.
    const QModelIndex current = grid_->currentIndex();
    if (QWidget* editor = grid_->indexWidget(current)) {
        QAbstractItemDelegate* delegate = grid_->itemDelegateForIndex(current);
        emit delegate->commitData(editor);
        emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TFSdoMB::BitBtn1Click() {
    commitOpenEditor();
    const SdoTable& table = model_->table();
    // A range failure shows its message and keeps the window open; a cell that is not a number
    // or a failed write ends the step with its own text. Nothing is written in either case.
    run_guarded(sink_, [&] {
        if (const auto failure = validate_sdo_table(table)) {
            sink_.show(*failure, MessageKind::Warning);
            return;
        }
        save_sdo_table(table, state_.table_path(sdo_file::schema));
        accept();
    });
}

void TFSdoMB::BitBtn2Click() {
    reject();
}

} // namespace mk
