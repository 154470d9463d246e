#include "shell/RunSummary.h"

#include <algorithm>
#include <cstdio>

#include "base/FileSearch.h"
#include "base/Text.h"

namespace migracja::shell {

using namespace migracja::literals;

void NoteDefinitionStart(engine::TDane& dane, const std::string& name) {
    engine::DefinitionOutcome o;
    o.Name = name;
    const engine::MigrationDefinition& d = dane.Definition;
    for (int j = 0; j < d.CounterCount; ++j)
        o.Tables.push_back({d.CounterCaptions[static_cast<std::size_t>(j)], 0, 0, 0});
    dane.Outcomes.push_back(std::move(o));
    NoteDefinitionProgress(dane, 0);
}

void NoteDefinitionProgress(engine::TDane& dane, double seconds) {
    if (dane.Outcomes.empty()) return;
    engine::DefinitionOutcome& o = dane.Outcomes.back();
    const engine::MigrationDefinition& d = dane.Definition;
    o.Read = d.CurrentRecordNo;
    o.Total = d.DbfRecordCount;
    o.Rejected = dane.Tally.Rejected;
    o.Seconds = seconds;
    for (std::size_t j = 0; j < o.Tables.size(); ++j) {
        o.Tables[j].Rows = d.Counters[j];
        o.Tables[j].Skipped = o.Tables[j].Existing = 0;
    }
    for (int t = 0; t < d.TableCount; ++t) {
        const auto slot = static_cast<std::size_t>(t);
        const int j = d.Tables[slot].CounterIndex;
        if (j < 0 || static_cast<std::size_t>(j) >= o.Tables.size()) continue;
        o.Tables[static_cast<std::size_t>(j)].Skipped += dane.Tally.Skipped[slot];
        o.Tables[static_cast<std::size_t>(j)].Existing += dane.Tally.Existing[slot];
    }
}

std::string FormatRunSummary(const std::vector<engine::DefinitionOutcome>& outcomes,
                             const engine::RejectSet& rejects) {
    using Row = std::vector<std::string>;
    std::vector<Row> rows = {{"Definicja", "Tabela", "Odczytane", "Odrzucone", "Zapisane",
                              "Pominięte"_w, "Istniejące"_w, "Czas [s]", "Rekordów/s"_w}};
    for (const engine::DefinitionOutcome& o : outcomes) {
        char time[32], rate[32];
        std::snprintf(time, sizeof time, "%.1f", o.Seconds);
        std::snprintf(rate, sizeof rate, "%.0f", o.Seconds > 0 ? o.Read / o.Seconds : 0.0);
        rows.push_back({o.Name, "", std::to_string(o.Read), std::to_string(o.Rejected), "", "", "",
                        time, rate});
        for (const engine::TableOutcome& t : o.Tables)
            rows.push_back({"", t.Table, "", "", std::to_string(t.Rows), std::to_string(t.Skipped),
                            std::to_string(t.Existing), "", ""});
    }
    // Bytes are characters in Windows-1250, so byte widths align.
    std::vector<std::size_t> width(rows[0].size(), 0);
    for (const Row& r : rows)
        for (std::size_t c = 0; c < r.size(); ++c) width[c] = std::max(width[c], r[c].size());
    std::string s = "Podsumowanie\r\n";
    for (const Row& r : rows) {
        std::string line;
        for (std::size_t c = 0; c < r.size(); ++c) {
            const std::string pad(width[c] - r[c].size(), ' ');
            // Names to the left, numbers to the right.
            line += c < 2 ? r[c] + pad : pad + r[c];
            if (c + 1 < r.size()) line += "  ";
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        s += line + "\r\n";
    }
    if (rejects.Count() > 0)
        s += "Odrzucone rekordy: "_w + std::to_string(rejects.Count()) + " w folderze " +
             config::TextFromPath(rejects.Folder()) + "\r\n";
    return s;
}

bool IsRejectFolder(const std::string& folder) {
    std::filesystem::path p = config::PathFromText(folder);
    if (!p.has_filename()) p = p.parent_path();
    return config::TextFromPath(p.filename()).rfind(engine::kRejectFolderPrefix, 0) == 0;
}

}  // namespace migracja::shell
