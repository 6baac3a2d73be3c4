#include "tables/windows/TFInfopdoMB.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>
#include <vector>

#include "core/guard.h"
#include "tables/sdopdo_schema.h"
#include "tables/windows/byte_choices.h"
#include "transfer/sdopdo_transfer.h"
#include "ui/edit_history.h"
#include "ui/qt_text.h"

namespace mk {

namespace {

// A list with its heading lines above it; the list is named by its heading for assistive
// technology.
QWidget* headedList(QListWidget* list, const QStringList& heading) {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    QStringList named;
    for (const QString& line : heading) {
        auto* label = new QLabel(line, box);
        label->setStyleSheet(QStringLiteral("font-weight: bold;"));
        layout->addWidget(label);
        // An empty line only keeps the two lists level; it is no part of the name.
        if (!line.isEmpty())
            named.append(line);
    }
    list->setAccessibleName(named.join(QLatin1Char(' ')));
    layout->addWidget(list, 1);
    return box;
}

// One "Selected PDO Byte" group: "none" and "B1" to "B8", their ids the choice 0 to 8. The two
// lines beside it say which half of the register it fills.
QWidget* byteGroup(const QString& name, const QString& half, QButtonGroup* group, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* caption = new QLabel(QStringLiteral("Translate in\n") + half, row);
    caption->setMinimumWidth(120);
    layout->addWidget(caption);
    auto* box = new QGroupBox(QStringLiteral("Selected PDO Byte"), row);
    box->setObjectName(name);
    box->setAccessibleName(QStringLiteral("Selected PDO Byte, Translate in ") + half);
    auto* grid = new QGridLayout(box);
    for (int id = 0; id <= 8; ++id) {
        auto* b =
            new QRadioButton(id == 0 ? QStringLiteral("none") : QStringLiteral("B%1").arg(id), box);
        b->setObjectName(name + QString::number(id));
        group->addButton(b, id);
        grid->addWidget(b, id / 3, id % 3);
    }
    group->button(0)->setChecked(true);
    layout->addWidget(box, 1);
    return row;
}

QPushButton* actionButton(const QString& caption, const QString& name, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TFInfopdoMB::TFInfopdoMB(const ProjectState& state, MessageSink& sink, QWidget* parent)
    : EditorDialog(QStringLiteral("TFInfopdoMB"), QStringLiteral("INFOPDO"), sink,
                   Transfer::ExportImport, parent),
      state_(state), entries_(new QListWidget), pdos_(new QListWidget), index_(new QLineEdit),
      high_(new QButtonGroup(this)), low_(new QButtonGroup(this)) {
    resize(820, 520);
    entries_->setObjectName(QStringLiteral("entriesList"));
    pdos_->setObjectName(QStringLiteral("pdoList"));
    index_->setObjectName(QStringLiteral("indexEdit"));

    auto* page = new QWidget;
    auto* columns = new QHBoxLayout(page);
    columns->addWidget(headedList(entries_, {QStringLiteral("MODBUS"), QString()}), 2);
    columns->addWidget(
        headedList(pdos_, {QStringLiteral("Correlated"), QStringLiteral("Index PDO MODBUS")}), 2);

    auto* side = new QVBoxLayout;
    auto* indexLabel = new QLabel(QStringLiteral("Index MODBUS"), page);
    indexLabel->setBuddy(index_);
    index_->setAccessibleName(QStringLiteral("Index MODBUS"));
    shareUndoKeys(index_);
    side->addWidget(indexLabel);
    side->addWidget(index_);
    side->addWidget(
        byteGroup(QStringLiteral("highGroup"), QStringLiteral("High MODBUS Byte"), high_, page));
    side->addWidget(
        byteGroup(QStringLiteral("lowGroup"), QStringLiteral("Low MODBUS Byte"), low_, page));
    auto* buttons = new QGridLayout;
    QPushButton* remove =
        actionButton(QStringLiteral("Delete"), QStringLiteral("deleteButton"), page);
    QPushButton* add = actionButton(QStringLiteral("New"), QStringLiteral("newButton"), page);
    QPushButton* modify =
        actionButton(QStringLiteral("Modify"), QStringLiteral("modifyButton"), page);
    QPushButton* copy = actionButton(QStringLiteral("Copy"), QStringLiteral("copyButton"), page);
    QPushButton* paste = actionButton(QStringLiteral("Paste"), QStringLiteral("pasteButton"), page);
    buttons->addWidget(remove, 0, 0);
    buttons->addWidget(add, 0, 1);
    buttons->addWidget(modify, 0, 2);
    buttons->addWidget(copy, 1, 0);
    buttons->addWidget(paste, 1, 1);
    side->addLayout(buttons);
    side->addStretch(1);
    columns->addLayout(side, 3);
    pages()->addTab(page, QStringLiteral("CanA-ModBus"));
    // The keyboard goes through the page as it reads: the two lists, the field, the groups
    // (each entered at its chosen byte), the buttons.
    std::vector<QWidget*> order = {entries_, pdos_, index_};
    for (QButtonGroup* group : {high_, low_}) {
        tabToChosenByte(group);
        for (QAbstractButton* choice : group->buttons())
            order.push_back(choice);
    }
    order.insert(order.end(), {remove, add, modify, copy, paste, okButton(), cancelButton()});
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    // A click selects, also on the line already selected (to show an entry again after editing
    // the field); the arrow keys select too. A mouse press selects before the click arrives, so
    // that change is left to the click. Tabbing into a list only puts the keyboard cursor on a
    // line without selecting it, so it changes nothing the user typed.
    const auto wireSelection = [](QListWidget* list, void (TFInfopdoMB::*handler)(int),
                                  TFInfopdoMB* self) {
        connect(list, &QListWidget::itemSelectionChanged, self, [self, handler, list] {
            const QListWidgetItem* item = list->currentItem();
            if (QApplication::mouseButtons() == Qt::NoButton && item && item->isSelected())
                (self->*handler)(list->currentRow());
        });
        connect(
            list, &QListWidget::itemClicked, self,
            [self, handler, list](QListWidgetItem* item) { (self->*handler)(list->row(item)); });
    };
    wireSelection(pdos_, &TFInfopdoMB::lbPdoClick, this);
    wireSelection(entries_, &TFInfopdoMB::lbIndMBClick, this);
    connect(add, &QPushButton::clicked, this, &TFInfopdoMB::bbNewClick);
    connect(modify, &QPushButton::clicked, this, &TFInfopdoMB::bbModifyClick);
    connect(remove, &QPushButton::clicked, this, &TFInfopdoMB::bbDeleteClick);
    connect(copy, &QPushButton::clicked, this, &TFInfopdoMB::bbCopyClick);
    connect(paste, &QPushButton::clicked, this, &TFInfopdoMB::bbPasteClick);
}

void TFInfopdoMB::FormShow() {
    session().open(state_.table_path(sdopdo_file::schema));
    run_guarded(sink_, [&] { editor_.open(state_.project_dir, sink_, session().incomplete()); });
    {
        const QSignalBlocker quiet(pdos_);
        pdos_->clear();
        for (const TClPdo& pdo : editor_.table().pdos)
            pdos_->addItem(qs(pdo.cobid));
    }
    showEditor();
    okButton()->setFocus();
}

void TFInfopdoMB::takeWidgets() {
    editor_.edit = ss(index_->text());
    editor_.choice = {high_->checkedId(), low_->checkedId()};
}

void TFInfopdoMB::showEntries() {
    const QSignalBlocker quiet(entries_);
    entries_->clear();
    for (const std::string& line : editor_.lines())
        entries_->addItem(qs(line));
    entries_->setCurrentRow(editor_.selected_line() ? static_cast<int>(*editor_.selected_line())
                                                    : -1);
}

void TFInfopdoMB::showEditor() {
    showEntries();
    {
        const QSignalBlocker quiet(pdos_);
        pdos_->setCurrentRow(editor_.selected_pdo() ? static_cast<int>(*editor_.selected_pdo())
                                                    : -1);
    }
    index_->setText(qs(editor_.edit));
    high_->button(editor_.choice.high)->setChecked(true);
    low_->button(editor_.choice.low)->setChecked(true);
}

void TFInfopdoMB::step(const std::function<void()>& action) {
    takeWidgets();
    run_guarded(sink_, action);
    showEditor();
}

void TFInfopdoMB::change(const QString& text, const std::function<void()>& action) {
    takeWidgets();
    StoredPdoEditor::Snapshot before = editor_.snapshot();
    run_guarded(sink_, action);
    showEditor();
    recordStep<StoredPdoEditor::Snapshot>(history(), text, std::move(before), editor_.snapshot(),
                                          [this](const StoredPdoEditor::Snapshot& s) {
                                              editor_.restore(s);
                                              showEditor();
                                          });
}

void TFInfopdoMB::lbPdoClick(int row) {
    if (row >= 0)
        step([&] { editor_.select_pdo(static_cast<std::size_t>(row)); });
}

void TFInfopdoMB::lbIndMBClick(int row) {
    if (row >= 0)
        step([&] { editor_.select_entry(static_cast<std::size_t>(row)); });
}

void TFInfopdoMB::bbNewClick() {
    change(QStringLiteral("New"), [&] { editor_.new_entry(sink_); });
}

void TFInfopdoMB::bbModifyClick() {
    change(QStringLiteral("Modify"), [&] { editor_.modify(sink_); });
}

void TFInfopdoMB::bbDeleteClick() {
    change(QStringLiteral("Delete"), [&] { editor_.remove(); });
}

void TFInfopdoMB::bbCopyClick() {
    step([&] { editor_.copy(); });
}

void TFInfopdoMB::bbPasteClick() {
    change(QStringLiteral("Paste"), [&] { editor_.paste(); });
}

bool TFInfopdoMB::validate() {
    return true;
}

void TFInfopdoMB::save() {
    editor_.save(state_.project_dir);
}

std::string TFInfopdoMB::document() const {
    return serialize_stored_pdo_table(editor_.table());
}

bool TFInfopdoMB::edited() const {
    return editor_.edited();
}

std::filesystem::path TFInfopdoMB::transferFolder() const {
    return state_.project_dir;
}

void TFInfopdoMB::exportTable() {
    export_sdopdo_csv(editor_.table(), state_.project_dir);
}

void TFInfopdoMB::importWorkbook(const std::filesystem::path& workbook) {
    std::optional<std::string> problem;
    // The emptied entries list, edit field and groups are shown, then what went wrong.
    change(QStringLiteral("Import"), [&] { problem = editor_.import_workbook(reader_, workbook); });
    if (problem)
        sink_.show(*problem, MessageKind::Warning);
}

} // namespace mk
