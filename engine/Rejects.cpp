#include "engine/Rejects.h"

#include <system_error>

#include "base/FileSearch.h"
#include "base/Text.h"
#include "config/Settings.h"

namespace migracja::engine {

namespace fs = std::filesystem;

void RejectSet::StartRun(int limit, fs::path folder) {
    limit_ = limit < 0 ? 0 : limit;
    count_ = 0;
    folder_ = std::move(folder);
    folderMade_ = false;
    flushed_ = {};
    files_.clear();
}

void RejectSet::MakeFolder(const fs::path& sourceFolder) {
    // Rejects of an earlier run are never mixed with these nor overwritten.
    const fs::path wanted = folder_;
    for (int n = 2; fs::exists(folder_); ++n)
        folder_ = fs::path(wanted.string() + " (" + std::to_string(n) + ")");
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec)
        throw dbf::DbfError("cannot create the folder " + folder_.string() + ": " + ec.message());
    folderMade_ = true;
    // The mark of the legacy data version that the startup checks look for: its structure, with
    // no record, so that a definition reading it migrates nothing twice. Records of TARV09.DBF
    // itself that are set aside go into it.
    const fs::path version = config::FindProgramFile(sourceFolder, "TARV09.DBF");
    if (fs::is_regular_file(version, ec))
        files_.emplace(text::ToUpper(config::TextFromPath(version.filename())),
                       dbf::DbfRejectFile::Create(folder_ / version.filename(), version));
}

void RejectSet::Add(const dbf::DbfTable& source) {
    const fs::path& path = source.Path();
    if (!folderMade_) MakeFolder(path.parent_path());
    const std::string key = text::ToUpper(config::TextFromPath(path.filename()));
    auto file = files_.find(key);
    if (file == files_.end()) {
        // Memo texts live in a file of their own that the records point into by block number;
        // copied whole, it keeps those pointers true.
        for (const char* memo : {".DBT", ".FPT"}) {
            const fs::path stem = path.stem();
            const fs::path found =
                config::FindProgramFile(path.parent_path(), config::TextFromPath(stem) + memo);
            std::error_code ec;
            if (fs::is_regular_file(found, ec)) {
                fs::copy_file(found, folder_ / found.filename(),
                              fs::copy_options::overwrite_existing, ec);
                if (ec)
                    throw dbf::DbfError("cannot copy " + found.string() + " to " +
                                        folder_.string() + ": " + ec.message());
            }
        }
        file =
            files_.emplace(key, dbf::DbfRejectFile::Create(folder_ / path.filename(), path)).first;
    }
    file->second.Append(source.RecordBytes());
    ++count_;
}

void RejectSet::Flush(bool always) {
    const auto now = std::chrono::steady_clock::now();
    if (!always && now - flushed_ < std::chrono::seconds(1)) return;
    flushed_ = now;
    for (auto& [name, file] : files_) file.Flush();
}

}  // namespace migracja::engine
