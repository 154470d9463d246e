#pragma once
// The main window: the check-list of definitions, the button column and the two status bars.
// It holds no behaviour of its own; every event goes to the controller.

#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <functional>

#include "shell/MigrationController.h"
#include "shell/Seams.h"

namespace migracja::app {

class TFormWait;

class TFormMigracji : public QMainWindow, public shell::MainView {
    Q_OBJECT
  public:
    explicit TFormMigracji(QWidget* parent = nullptr);

    // Set once the program-wide objects exist; nullptr detaches the window before they go.
    void SetController(shell::MigrationController* controller) { controller_ = controller; }
    // The button images live in the busy window, which is created after this one.
    void TakeImages(const TFormWait& images);
    // What "Wyjście" does to end the program; by default it leaves the event loop.
    void SetQuitHandler(std::function<void()> quit) { quit_ = std::move(quit); }

    QListWidget* DefinitionList() const { return list_; }
    QPushButton* Button(shell::Control control) const;
    QLabel* DbfStatusBar() const { return dbfStatus_; }
    QLabel* DatabaseStatusBar() const { return databaseStatus_; }
    QWidget* ButtonPanel() const { return panel_; }
    // A note under the status bars that a command leaves for the user; empty removes it.
    void ShowNote(const std::string& text);
    QString Note() const;

    // shell::MainView
    void SetDbfStatus(const std::string& text) override;
    void SetDatabaseStatus(const std::string& text) override;
    void SetControlEnabled(shell::Control control, bool enabled) override;
    void ClearDefinitions() override;
    void AddDefinition(const std::string& text) override;
    int DefinitionCount() const override;
    bool DefinitionEnabled(int index) const override;
    void SetDefinitionEnabled(int index, bool enabled) override;
    bool DefinitionChecked(int index) const override;
    void SetDefinitionChecked(int index, bool checked) override;
    void SelectDefinition(int index) override;
    void FreezeDefinitions(bool frozen) override;
    void CloseWindow() override;
    void Quit() override;
    void ProcessPendingMessages() override;

  protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    QListWidgetItem& Item(int index) const;
    // Runs f on the controller, when there is one.
    template <class F>
    void Forward(F f) {
        if (controller_) f(*controller_);
    }

    shell::MigrationController* controller_ = nullptr;
    std::function<void()> quit_;
    QListWidget* list_;
    QWidget* panel_;
    QPushButton* start_;
    QPushButton* dbfFolder_;
    QPushButton* deleteData_;
    QPushButton* chosenFor_;
    QPushButton* exit_;
    QLabel* dbfStatus_;       // upper status bar
    QLabel* databaseStatus_;  // lower status bar
};

}  // namespace migracja::app
