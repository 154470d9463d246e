#include "app/FormImport.h"

#include <QVBoxLayout>
#include <cstdio>

#include "app/FormWait.h"
#include "app/QtUi.h"
#include "config/Text.h"

namespace migracja::app {

using namespace migracja::literals;

TFormImport::TFormImport(engine::TDane& dane, definitions::TFormIni& loader,
                         const TFormWait* images, QWidget* parent)
    : QWidget(parent, Qt::Window), dane_(dane), loader_(loader) {
    setObjectName(QStringLiteral("FormImport"));
    setWindowTitle(QStringLiteral("Migracja"));
    setMinimumSize(470, 330);
    auto* layout = new QVBoxLayout(this);
    read_ = new QLabel(QStringLiteral("      0"), this);
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    if (images) stop_->setIcon(images->Image(Glyph::Stop));
    layout->addWidget(read_);
    layout->addStretch(1);
    layout->addWidget(stop_);
    connect(stop_, &QPushButton::clicked, this, &TFormImport::Stop);
}

void TFormImport::BindCounters() {}

void TFormImport::StartDefinition(const std::filesystem::path& definitionFile) {
    dane_.ResetDefinition();
    loader_.LoadDefinition(definitionFile);
    if (dane_.Definition.StopRequested) return;
    if (!dane_.OpenSourceTable()) return;
    // Nothing may pass for migrated: the statements and the record loop are not there yet.
    dane_.MigrationErrorLog.push_back(
        "Zapis do bazy Firebird nie jest jeszcze dostępny w tej wersji programu - definicja "_w +
        text::Utf8ToWin1250(definitionFile.filename().string()) + " nie została wykonana."_w);
    dane_.Definition.ErrorsOccurred = true;
    dane_.Definition.StopRequested = true;
}

void TFormImport::Step() {
    // Never reached: StartDefinition does not activate a definition.
    dane_.DefinitionActive = false;
}

void TFormImport::RefreshCounters() {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%7d", dane_.Definition.CurrentRecordNo);
    read_->setText(QString::fromLatin1(buf));
}

void TFormImport::Stop() {
    dane_.Definition.StopRequested = true;
    dane_.MigrationErrorLog.push_back("Przerwanie ręczne"_w);
    hide();
}

}  // namespace migracja::app
