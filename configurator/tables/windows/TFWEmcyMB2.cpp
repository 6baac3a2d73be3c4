#include "tables/windows/TFWEmcyMB2.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <vector>

#include "core/guard.h"
#include "tables/emcy_word_schema.h"
#include "tables/windows/byte_choices.h"
#include "tables/windows/emcy_list_models.h"
#include "tables/windows/list_view.h"
#include "ui/edit_history.h"
#include "ui/qt_text.h"

namespace mk {

namespace {

QPushButton* button(const QString& caption, const QString& objectName, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(objectName);
    b->setAutoDefault(false);
    return b;
}

// A label above the control it names.
QVBoxLayout* labelled(const QString& text, QWidget* control) {
    auto* label = new QLabel(text);
    label->setBuddy(control);
    auto* column = new QVBoxLayout;
    column->addWidget(label);
    column->addWidget(control, 1);
    return column;
}

} // namespace

TFWEmcyMB2::TFWEmcyMB2(const ProjectState& state, MessageSink& sink, QWidget* parent)
    : EditorDialog(QStringLiteral("TFWEmcyMB2"), QStringLiteral("Word EMCY"), sink, Transfer::None,
                   parent),
      state_(state), emcyModel_(new EmcyListModel(this)),
      registerModel_(new RegisterListModel(this)) {
    session().set_voice(kEmcyVoice);
    auto* page = new QWidget;
    emcyList_ =
        makeListView(QStringLiteral("emcyList"), QStringLiteral("List of EMCY"), emcyModel_, page);
    registerList_ = makeListView(QStringLiteral("registerList"),
                                 QStringLiteral("List of Modbus Register"), registerModel_, page);
    onPick(emcyList_, [this] { lvEmcyMouseUp(); });
    onPick(registerList_, [this] { lvRegisterMouseUp(); });
    // The register list always belongs to the selected EMCY row, however it was selected, so
    // "Modify" and "Delete" act on the mapping the user sees.
    connect(emcyList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { refillRegisters(); });

    register_ = new QLineEdit(page);
    register_->setObjectName(QStringLiteral("registerEdit"));
    register_->setAccessibleName(QStringLiteral("Number of Modbus Register"));
    shareUndoKeys(register_);
    QGroupBox* hi =
        byteGroup(QStringLiteral("Hi Byte of Modbus Register"), QStringLiteral("hiByte"), hiByte_);
    QGroupBox* lo =
        byteGroup(QStringLiteral("Lo Byte of Modbus Register"), QStringLiteral("loByte"), loByte_);
    auto* newMapping = button(QStringLiteral("New"), QStringLiteral("newButton"), page);
    auto* modifyMapping = button(QStringLiteral("Modify"), QStringLiteral("modifyButton"), page);
    auto* deleteMapping = button(QStringLiteral("Delete"), QStringLiteral("deleteButton"), page);
    connect(newMapping, &QPushButton::clicked, this, &TFWEmcyMB2::btnNewClick);
    connect(modifyMapping, &QPushButton::clicked, this, &TFWEmcyMB2::btnModifyClick);
    connect(deleteMapping, &QPushButton::clicked, this, &TFWEmcyMB2::btnDeleteClick);

    auto* right = new QVBoxLayout;
    auto* numberLabel = new QLabel(QStringLiteral("Number of Modbus Register"));
    numberLabel->setBuddy(register_);
    right->addWidget(numberLabel);
    right->addWidget(register_);
    // One group above the other, each choice in two columns: the window fits a small screen.
    right->addWidget(hi);
    right->addWidget(lo);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(newMapping);
    buttons->addWidget(modifyMapping);
    buttons->addWidget(deleteMapping);
    right->addLayout(buttons);
    right->addStretch(1);

    auto* layout = new QHBoxLayout(page);
    layout->addLayout(labelled(QStringLiteral("List of EMCY"), emcyList_), 5);
    layout->addLayout(labelled(QStringLiteral("List of Modbus Register"), registerList_), 2);
    layout->addLayout(right, 4);

    // One page and no tabs: the window is a single form.
    pages()->setTabBarAutoHide(true);
    pages()->setDocumentMode(true);
    pages()->addTab(page, windowTitle());
    // Tab follows the reading order and enters each byte group at its chosen byte; within a
    // group the arrow keys move the choice.
    std::vector<QWidget*> chain = {emcyList_, registerList_, register_};
    for (QButtonGroup* group : {hiByte_, loByte_}) {
        tabToChosenByte(group);
        for (QAbstractButton* choice : group->buttons())
            chain.push_back(choice);
    }
    chain.insert(chain.end(),
                 {newMapping, modifyMapping, deleteMapping, okButton(), cancelButton()});
    for (std::size_t i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    resize(900, 460);
}

QGroupBox* TFWEmcyMB2::byteGroup(const QString& title, const QString& name,
                                 QButtonGroup*& choices) {
    auto* box = new QGroupBox(title);
    box->setObjectName(name + QStringLiteral("Group"));
    choices = new QButtonGroup(box);
    auto* grid = new QGridLayout(box);
    for (int n = kNoByte; n <= kLastByte; ++n) {
        auto* radio = new QRadioButton(QString::fromLatin1(kByteChoices[static_cast<size_t>(n)]));
        radio->setObjectName(name + QString::number(n));
        choices->addButton(radio, n);
        grid->addWidget(radio, n / 2, n % 2);
    }
    return box;
}

int TFWEmcyMB2::choice(const QButtonGroup* group) const {
    const int id = group->checkedId();
    return id < kNoByte ? kNoByte : id;
}

void TFWEmcyMB2::setChoice(QButtonGroup* group, int byteNumber) {
    group->button(byteNumber)->setChecked(true);
}

void TFWEmcyMB2::FormShow() {
    // Every opening rebuilds the table from the files: edits of a cancelled opening are gone.
    register_->clear();
    setChoice(hiByte_, kNoByte);
    setChoice(loByte_, kNoByte);
    session().open(state_.table_path(emcy_word_file::schema));
    table_ = load_emcy_word_table(state_.project_dir, sink_);
    for (const ReadFault& fault : table_.faults())
        session().incomplete()->push_back(fault.file_name);
    loaded_ = table_.entries();
    std::vector<EmcyRow> rows;
    rows.reserve(table_.entries().size());
    for (const EmcyWordEntry& e : table_.entries())
        rows.push_back(e.emcy);
    emcyModel_->setRows(std::move(rows));
    refillRegisters();
    // Not the EMCY list: focus would mark its first row as current, and a row that looks chosen
    // but is not selected would make "New" ask for an EMCY row.
    register_->setFocus();
}

void TFWEmcyMB2::refillRegisters() {
    const auto entry = selectedRow(emcyList_);
    registerModel_->setMappings(entry && *entry < table_.entries().size()
                                    ? table_.entries()[*entry].mappings
                                    : std::vector<TWordObj>{});
}

void TFWEmcyMB2::lvEmcyMouseUp() {
    run_guarded(sink_, [&] { refillRegisters(); });
}

void TFWEmcyMB2::lvRegisterMouseUp() {
    run_guarded(sink_, [&] {
        const auto entry = selectedRow(emcyList_);
        const auto mapping = selectedRow(registerList_);
        if (!entry || !mapping)
            return;
        const TWordObj& m = table_.entries().at(*entry).mappings.at(*mapping);
        register_->setText(QString::number(m.word));
        setChoice(hiByte_, hi_byte_choice(m.byte));
        setChoice(loByte_, lo_byte_choice(m.byte));
    });
}

void TFWEmcyMB2::btnNewClick() {
    change(QStringLiteral("New"), [&] {
        if (const auto failure = table_.add(selectedRow(emcyList_), choice(hiByte_),
                                            choice(loByte_), ss(register_->text())))
            return sink_.show(*failure, MessageKind::Error);
        refillRegisters();
    });
}

void TFWEmcyMB2::btnModifyClick() {
    change(QStringLiteral("Modify"), [&] {
        if (const auto failure =
                table_.modify(selectedRow(emcyList_), selectedRow(registerList_), choice(hiByte_),
                              choice(loByte_), ss(register_->text())))
            return sink_.show(*failure, MessageKind::Error);
        refillRegisters();
    });
}

void TFWEmcyMB2::btnDeleteClick() {
    change(QStringLiteral("Delete"), [&] {
        if (const auto failure = table_.remove(selectedRow(emcyList_), selectedRow(registerList_)))
            return sink_.show(*failure, MessageKind::Error);
        refillRegisters();
    });
}

void TFWEmcyMB2::change(const QString& text, const std::function<void()>& action) {
    Shown before{table_.entries(), selectedRow(emcyList_)};
    run_guarded(sink_, action);
    recordStep<Shown>(history(), text, std::move(before),
                      Shown{table_.entries(), selectedRow(emcyList_)}, [this](const Shown& s) {
                          table_.restore_entries(s.entries);
                          // The EMCY row whose registers changed is shown with them.
                          emcyList_->selectionModel()->clearSelection();
                          if (s.emcy)
                              emcyList_->selectionModel()->select(
                                  emcyModel_->index(static_cast<int>(*s.emcy), 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                          refillRegisters();
                      });
}

bool TFWEmcyMB2::validate() {
    return true;
}

void TFWEmcyMB2::save() {
    // Refused with its own message when either file was not read to its end.
    save_emcy_word_table(table_, state_.table_path(emcy_word_file::schema));
}

std::string TFWEmcyMB2::document() const {
    return serialize_emcy_word_table(table_);
}

bool TFWEmcyMB2::edited() const {
    return table_.entries() != loaded_;
}

} // namespace mk
