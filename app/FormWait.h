#pragma once
// The busy window: never shown, it keeps the images that the buttons of all windows show.

#include <QDialog>
#include <QIcon>

namespace migracja::app {

enum class Glyph { Start, DbfFolder, DeleteData, ChosenFor, Exit, Browse, Ok, Cancel, Stop };

class TFormWait : public QDialog {
    Q_OBJECT
  public:
    explicit TFormWait(QWidget* parent = nullptr);
    QIcon Image(Glyph glyph) const;
};

}  // namespace migracja::app
