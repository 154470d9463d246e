#pragma once
// The application object: an exception that leaves an event handler is shown to the user and
// the program goes on, as a desktop program of this kind always did.

#include <QApplication>
#include <exception>
#include <functional>

namespace migracja::app {

class TApplication : public QApplication {
    Q_OBJECT
  public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the exception's text (Windows-1250 from the core, the SQL of a database error
    // included). Replaceable so that tests need not answer a modal box.
    static void ShowException(const std::exception& e);
    static void SetExceptionHandler(void (*handler)(const std::exception&));
    // Runs after an exception has been shown: what waited for the user to see it (the offer of
    // the error report of a run that failed). Empty: nothing.
    static void SetAfterExceptionShown(std::function<void()> after);

    // The application's title, which captions the default handler's boxes. It is not Qt's
    // display name: that one would be appended to the caption of every window.
    static QString Title();
};

}  // namespace migracja::app
