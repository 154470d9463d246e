#pragma once
// The modal grid windows in which the user picks the owner company, the branch or the service
// team. They show the rows the core prepared and never reach the database themselves.

#include <QDialog>
#include <vector>

#include "config/Ui.h"

class QPushButton;
class QTableWidget;

namespace migracja::app {

class ChoiceWindow : public QDialog {
    Q_OBJECT

  public:
    explicit ChoiceWindow(const ui::GridChoiceRequest& request, QWidget* parent = nullptr);

    // Cancelled until the user confirms a row or presses an extra button.
    ui::GridChoiceResult Result() const { return result_; }

  private:
    void ConfirmCurrentRow();
    void PressExtraButton(int index);

    QTableWidget* grid_ = nullptr;
    QPushButton* choose_ = nullptr;
    ui::GridChoiceResult result_;
};

// The grid-choice seam with these windows: each call opens a ChoiceWindow modally over parent.
class ModalChoiceWindows : public ui::GridChoice {
  public:
    explicit ModalChoiceWindows(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    ui::GridChoiceResult Choose(const ui::GridChoiceRequest& request) override;

  private:
    QWidget* parent_;
};

}  // namespace migracja::app
