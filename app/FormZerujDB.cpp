#include "app/FormZerujDB.h"

#include <QAction>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <stdexcept>

#include "app/QtUi.h"
#include "engine/Dane.h"

namespace migracja::app {

TFormZerujDB::TFormZerujDB(engine::TDane& dane, QWidget* parent)
    : TFormZerujDB(dane, ownMessages_, ownInput_, parent) {}

TFormZerujDB::TFormZerujDB(engine::TDane& dane, ui::MessageBox& messages, ui::TextInput& input,
                           QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("FormZerujDB"));
    setWindowTitle(QStringLiteral("Usuwanie rekordów z tabel TARVIK 3 "));
    resize(520, 420);

    auto* outer = new QHBoxLayout(this);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("CheckListBox1"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* checkUsed = new QAction(QStringLiteral("Zaznacz używane"), list_);
    auto* uncheckAll = new QAction(QStringLiteral("Odznacz wszystkie"), list_);
    list_->addAction(checkUsed);
    list_->addAction(uncheckAll);
    outer->addWidget(list_, 1);

    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    warning_ = new QLabel(QStringLiteral("UWAGA !!!\nUsuwanie wszyskich\ndanych z zaznaczonych\n"
                                         "tabel TARVIK !!"),
                          panel);
    warning_->setAlignment(Qt::AlignCenter);
    warning_->setTextFormat(Qt::PlainText);
    QFont bold = warning_->font();
    bold.setBold(true);
    warning_->setFont(bold);
    delete_ = new QPushButton(QStringLiteral("Usuń rekordy"), panel);
    exit_ = new QPushButton(QStringLiteral("Wyjście"), panel);
    for (QPushButton* b : {delete_, exit_}) b->setMinimumHeight(32);
    // Enter in the list must not press a button: emptying tables is never a default.
    delete_->setAutoDefault(false);
    exit_->setAutoDefault(false);
    column->addWidget(warning_);
    column->addStretch(1);
    column->addWidget(delete_);
    column->addWidget(exit_);
    outer->addWidget(panel);

    controller_ = std::make_unique<tools::DeleteDataWindow>(dane, *this, messages, input);
    connect(checkUsed, &QAction::triggered, this, [this] { controller_->OnCheckUsed(); });
    connect(uncheckAll, &QAction::triggered, this, [this] { controller_->OnUncheckAll(); });
    connect(delete_, &QPushButton::clicked, this, [this] { controller_->OnDeleteRecords(); });
    connect(exit_, &QPushButton::clicked, this, &QDialog::close);
}

TFormZerujDB::~TFormZerujDB() = default;

void TFormZerujDB::ClearTables() {
    list_->clear();
}

void TFormZerujDB::AddTable(const std::string& name, bool enabled, bool checked) {
    auto* item = new QListWidgetItem(ToQt(name), list_);
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    if (enabled) flags |= Qt::ItemIsEnabled;
    item->setFlags(flags);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

bool TFormZerujDB::TableChecked(int index) const {
    const QListWidgetItem* item = list_->item(index);
    if (!item) throw std::out_of_range("table list index " + std::to_string(index));
    return item->checkState() == Qt::Checked;
}

void TFormZerujDB::SetTableChecked(int index, bool checked) {
    QListWidgetItem* item = list_->item(index);
    if (!item) throw std::out_of_range("table list index " + std::to_string(index));
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TFormZerujDB::FreezeTables(bool frozen) {
    list_->setUpdatesEnabled(!frozen);
}

void TFormZerujDB::SetBusy(bool busy) {
    if (busy)
        busy_.emplace();
    else
        busy_.reset();
}

void TFormZerujDB::ProcessPendingMessages() {
    // Paint the unticked item, but take no clicks while tables are being emptied.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void OpenDeleteDataWindow(engine::TDane& dane, QWidget* parent) {
    TFormZerujDB window(dane, parent);
    window.Controller().BuildList();
    window.exec();
}

}  // namespace migracja::app
