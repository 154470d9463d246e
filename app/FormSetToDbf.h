#pragma once
// The dialog "Ustawienie ścieżki do plików *.DBF": the folder typed or picked.

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <filesystem>
#include <functional>

#include "config/Ui.h"
#include "shell/DbfFolder.h"

namespace migracja::app {

class TFormWait;

class TFormSetToDbf : public QDialog {
    Q_OBJECT
  public:
    // The picker and the images are borrowed.
    TFormSetToDbf(std::filesystem::path programDir, ui::FolderChoice& picker,
                  const TFormWait* images, QWidget* parent = nullptr);

    QLineEdit* EditPathToDbf() const { return edit_; }
    QToolButton* BrowseButton() const { return browse_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    void Browse();

  private:
    std::filesystem::path programDir_;
    ui::FolderChoice& picker_;
    QLineEdit* edit_;
    QToolButton* browse_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

// The controller's dialog seam: a fresh dialog for every question, shown modally.
class QtDbfFolderDialog final : public shell::DbfFolderDialog {
  public:
    QtDbfFolderDialog(std::filesystem::path programDir, ui::FolderChoice& picker,
                      const TFormWait* images, QWidget* parent)
        : programDir_(std::move(programDir)), picker_(picker), images_(images), parent_(parent) {}

    std::optional<std::string> Show(const std::string& folder) override;

    // Called with the dialog once it is set up and before it is shown (tests answer it here).
    std::function<void(TFormSetToDbf&)> beforeShow;

  private:
    std::filesystem::path programDir_;
    ui::FolderChoice& picker_;
    const TFormWait* images_;
    QWidget* parent_;
};

}  // namespace migracja::app
