#pragma once
// The core's user-interface seams implemented with Qt. Texts cross here: the core speaks
// Windows-1250, Qt speaks UTF-16.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "config/Ui.h"

namespace migracja::app {

QString ToQt(const std::string& win1250);
std::string FromQt(const QString& text);
// For message boxes: CR LF line breaks as Qt wants them.
QString MessageText(const std::string& win1250);

class QtMessageBox final : public ui::MessageBox {
  public:
    explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
    ui::Answer Show(const std::string& text, const std::string& caption, ui::Icon icon,
                    ui::Buttons buttons) override;
    // From now on no box is shown: a question is answered "no" and a message passes, since the
    // program is ending on a stop signal and nobody may be there to answer.
    void Silence() { silenced_ = true; }

  private:
    QPointer<QWidget> parent_;
    bool silenced_ = false;
};

class QtFolderChoice final : public ui::FolderChoice {
  public:
    explicit QtFolderChoice(QWidget* parent = nullptr) : parent_(parent) {}
    std::optional<std::string> Pick(const std::string& title,
                                    const std::string& startFolder) override;

  private:
    QPointer<QWidget> parent_;
};

class QtTextInput final : public ui::TextInput {
  public:
    explicit QtTextInput(QWidget* parent = nullptr) : parent_(parent) {}
    std::optional<std::string> Ask(const std::string& caption, const std::string& prompt,
                                   const std::string& initial, bool password) override;

  private:
    QPointer<QWidget> parent_;
};

// The hourglass while a command works; the previous cursor comes back however the scope is left.
class BusyCursor {
  public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The desktop's viewer for text files (Notepad's place on Windows).
class QtFileViewer final : public ui::FileViewer {
  public:
    void Open(const std::string& path) override;
};

class QtOneShotTimer final : public ui::OneShotTimer {
  public:
    explicit QtOneShotTimer(std::function<void()> onTimeout);
    void Start(int milliseconds) override { timer_.start(milliseconds); }
    void Stop() override { timer_.stop(); }
    bool Active() const override { return timer_.isActive(); }

  private:
    QTimer timer_;
};

}  // namespace migracja::app
