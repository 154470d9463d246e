#include "app/ChoiceWindow.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QString>
#include <QTableWidget>
#include <QTableWidgetItem>
#include <QVBoxLayout>
#include <algorithm>

#include "base/Text.h"

namespace migracja::app {

namespace {

QString FromCore(const std::string& win1250) {
    return QString::fromStdString(text::Win1250ToUtf8(win1250));
}

}  // namespace

ChoiceWindow::ChoiceWindow(const ui::GridChoiceRequest& request, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(FromCore(request.caption));
    setModal(true);

    const int columns = static_cast<int>(request.columns.size());
    const int rows = static_cast<int>(request.rows.size());
    grid_ = new QTableWidget(rows, columns, this);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    grid_->horizontalHeader()->setStretchLastSection(true);

    QStringList titles;
    for (const ui::GridColumn& c : request.columns) titles << FromCore(c.title);
    grid_->setHorizontalHeaderLabels(titles);

    for (int r = 0; r < rows; ++r) {
        const std::vector<std::string>& cells = request.rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < columns; ++c) {
            const ui::GridColumn& column = request.columns[static_cast<std::size_t>(c)];
            const std::string value = static_cast<std::size_t>(c) < cells.size()
                                          ? cells[static_cast<std::size_t>(c)]
                                          : std::string();
            auto* item = new QTableWidgetItem;
            // Shown only: neither editable nor checkable by the user.
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            if (column.checkBox)
                item->setData(Qt::CheckStateRole, value == "T" ? Qt::Checked : Qt::Unchecked);
            else
                item->setText(FromCore(value));
            if (column.align == ui::GridColumn::Align::Center || column.checkBox)
                item->setTextAlignment(Qt::AlignCenter);
            else
                item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            grid_->setItem(r, c, item);
        }
    }

    const QFontMetrics metrics(grid_->font());
    for (int c = 0; c < columns; ++c) {
        const int chars = request.columns[static_cast<std::size_t>(c)].widthChars;
        grid_->resizeColumnToContents(c);
        if (chars > 0)
            grid_->setColumnWidth(c,
                                  std::max(grid_->columnWidth(c),
                                           std::min(chars, 40) * metrics.averageCharWidth() + 12));
    }
    if (rows > 0) grid_->setCurrentCell(0, 0);
    connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        grid_->setCurrentCell(row, column);
        ConfirmCurrentRow();
    });

    choose_ = new QPushButton(QStringLiteral("&Wybierz"), this);
    choose_->setDefault(true);
    choose_->setEnabled(rows > 0);
    connect(choose_, &QPushButton::clicked, this, [this] { ConfirmCurrentRow(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(choose_);
    for (std::size_t i = 0; i < request.extraButtons.size(); ++i) {
        auto* extra = new QPushButton(FromCore(request.extraButtons[i]), this);
        extra->setAutoDefault(false);
        connect(extra, &QPushButton::clicked, this,
                [this, i] { PressExtraButton(static_cast<int>(i)); });
        buttons->addWidget(extra);
    }
    auto* cancel = new QPushButton(QStringLiteral("&Anuluj"), this);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    layout->addLayout(buttons);

    int width = 0;
    for (int c = 0; c < columns; ++c) width += grid_->columnWidth(c);
    resize(std::min(width + 40, 1000), 360);
}

void ChoiceWindow::ConfirmCurrentRow() {
    const int row = grid_->currentRow();
    if (row < 0) return;  // nothing to confirm: the window stays open
    result_ = ui::GridChoiceResult::Row(row);
    accept();
}

void ChoiceWindow::PressExtraButton(int index) {
    result_ = ui::GridChoiceResult::Button(index);
    accept();
}

ui::GridChoiceResult ModalChoiceWindows::Choose(const ui::GridChoiceRequest& request) {
    ChoiceWindow window(request, parent_);
    window.exec();
    return window.Result();
}

}  // namespace migracja::app
