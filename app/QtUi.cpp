#include "app/QtUi.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "config/Text.h"

namespace migracja::app {

QString ToQt(const std::string& win1250) {
    return QString::fromStdString(text::Win1250ToUtf8(win1250));
}

std::string FromQt(const QString& text) {
    return text::Utf8ToWin1250(text.toStdString());
}

QString MessageText(const std::string& win1250) {
    return ToQt(win1250).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

ui::Answer QtMessageBox::Show(const std::string& text, const std::string& caption, ui::Icon icon,
                              ui::Buttons buttons) {
    QMessageBox box(parent_);
    box.setWindowTitle(ToQt(caption));
    box.setText(MessageText(text));
    switch (icon) {
        case ui::Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case ui::Icon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case ui::Icon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case ui::Icon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case ui::Icon::None:
            break;
    }
    if (buttons == ui::Buttons::Ok) {
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.exec();
        return ui::Answer::Ok;
    }
    // The answers as a Polish desktop labels them.
    QPushButton* yes = box.addButton(QStringLiteral("&Tak"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&Nie"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? ui::Answer::Yes : ui::Answer::No;
}

std::optional<std::string> QtFolderChoice::Pick(const std::string& title,
                                                const std::string& startFolder) {
    const QString picked = QFileDialog::getExistingDirectory(
        parent_, ToQt(title), ToQt(startFolder), QFileDialog::ShowDirsOnly);
    if (picked.isEmpty()) return std::nullopt;
    return FromQt(QDir::toNativeSeparators(picked));
}

void QtFileViewer::Open(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

ui::GridChoiceResult QtGridChoice::Choose(const ui::GridChoiceRequest& request) {
    QDialog dialog(parent_);
    dialog.setWindowTitle(ToQt(request.caption));
    auto* layout = new QVBoxLayout(&dialog);
    auto* grid = new QTableWidget(static_cast<int>(request.rows.size()),
                                  static_cast<int>(request.columns.size()), &dialog);
    grid->setObjectName(QStringLiteral("Grid"));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->hide();
    const int charWidth = grid->fontMetrics().averageCharWidth();
    for (int c = 0; c < grid->columnCount(); ++c) {
        const ui::GridColumn& column = request.columns[static_cast<std::size_t>(c)];
        auto* header = new QTableWidgetItem(ToQt(column.title));
        header->setTextAlignment(Qt::AlignCenter);
        grid->setHorizontalHeaderItem(c, header);
        if (column.widthChars > 0) grid->setColumnWidth(c, (column.widthChars + 2) * charWidth);
        for (int r = 0; r < grid->rowCount(); ++r) {
            const std::string& value =
                request.rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            auto* cell = new QTableWidgetItem;
            if (column.checkBox) {
                cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                cell->setCheckState(value == "T" ? Qt::Checked : Qt::Unchecked);
            } else {
                cell->setText(ToQt(value));
            }
            if (column.align == ui::GridColumn::Align::Center)
                cell->setTextAlignment(Qt::AlignCenter);
            grid->setItem(r, c, cell);
        }
    }
    if (grid->rowCount() > 0) grid->selectRow(0);
    layout->addWidget(grid);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* choose = new QPushButton(QStringLiteral("&Wybierz"), &dialog);
    choose->setDefault(true);
    buttons->addWidget(choose);
    ui::GridChoiceResult result = ui::GridChoiceResult::Cancelled();
    for (std::size_t b = 0; b < request.extraButtons.size(); ++b) {
        auto* extra = new QPushButton(ToQt(request.extraButtons[b]), &dialog);
        buttons->addWidget(extra);
        QObject::connect(extra, &QPushButton::clicked, &dialog, [&dialog, &result, b] {
            result = ui::GridChoiceResult::Button(static_cast<int>(b));
            dialog.done(QDialog::Accepted);
        });
    }
    auto* cancel = new QPushButton(QStringLiteral("&Anuluj"), &dialog);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    auto confirm = [&dialog, &result, grid] {
        if (grid->currentRow() < 0) return;
        result = ui::GridChoiceResult::Row(grid->currentRow());
        dialog.done(QDialog::Accepted);
    };
    QObject::connect(choose, &QPushButton::clicked, &dialog, confirm);
    QObject::connect(grid, &QTableWidget::cellDoubleClicked, &dialog, confirm);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    dialog.resize(720, 360);
    dialog.exec();
    return result;
}

QtOneShotTimer::QtOneShotTimer(std::function<void()> onTimeout) {
    timer_.setSingleShot(true);
    // Two milliseconds mean two: a coarse timer would slow the startup steps and the run.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, std::move(onTimeout));
}

}  // namespace migracja::app
