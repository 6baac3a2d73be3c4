#include "tables/windows/TFTPdoMB.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "tables/tpdo_schema.h"

namespace mk {

TFTPdoMB::TFTPdoMB(const ProjectState& state, MessageSink& sink, QWidget* parent)
    : EditorDialog(QStringLiteral("TFTPdoMB"), QStringLiteral("Transmit PDO"), sink, Transfer::None,
                   parent),
      state_(state), model_(new TpdoGridModel(kTpdoColumns, this, &tpdo_cell_faults)) {
    resize(560, 360);
    // The window has a title band instead of tab captions.
    auto* band = new QLabel(QStringLiteral("Transmit PDO"), this);
    band->setObjectName(QStringLiteral("titleBand"));
    band->setAlignment(Qt::AlignCenter);
    band->setStyleSheet(QStringLiteral("QLabel { background: #1F3F73; color: white; "
                                       "font-weight: bold; font-size: 13pt; padding: 6px; }"));
    if (auto* box = qobject_cast<QVBoxLayout*>(layout()))
        box->insertWidget(0, band);
    pages()->setTabBarAutoHide(true);
    addGridPage(QStringLiteral("Transmit PDO"), model_);
    // Free text cells whose columns the user sizes; the last one takes what is left.
    grid()->horizontalHeader()->setStretchLastSection(true);
    grid()->setColumnWidth(0, 40);
    grid()->setColumnWidth(1, 130);
    grid()->setColumnWidth(2, 130);
}

void TFTPdoMB::FormShow() {
    const std::filesystem::path file = state_.table_path(tpdo_file::schema);
    session().open(file);
    model_->loadTable(
        load_tpdo_table(file, tpdo_layout_rows(state_.pdo_layout), sink_, session().incomplete()));
    grid()->scrollToTop();
    grid()->setCurrentIndex(model_->index(0, 1));
    okButton()->setFocus();
}

bool TFTPdoMB::validate() {
    // Every failing test has its own message, all of them before the window returns to editing.
    const std::vector<std::string> failures = check_tpdo_table(model_->table());
    for (const std::string& text : failures)
        sink_.show(text, MessageKind::Warning);
    return failures.empty();
}

void TFTPdoMB::save() {
    // A failed write throws "Error in the save parameter": the base then keeps the window open,
    // so the user can try again or cancel; the previous file is untouched.
    save_tpdo_table(model_->table(), state_.table_path(tpdo_file::schema));
}

std::string TFTPdoMB::document() const {
    return serialize_tpdo_table(model_->table());
}

bool TFTPdoMB::edited() const {
    return model_->edited();
}

} // namespace mk
