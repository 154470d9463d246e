#include "tools/DeleteDataWindow.h"

#include <stdexcept>

#include "base/Text.h"
#include "engine/Dane.h"
#include "tools/DeleteData.h"

namespace migracja::tools {

using namespace migracja::literals;

DeleteDataWindow::DeleteDataWindow(engine::TDane& dane, DeleteDataView& view,
                                   ui::MessageBox& messages, ui::TextInput& input)
    : dane_(dane), view_(view), messages_(messages), input_(input) {}

void DeleteDataWindow::BuildList() {
    view_.ClearTables();
    tables_.clear();
    used_.clear();
    enabled_.clear();
    for (const std::string& name : dane_.DatabaseTables) {
        if (IsSystemTable(dane_, name)) continue;
        const bool enabled = !IsProtectedTable(name);
        const bool used = engine::TDane::ContainsIgnoreCase(dane_.DefinitionTables, name);
        view_.AddTable(name, enabled, used);
        tables_.push_back(name);
        used_.push_back(used);
        enabled_.push_back(enabled);
    }
}

void DeleteDataWindow::OnCheckUsed() {
    view_.FreezeTables(true);
    for (std::size_t i = 0; i < tables_.size(); ++i)
        view_.SetTableChecked(static_cast<int>(i), used_[i]);
    view_.FreezeTables(false);
}

void DeleteDataWindow::OnUncheckAll() {
    view_.FreezeTables(true);
    for (std::size_t i = 0; i < tables_.size(); ++i)
        view_.SetTableChecked(static_cast<int>(i), false);
    view_.FreezeTables(false);
}

void DeleteDataWindow::OnDeleteRecords() {
    std::vector<std::string> chosen;
    for (std::size_t i = 0; i < tables_.size(); ++i)
        if (enabled_[i] && view_.TableChecked(static_cast<int>(i))) chosen.push_back(tables_[i]);
    // Refused before the password is asked: the user has to change the choice anyway.
    if (const std::string refusal = DeleteDataRefusal(dane_, chosen); !refusal.empty()) {
        messages_.Warn(refusal, "Usuwanie rekordów z tabel TARVIK"_w);
        return;
    }

    const std::string typed =
        input_.Ask("Hasło zazwalające na usuwanie"_w, "Podaj hasło:"_w, "", false).value_or("");
    if (text::ToUpper(typed) != kDeletePassword) return;
    if (!messages_.Ask(
            "Hasło prawidłowe. \r\nCzy na pewno usunąć wszystkie dane z wybranych tabel ?"_w,
            "Ostatnie ostrzeżenie"_w))
        return;

    struct Busy {
        DeleteDataView& view;
        explicit Busy(DeleteDataView& v) : view(v) { view.SetBusy(true); }
        ~Busy() { view.SetBusy(false); }
    };
    try {
        Busy busy(view_);
        DeleteData(dane_, chosen, [this](const EmptiedTable& done) {
            for (std::size_t i = 0; i < tables_.size(); ++i)
                if (tables_[i] == done.table) view_.SetTableChecked(static_cast<int>(i), false);
            view_.ProcessPendingMessages();
        });
    } catch (const DeleteDataError& e) {
        messages_.Show(DeleteFailureText(e), "Błąd usuwania rekordów"_w, ui::Icon::Error,
                       ui::Buttons::Ok);
        return;
    }
    messages_.Inform("Usunięto wszytkie rekordy z  "_w + std::to_string(chosen.size()) + " tabel !",
                     "Koniec usuwania"_w);
}

}  // namespace migracja::tools
