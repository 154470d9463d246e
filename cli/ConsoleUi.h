#pragma once
// Message boxes of the core, printed for a terminal: the text to stderr in UTF-8, and every
// question answered with No, so that a command never changes anything by asking.

#include <cstdio>

#include "base/Text.h"
#include "config/Ui.h"

namespace migracja::cli {

class ConsoleMessageBox : public ui::MessageBox {
  public:
    ui::Answer Show(const std::string& text, const std::string& caption, ui::Icon,
                    ui::Buttons buttons) override {
        std::string shown = text::Win1250ToUtf8(text);
        for (std::size_t p; (p = shown.find('\r')) != std::string::npos;) shown.erase(p, 1);
        if (caption.empty())
            std::fprintf(stderr, "%s\n", shown.c_str());
        else
            std::fprintf(stderr, "%s: %s\n", text::Win1250ToUtf8(caption).c_str(), shown.c_str());
        return buttons == ui::Buttons::Ok ? ui::Answer::Ok : ui::Answer::No;
    }
};

}  // namespace migracja::cli
