#include "app/QtUi.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "base/Text.h"

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
    if (silenced_) return buttons == ui::Buttons::Ok ? ui::Answer::Ok : ui::Answer::No;
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

std::optional<std::string> QtTextInput::Ask(const std::string& caption, const std::string& prompt,
                                            const std::string& initial, bool password) {
    bool ok = false;
    const QString typed = QInputDialog::getText(parent_, ToQt(caption), ToQt(prompt),
                                                password ? QLineEdit::Password : QLineEdit::Normal,
                                                ToQt(initial), &ok);
    if (!ok) return std::nullopt;
    return FromQt(typed);
}

BusyCursor::BusyCursor() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    QGuiApplication::restoreOverrideCursor();
}

void QtFileViewer::Open(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

QtOneShotTimer::QtOneShotTimer(std::function<void()> onTimeout) {
    timer_.setSingleShot(true);
    // Two milliseconds mean two: a coarse timer would slow the startup steps and the run.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, std::move(onTimeout));
}

}  // namespace migracja::app
