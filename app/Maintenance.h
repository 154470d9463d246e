#pragma once
// The main window's maintenance commands: the delete-data window and the two clean-ups, each
// with the hourglass while it works and its end message afterwards. A database error leaves
// the command for the application's handler, which shows it; what was committed stays.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "config/Ui.h"
#include "shell/Seams.h"

namespace migracja::engine {
class TDane;
}

namespace migracja::app {

class QtMaintenanceCommands final : public shell::MaintenanceCommands {
  public:
    // All three are borrowed and must outlive the commands.
    QtMaintenanceCommands(engine::TDane& dane, ui::MessageBox& messages, shell::Clock& clock,
                          QWidget* parent = nullptr)
        : dane_(dane), messages_(messages), clock_(clock), parent_(parent) {}

    void DeleteData() override;
    void RemoveSerialSpaces() override;
    void SplitPhoneNumbers() override;

    // Where a command says what its end message does not (the rows the splitter left alone).
    void SetNoteHandler(std::function<void(const std::string&)> note) { note_ = std::move(note); }

  private:
    engine::TDane& dane_;
    ui::MessageBox& messages_;
    shell::Clock& clock_;
    QPointer<QWidget> parent_;
    std::function<void(const std::string&)> note_;
};

}  // namespace migracja::app
