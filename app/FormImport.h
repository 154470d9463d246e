#pragma once
// The progress window of a run: it starts each definition and advances it a record at a time
// (the shared definition runner does the work), and shows the records read of the total and the
// rows written per target table. Its Stop button ends the run between two records.

#include <QGroupBox>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <array>

#include "definitions/DefinitionLoader.h"
#include "engine/Dane.h"
#include "shell/DefinitionRun.h"
#include "shell/Seams.h"

namespace migracja::app {

class TFormWait;

class TFormImport : public QWidget, public shell::ProgressWindow {
    Q_OBJECT
  public:
    static constexpr int kCounterGroups = 9;

    TFormImport(engine::TDane& dane, definitions::TFormIni& loader, const TFormWait* images,
                QWidget* parent = nullptr);

    void BindCounters() override;
    void StartDefinition(const std::filesystem::path& definitionFile) override;
    void Step() override;
    void RefreshCounters() override;
    void Hide() override { hide(); }

    void Stop();

    // "%7d": right-aligned in seven characters, longer numbers widen.
    static QString Formatted(std::int64_t value);

    // For tests: the displays as they show now.
    QString ReadDisplayText() const { return readText_; }
    QString TotalDisplayText() const { return totalText_; }
    QString CounterText(int j) const { return counterTexts_.at(static_cast<std::size_t>(j)); }
    const QGroupBox* CounterGroup(int j) const { return groups_.at(static_cast<std::size_t>(j)); }
    const QGroupBox* ReadGroup() const { return readGroup_; }
    const QGroupBox* RejectedGroup() const { return rejectedGroup_; }
    QString RejectedDisplayText() const { return rejectedText_; }
    const QLabel* GroupingNote() const { return groupingNote_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void SetDisplay(QLCDNumber* display, QString& shown, std::int64_t value);

    engine::TDane& dane_;
    shell::DefinitionRunner runner_;
    QGroupBox* readGroup_;
    QLCDNumber* read_;
    QLCDNumber* total_;
    // Records set aside so far in the run; shown only when the run has a reject limit.
    QGroupBox* rejectedGroup_;
    QLCDNumber* rejected_;
    QLabel* groupingNote_;
    QPushButton* stop_;
    QString readText_, totalText_, rejectedText_;
    // Bound once by BindCounters: the nine counter groups and their displays, 0 .. 8.
    std::array<QGroupBox*, kCounterGroups> groups_{};
    std::array<QLCDNumber*, kCounterGroups> counters_{};
    std::array<QString, kCounterGroups> counterTexts_;
};

}  // namespace migracja::app
