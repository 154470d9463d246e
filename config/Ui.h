#pragma once
// The seams through which the core reaches the user. Texts are Windows-1250; the desktop program
// converts them at its boundary, tests answer with scripts.

#include <optional>
#include <string>
#include <vector>

namespace migracja::ui {

enum class Icon { None, Information, Exclamation, Question, Error };
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

class MessageBox {
  public:
    virtual ~MessageBox() = default;
    virtual Answer Show(const std::string& text, const std::string& caption, Icon icon,
                        Buttons buttons) = 0;

    void Inform(const std::string& text, const std::string& caption) {
        Show(text, caption, Icon::Information, Buttons::Ok);
    }
    void Warn(const std::string& text, const std::string& caption) {
        Show(text, caption, Icon::Exclamation, Buttons::Ok);
    }
    bool Ask(const std::string& text, const std::string& caption) {
        return Show(text, caption, Icon::Question, Buttons::YesNo) == Answer::Yes;
    }
};

// A one-line text input; nullopt when the user cancels.
class TextInput {
  public:
    virtual ~TextInput() = default;
    virtual std::optional<std::string> Ask(const std::string& caption, const std::string& prompt,
                                           const std::string& initial, bool password) = 0;
};

// A folder picker; nullopt when the user cancels.
class FolderChoice {
  public:
    virtual ~FolderChoice() = default;
    virtual std::optional<std::string> Pick(const std::string& title,
                                            const std::string& startFolder) = 0;
};

// Opens a text file in the desktop's viewer; failures are not reported.
class FileViewer {
  public:
    virtual ~FileViewer() = default;
    virtual void Open(const std::string& path) = 0;
};

// A one-shot timer owned by the user interface; Start re-arms it.
class OneShotTimer {
  public:
    virtual ~OneShotTimer() = default;
    virtual void Start(int milliseconds) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
};

// A modal window with a grid of rows to pick one from. Texts are Windows-1250. The grid is
// read-only; confirming ("&Wybierz", Enter or a double click) picks the current row, and the
// extra buttons (e.g. "Bez wyboru") close the window with their own answer.
struct GridColumn {
    enum class Align { Left, Center };
    std::string title;
    int widthChars = 0;  // a width hint in characters; 0 lets the window choose
    Align align = Align::Left;
    bool checkBox = false;  // the cell shows a check box, checked for "T"
};

struct GridChoiceRequest {
    std::string caption;
    std::vector<GridColumn> columns;
    std::vector<std::vector<std::string>> rows;  // one text per column
    std::vector<std::string> extraButtons;
};

struct GridChoiceResult {
    enum class Kind { Cancelled, Row, Button };
    Kind kind = Kind::Cancelled;
    int index = -1;  // the row (Row) or the extra button (Button)

    static GridChoiceResult Cancelled() { return {}; }
    static GridChoiceResult Row(int row) { return {Kind::Row, row}; }
    static GridChoiceResult Button(int button) { return {Kind::Button, button}; }
};

class GridChoice {
  public:
    virtual ~GridChoice() = default;
    virtual GridChoiceResult Choose(const GridChoiceRequest& request) = 0;
};

}  // namespace migracja::ui
