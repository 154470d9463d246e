#include "app/FormImport.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <cstdio>

#include "app/FormWait.h"
#include "app/QtUi.h"
#include "base/Text.h"
#include "engine/GroupedRun.h"

namespace migracja::app {

namespace {

QLCDNumber* NewDisplay(QWidget* parent, const QString& name) {
    auto* d = new QLCDNumber(7, parent);
    d->setObjectName(name);
    d->setSegmentStyle(QLCDNumber::Flat);
    d->setMinimumHeight(32);
    d->display(TFormImport::Formatted(0));
    return d;
}

QGroupBox* NewGroup(QWidget* parent, const QString& title, const QString& name,
                    QLCDNumber* display) {
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(name);
    auto* layout = new QVBoxLayout(g);
    display->setParent(g);
    layout->addWidget(display);
    return g;
}

}  // namespace

QString TFormImport::Formatted(std::int64_t value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%7lld", static_cast<long long>(value));
    return QString::fromLatin1(buf);
}

TFormImport::TFormImport(engine::TDane& dane, definitions::TFormIni& loader,
                         const TFormWait* images, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      dane_(dane),
      runner_(dane, loader) {
    setObjectName(QStringLiteral("FormImport"));
    setWindowTitle(QStringLiteral("Migracja"));
    setMinimumSize(470, 330);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    read_ = NewDisplay(this, QStringLiteral("Odczytano"));
    total_ = NewDisplay(this, QStringLiteral("Razem"));
    readGroup_ =
        NewGroup(this, QStringLiteral("Odczytano"), QStringLiteral("GroupOdczytano"), read_);
    top->addWidget(readGroup_);
    top->addWidget(NewGroup(this, QStringLiteral("Razem"), QStringLiteral("GroupRazem"), total_));
    rejected_ = NewDisplay(this, QStringLiteral("Odrzucono"));
    rejectedGroup_ =
        NewGroup(this, QStringLiteral("Odrzucono"), QStringLiteral("GroupOdrzucono"), rejected_);
    rejectedGroup_->hide();
    top->addWidget(rejectedGroup_);
    layout->addLayout(top);

    layout->addWidget(new QLabel(QStringLiteral("Zapisano w.."), this));
    auto* grid = new QGridLayout;
    for (int j = 0; j < kCounterGroups; ++j) {
        QLCDNumber* display = NewDisplay(this, QStringLiteral("Licznik%1").arg(j));
        QGroupBox* group =
            NewGroup(this, QString::number(j), QStringLiteral("Grupa%1").arg(j), display);
        group->hide();
        grid->addWidget(group, j / 3, j % 3);
    }
    layout->addLayout(grid);
    // Said when a definition runs one record per transaction although the setting allows more.
    groupingNote_ = new QLabel(this);
    groupingNote_->setObjectName(QStringLiteral("GroupingNote"));
    groupingNote_->setWordWrap(true);
    groupingNote_->hide();
    layout->addWidget(groupingNote_);
    layout->addStretch(1);

    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    stop_->setObjectName(QStringLiteral("Stop"));
    if (images) stop_->setIcon(images->Image(Glyph::Stop));
    layout->addWidget(stop_);
    connect(stop_, &QPushButton::clicked, this, &TFormImport::Stop);
    readText_ = totalText_ = rejectedText_ = Formatted(0);
    counterTexts_.fill(Formatted(0));
}

void TFormImport::BindCounters() {
    for (int j = 0; j < kCounterGroups; ++j) {
        groups_[static_cast<std::size_t>(j)] =
            findChild<QGroupBox*>(QStringLiteral("Grupa%1").arg(j));
        counters_[static_cast<std::size_t>(j)] =
            findChild<QLCDNumber*>(QStringLiteral("Licznik%1").arg(j));
    }
}

void TFormImport::SetDisplay(QLCDNumber* display, QString& shown, std::int64_t value) {
    shown = Formatted(value);
    if (display) display->display(shown);
}

void TFormImport::StartDefinition(const std::filesystem::path& definitionFile) {
    if (!runner_.Start(definitionFile)) return;
    const engine::MigrationDefinition& d = dane_.Definition;
    setWindowTitle(ToQt("Stan migracji " + shell::DefinitionRunner::DisplayName(definitionFile)));
    readGroup_->setTitle(ToQt("Odczytano z " + d.DbfFileName));
    SetDisplay(total_, totalText_, d.DbfRecordCount);
    rejectedGroup_->setVisible(dane_.Rejects.Limit() > 0);
    const std::string note = engine::GroupingNote(dane_);
    groupingNote_->setText(ToQt(note));
    groupingNote_->setVisible(!note.empty());
    for (int j = 0; j < kCounterGroups; ++j) {
        QGroupBox* group = groups_[static_cast<std::size_t>(j)];
        if (!group) continue;
        const bool used = j < d.CounterCount;
        group->setVisible(used);
        if (used) group->setTitle(ToQt(d.CounterCaptions[static_cast<std::size_t>(j)]));
    }
    RefreshCounters();
    show();
}

void TFormImport::Step() {
    try {
        runner_.Step();
    } catch (...) {
        hide();
        throw;
    }
}

void TFormImport::RefreshCounters() {
    const engine::MigrationDefinition& d = dane_.Definition;
    SetDisplay(read_, readText_, d.CurrentRecordNo);
    SetDisplay(rejected_, rejectedText_, dane_.Rejects.Count());
    for (int j = 0; j < d.CounterCount && j < kCounterGroups; ++j)
        SetDisplay(counters_[static_cast<std::size_t>(j)],
                   counterTexts_[static_cast<std::size_t>(j)],
                   d.Counters[static_cast<std::size_t>(j)]);
}

void TFormImport::Stop() {
    runner_.RequestStop();
    hide();
}

void TFormImport::closeEvent(QCloseEvent* event) {
    // A run must not go on with no Stop button left: the close box stops it as Stop does.
    event->ignore();
    if (dane_.DefinitionActive && !dane_.Definition.StopRequested)
        Stop();
    else
        hide();
}

}  // namespace migracja::app
