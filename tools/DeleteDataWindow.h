#pragma once
// The behaviour of the delete-data window without its widgets: the list of the database's
// tables with check boxes, pre-ticked where a definition writes the table, and "Usuń rekordy"
// behind a typed password and a last warning. The desktop program gives it a check-list; tests
// give it a recorded one.

#include <string>
#include <vector>

#include "config/Ui.h"

namespace migracja::engine {
class TDane;
}

namespace migracja::tools {

// The password that allows deleting, compared after upper-casing what was typed.
inline constexpr const char* kDeletePassword = "QUMBAR";

// The window's check-list. Check marks live here: the user ticks items by hand.
class DeleteDataView {
  public:
    virtual ~DeleteDataView() = default;
    virtual void ClearTables() = 0;
    virtual void AddTable(const std::string& name, bool enabled, bool checked) = 0;
    virtual bool TableChecked(int index) const = 0;
    virtual void SetTableChecked(int index, bool checked) = 0;
    // While frozen the list is not repainted item by item (every item is changed at once).
    virtual void FreezeTables(bool frozen) = 0;
    // The hourglass cursor while tables are emptied.
    virtual void SetBusy(bool busy) = 0;
    // Lets pending paint messages run, so that each emptied table is seen unticked at once.
    virtual void ProcessPendingMessages() = 0;
};

class DeleteDataWindow {
  public:
    DeleteDataWindow(engine::TDane& dane, DeleteDataView& view, ui::MessageBox& messages,
                     ui::TextInput& input);

    // Lists DatabaseTables without the system tables; protected tables are disabled; a table
    // is ticked, and keeps that as its used mark, when a definition writes it.
    void BuildList();
    void OnCheckUsed();      // "Zaznacz używane"
    void OnUncheckAll();     // "Odznacz wszystkie"
    void OnDeleteRecords();  // "Usuń rekordy"

    const std::vector<std::string>& Tables() const { return tables_; }
    bool Used(int index) const { return used_.at(static_cast<std::size_t>(index)); }
    bool Enabled(int index) const { return enabled_.at(static_cast<std::size_t>(index)); }

  private:
    engine::TDane& dane_;
    DeleteDataView& view_;
    ui::MessageBox& messages_;
    ui::TextInput& input_;
    std::vector<std::string> tables_;  // parallel to the list items
    std::vector<bool> used_;
    std::vector<bool> enabled_;
};

}  // namespace migracja::tools
