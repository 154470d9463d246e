#include "app/FormMigracji.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QStatusBar>
#include <QVBoxLayout>
#include <stdexcept>

#include "app/FormWait.h"
#include "app/QtUi.h"

namespace migracja::app {

using shell::Control;

namespace {

QLabel* MakeStatusBar(const QString& name, QWidget* parent) {
    auto* bar = new QLabel(parent);
    bar->setObjectName(name);
    bar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->setTextFormat(Qt::PlainText);
    bar->setMinimumHeight(bar->fontMetrics().height() + 6);
    return bar;
}

QPushButton* MakeButton(const QString& text, const QString& name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setMinimumHeight(32);
    return b;
}

}  // namespace

TFormMigracji::TFormMigracji(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FormMigracji"));
    setWindowTitle(QStringLiteral("Migracja danych TARVIK z DBF do Firebird-a"));
    resize(640, 420);

    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    auto* top = new QHBoxLayout;
    outer->addLayout(top, 1);

    list_ = new QListWidget(central);
    list_->setObjectName(QStringLiteral("LMDCheckListBox1"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* checkAll = new QAction(QStringLiteral("Zaznacz wszystkie"), list_);
    auto* uncheckAll = new QAction(QStringLiteral("Odznacz wszystkie"), list_);
    list_->addAction(checkAll);
    list_->addAction(uncheckAll);
    top->addWidget(list_, 1);

    panel_ = new QWidget(central);
    panel_->setObjectName(QStringLiteral("Panel"));
    auto* column = new QVBoxLayout(panel_);
    start_ = MakeButton(QStringLiteral("Start migracji"), QStringLiteral("BtnStart"), panel_);
    dbfFolder_ =
        MakeButton(QStringLiteral("Ścieżka do DBF-ów"), QStringLiteral("BtnDbfFolder"), panel_);
    deleteData_ =
        MakeButton(QStringLiteral("Usuń dane z FB"), QStringLiteral("BtnDeleteData"), panel_);
    chosenFor_ =
        MakeButton(QStringLiteral("Wybrane dla.."), QStringLiteral("BtnChosenFor"), panel_);
    exit_ = MakeButton(QStringLiteral("Wyjście"), QStringLiteral("BtnExit"), panel_);
    start_->setEnabled(false);
    for (QPushButton* b : {start_, dbfFolder_, deleteData_, chosenFor_}) column->addWidget(b);
    column->addStretch(1);
    column->addWidget(exit_);
    panel_->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* serials = new QAction(QStringLiteral("Usuń spacje z nr fabrycznego"), panel_);
    auto* phones = new QAction(QStringLiteral("Rozłącz sklejone nr-y telefonów"), panel_);
    panel_->addAction(serials);
    panel_->addAction(phones);
    top->addWidget(panel_);

    dbfStatus_ = MakeStatusBar(QStringLiteral("LMDStatusBar2"), central);
    databaseStatus_ = MakeStatusBar(QStringLiteral("LMDStatusBar1"), central);
    outer->addWidget(dbfStatus_);
    outer->addWidget(databaseStatus_);
    setCentralWidget(central);

    using C = shell::MigrationController;
    connect(start_, &QPushButton::clicked, this,
            [this] { Forward([](C& c) { c.OnStartMigration(); }); });
    connect(dbfFolder_, &QPushButton::clicked, this,
            [this] { Forward([](C& c) { c.OnDbfFolder(); }); });
    connect(deleteData_, &QPushButton::clicked, this,
            [this] { Forward([](C& c) { c.OnDeleteData(); }); });
    connect(chosenFor_, &QPushButton::clicked, this,
            [this] { Forward([](C& c) { c.OnChosenFor(); }); });
    connect(exit_, &QPushButton::clicked, this, [this] { Forward([](C& c) { c.OnExit(); }); });
    connect(checkAll, &QAction::triggered, this,
            [this] { Forward([](C& c) { c.OnCheckAll(true); }); });
    connect(uncheckAll, &QAction::triggered, this,
            [this] { Forward([](C& c) { c.OnCheckAll(false); }); });
    connect(serials, &QAction::triggered, this,
            [this] { Forward([](C& c) { c.OnRemoveSerialSpaces(); }); });
    connect(phones, &QAction::triggered, this,
            [this] { Forward([](C& c) { c.OnSplitPhoneNumbers(); }); });
}

void TFormMigracji::TakeImages(const TFormWait& images) {
    start_->setIcon(images.Image(Glyph::Start));
    dbfFolder_->setIcon(images.Image(Glyph::DbfFolder));
    deleteData_->setIcon(images.Image(Glyph::DeleteData));
    chosenFor_->setIcon(images.Image(Glyph::ChosenFor));
    exit_->setIcon(images.Image(Glyph::Exit));
}

QPushButton* TFormMigracji::Button(Control control) const {
    switch (control) {
        case Control::StartMigration:
            return start_;
        case Control::DbfFolder:
            return dbfFolder_;
        case Control::DeleteData:
            return deleteData_;
        case Control::ChosenFor:
            return chosenFor_;
        case Control::Exit:
            return exit_;
        case Control::DefinitionList:
            return nullptr;
    }
    return nullptr;
}

void TFormMigracji::SetDbfStatus(const std::string& text) {
    dbfStatus_->setText(ToQt(text));
}

void TFormMigracji::SetDatabaseStatus(const std::string& text) {
    databaseStatus_->setText(ToQt(text));
}

void TFormMigracji::ShowNote(const std::string& text) {
    if (text.empty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(ToQt(text));
}

QString TFormMigracji::Note() const {
    return statusBar()->currentMessage();
}

void TFormMigracji::SetControlEnabled(Control control, bool enabled) {
    if (control == Control::DefinitionList)
        list_->setEnabled(enabled);
    else
        Button(control)->setEnabled(enabled);
}

void TFormMigracji::ClearDefinitions() {
    list_->clear();
}

void TFormMigracji::AddDefinition(const std::string& text) {
    auto* item = new QListWidgetItem(ToQt(text), list_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
}

int TFormMigracji::DefinitionCount() const {
    return list_->count();
}

QListWidgetItem& TFormMigracji::Item(int index) const {
    QListWidgetItem* item = list_->item(index);
    if (!item) throw std::out_of_range("definition list index " + std::to_string(index));
    return *item;
}

bool TFormMigracji::DefinitionEnabled(int index) const {
    return Item(index).flags().testFlag(Qt::ItemIsEnabled);
}

void TFormMigracji::SetDefinitionEnabled(int index, bool enabled) {
    QListWidgetItem& item = Item(index);
    item.setFlags(item.flags().setFlag(Qt::ItemIsEnabled, enabled));
}

bool TFormMigracji::DefinitionChecked(int index) const {
    return Item(index).checkState() == Qt::Checked;
}

void TFormMigracji::SetDefinitionChecked(int index, bool checked) {
    Item(index).setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TFormMigracji::SelectDefinition(int index) {
    list_->setCurrentItem(&Item(index));
}

void TFormMigracji::FreezeDefinitions(bool frozen) {
    list_->setUpdatesEnabled(!frozen);
}

void TFormMigracji::CloseWindow() {
    close();
}

void TFormMigracji::Quit() {
    if (quit_)
        quit_();
    else
        QCoreApplication::exit(0);
}

void TFormMigracji::ProcessPendingMessages() {
    // Paint what changed, but take no clicks: the step that asks is in the middle of its work.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool TFormMigracji::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        Forward([](shell::MigrationController& c) { c.OnActivate(); });
    else if (e->type() == QEvent::Show)
        Forward([](shell::MigrationController& c) { c.OnShow(); });
    return QMainWindow::event(e);
}

void TFormMigracji::closeEvent(QCloseEvent* e) {
    // Refused until the close check has run through; an exception in it keeps the window open.
    e->ignore();
    if (controller_ && !controller_->OnCloseQuery()) return;
    e->accept();
    // The program ends with its main window, whatever other window is still up.
    Quit();
}

}  // namespace migracja::app
