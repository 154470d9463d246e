#include "app/FormWait.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace migracja::app {

TFormWait::TFormWait(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormWait"));
    setWindowTitle(QStringLiteral("Trwa przetwarzanie"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Proszę chwilę poczekać..."), this));
    // The button has no action: nothing ever shows this window.
    layout->addWidget(new QPushButton(QStringLiteral("Przerwij"), this));
}

QIcon TFormWait::Image(Glyph glyph) const {
    QStyle* s = QApplication::style();
    switch (glyph) {
        case Glyph::Start:
            return s->standardIcon(QStyle::SP_MediaPlay);
        case Glyph::DbfFolder:
            return s->standardIcon(QStyle::SP_DirOpenIcon);
        case Glyph::DeleteData:
            return s->standardIcon(QStyle::SP_TrashIcon);
        case Glyph::ChosenFor:
            return s->standardIcon(QStyle::SP_FileDialogInfoView);
        case Glyph::Exit:
            return s->standardIcon(QStyle::SP_DialogCloseButton);
        case Glyph::Browse:
            return s->standardIcon(QStyle::SP_DirIcon);
        case Glyph::Ok:
            return s->standardIcon(QStyle::SP_DialogOkButton);
        case Glyph::Cancel:
            return s->standardIcon(QStyle::SP_DialogCancelButton);
        case Glyph::Stop:
            return s->standardIcon(QStyle::SP_MediaStop);
    }
    return {};
}

}  // namespace migracja::app
