#include "app/Application.h"

#include <QMessageBox>
#include <QWidget>

#include "app/NativeCaption.h"
#include "app/QtUi.h"

namespace migracja::app {

namespace {

void ShowInBox(const std::exception& e) {
    QMessageBox::critical(QApplication::activeWindow(), TApplication::Title(),
                          MessageText(e.what()));
}

void (*exceptionHandler)(const std::exception&) = ShowInBox;
std::function<void()> afterExceptionShown;

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // No display name: the platform would append it to every caption.
    setApplicationName(Title());
}

QString TApplication::Title() {
    return QStringLiteral("Migracja do Tarvik");
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        // A window whose caption is empty shows an empty caption, not the platform's stand-in.
        if (event->type() == QEvent::Show || event->type() == QEvent::WindowTitleChange) {
            if (auto* w = qobject_cast<QWidget*>(receiver); w && w->isWindow() &&
                                                            w->windowTitle().isEmpty() &&
                                                            w->testAttribute(Qt::WA_WState_Created))
                KeepCaptionEmpty(*w);
        }
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e);
        if (afterExceptionShown) afterExceptionShown();
    }
    return false;
}

void TApplication::ShowException(const std::exception& e) {
    exceptionHandler(e);
}

void TApplication::SetAfterExceptionShown(std::function<void()> after) {
    afterExceptionShown = std::move(after);
}

void TApplication::SetExceptionHandler(void (*handler)(const std::exception&)) {
    exceptionHandler = handler ? handler : ShowInBox;
}

}  // namespace migracja::app
