#pragma once
// User-interface seams answered by scripts: every message shown is recorded, answers are taken
// from queues (an empty queue answers OK / No / cancel).

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "config/Ui.h"

namespace migracja::testing {

struct ShownMessage {
    std::string text;  // Windows-1250, as the core passed it
    std::string caption;
    ui::Icon icon;
    ui::Buttons buttons;
};

class ScriptedMessageBox : public ui::MessageBox {
  public:
    std::vector<ShownMessage> shown;
    std::deque<ui::Answer> answers;

    ui::Answer Show(const std::string& text, const std::string& caption, ui::Icon icon,
                    ui::Buttons buttons) override {
        shown.push_back({text, caption, icon, buttons});
        if (!answers.empty()) {
            const ui::Answer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == ui::Buttons::Ok ? ui::Answer::Ok : ui::Answer::No;
    }
};

class ScriptedTextInput : public ui::TextInput {
  public:
    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> prompts;
    std::optional<std::string> Ask(const std::string& caption, const std::string& prompt,
                                   const std::string&, bool) override {
        prompts.push_back(caption + "|" + prompt);
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

class ScriptedFolderChoice : public ui::FolderChoice {
  public:
    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> titles, startFolders;
    std::optional<std::string> Pick(const std::string& title, const std::string& start) override {
        titles.push_back(title);
        startFolders.push_back(start);
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

class RecordingFileViewer : public ui::FileViewer {
  public:
    std::vector<std::string> opened;
    void Open(const std::string& path) override { opened.push_back(path); }
};

class ManualTimer : public ui::OneShotTimer {
  public:
    int interval = 0;
    bool active = false;
    int starts = 0;
    void Start(int ms) override {
        interval = ms;
        active = true;
        ++starts;
    }
    void Stop() override { active = false; }
    bool Active() const override { return active; }
};

}  // namespace migracja::testing
