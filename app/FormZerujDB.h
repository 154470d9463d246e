#pragma once
// The delete-data window: the tables of the target database with check boxes, a warning and
// the button that empties the ticked ones. Its behaviour lives in tools::DeleteDataWindow.

#include <QDialog>
#include <memory>
#include <optional>

#include "app/QtUi.h"
#include "config/Ui.h"
#include "tools/DeleteDataWindow.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace migracja::engine {
class TDane;
}

namespace migracja::app {

class TFormZerujDB : public QDialog, public tools::DeleteDataView {
    Q_OBJECT
  public:
    // The password box and the messages open over this window.
    explicit TFormZerujDB(engine::TDane& dane, QWidget* parent = nullptr);
    // With other answers for them (tests); both are borrowed and must outlive the window.
    TFormZerujDB(engine::TDane& dane, ui::MessageBox& messages, ui::TextInput& input,
                 QWidget* parent = nullptr);
    ~TFormZerujDB() override;

    tools::DeleteDataWindow& Controller() { return *controller_; }
    QListWidget* TableList() const { return list_; }
    QPushButton* DeleteButton() const { return delete_; }
    QPushButton* ExitButton() const { return exit_; }
    QLabel* Warning() const { return warning_; }

    // tools::DeleteDataView
    void ClearTables() override;
    void AddTable(const std::string& name, bool enabled, bool checked) override;
    bool TableChecked(int index) const override;
    void SetTableChecked(int index, bool checked) override;
    void FreezeTables(bool frozen) override;
    void SetBusy(bool busy) override;
    void ProcessPendingMessages() override;

  private:
    QtMessageBox ownMessages_{this};
    QtTextInput ownInput_{this};
    std::unique_ptr<tools::DeleteDataWindow> controller_;
    QListWidget* list_;
    QLabel* warning_;
    QPushButton* delete_;
    QPushButton* exit_;
    std::optional<BusyCursor> busy_;
};

// "Usuń dane z FB": creates the window, builds its list, shows it modally and destroys it.
void OpenDeleteDataWindow(engine::TDane& dane, QWidget* parent);

}  // namespace migracja::app
