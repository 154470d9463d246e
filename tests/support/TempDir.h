#pragma once

#include <filesystem>
#include <string>

namespace migracja::testing {

// A fresh folder under the system temporary directory, removed with everything in it on scope exit.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "migracja");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // Writes bytes as they are (no newline translation).
    void Write(const std::string& name, const std::string& bytes) const;
    std::string Read(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& p);
void WriteFileBytes(const std::filesystem::path& p, const std::string& bytes);

}  // namespace migracja::testing
