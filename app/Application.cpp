#include "app/Application.h"

#include <QMessageBox>
#include <QWidget>

#include "app/QtUi.h"

namespace migracja::app {

namespace {

void ShowInBox(const std::exception& e) {
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                          MessageText(e.what()));
}

void (*exceptionHandler)(const std::exception&) = ShowInBox;

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Migracja do Tarvik"));
    setApplicationDisplayName(QStringLiteral("Migracja do Tarvik"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e);
    }
    return false;
}

void TApplication::ShowException(const std::exception& e) {
    exceptionHandler(e);
}

void TApplication::SetExceptionHandler(void (*handler)(const std::exception&)) {
    exceptionHandler = handler ? handler : ShowInBox;
}

}  // namespace migracja::app
