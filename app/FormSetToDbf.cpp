#include "app/FormSetToDbf.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/FormWait.h"
#include "app/QtUi.h"

namespace migracja::app {

TFormSetToDbf::TFormSetToDbf(std::filesystem::path programDir, ui::FolderChoice& picker,
                             const TFormWait* images, QWidget* parent)
    : QDialog(parent), programDir_(std::move(programDir)), picker_(picker) {
    setObjectName(QStringLiteral("FormSetToDbf"));
    setWindowTitle(QStringLiteral("Ustawienie ścieżki do plików *.DBF"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Ścieżka do baz *.DBF od starego TARVIK"), this));

    auto* row = new QHBoxLayout;
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("EditPathToDbf"));
    edit_->setMinimumWidth(360);
    browse_ = new QToolButton(this);
    browse_->setObjectName(QStringLiteral("BrowseButton"));
    browse_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    row->addWidget(edit_, 1);
    row->addWidget(browse_);
    layout->addLayout(row);

    auto* buttons = new QHBoxLayout;
    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    cancel_ = new QPushButton(QStringLiteral("&Anuluj"), this);
    ok_->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);

    if (images) {
        browse_->setIcon(images->Image(Glyph::Browse));
        ok_->setIcon(images->Image(Glyph::Ok));
        cancel_->setIcon(images->Image(Glyph::Cancel));
    } else {
        browse_->setText(QStringLiteral("..."));
    }

    connect(browse_, &QToolButton::clicked, this, &TFormSetToDbf::Browse);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    // A fixed dialog border: the size the layout gives.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFormSetToDbf::Browse() {
    if (const auto picked = shell::BrowseForDbfFolder(picker_, FromQt(edit_->text()), programDir_))
        edit_->setText(ToQt(*picked));
}

std::optional<std::string> QtDbfFolderDialog::Show(const std::string& folder) {
    TFormSetToDbf dialog(programDir_, picker_, images_, parent_);
    dialog.EditPathToDbf()->setText(ToQt(folder));
    if (beforeShow) beforeShow(dialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return FromQt(dialog.EditPathToDbf()->text());
}

}  // namespace migracja::app
