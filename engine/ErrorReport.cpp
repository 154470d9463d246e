#include "engine/ErrorReport.h"

#include <locale.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include "base/FileSearch.h"
#include "base/RegularFile.h"
#include "base/Text.h"

namespace migracja::engine {

using namespace migracja::literals;

namespace {

bool UnfitForFileName(unsigned char c) {
    if (c < 0x20 || c == 0x7F) return true;
    for (char bad : std::string_view("/\\:*?\"<>|"))
        if (c == static_cast<unsigned char>(bad)) return true;
    return false;
}

// A private locale object: the program's global locale stays as it is.
class TimeLocale {
  public:
    TimeLocale() {
        locale_ = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
        if (!locale_) locale_ = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    }
    ~TimeLocale() {
        if (locale_) freelocale(locale_);
    }
    TimeLocale(const TimeLocale&) = delete;
    TimeLocale& operator=(const TimeLocale&) = delete;
    locale_t get() const { return locale_; }

  private:
    locale_t locale_ = static_cast<locale_t>(0);
};

}  // namespace

std::string SystemShortDate(const CivilDateTime& date) {
    std::tm tm{};
    tm.tm_year = date.year - 1900;
    tm.tm_mon = date.month - 1;
    tm.tm_mday = date.day;
    tm.tm_hour = date.hour;
    tm.tm_min = date.minute;
    tm.tm_sec = date.second;
    tm.tm_isdst = -1;
    const TimeLocale locale;
    if (!locale.get())
        throw std::runtime_error(
            "Brak ustawień regionalnych systemu dla krótkiego formatu daty (nazwa raportu błędów)"_w);
    char buf[128];
    const std::size_t n = strftime_l(buf, sizeof buf, "%x", &tm, locale.get());
    return std::string(buf, n);
}

namespace {

// The date and time of a run as the report's name gives them: short date, blank, hh_nn.
std::string RunStamp(DateTime runStartTime, const ShortDateFormatter& shortDate) {
    const CivilDateTime c = DecodeDateTime(runStartTime);
    std::string date = shortDate(c);
    for (char& ch : date)
        if (UnfitForFileName(static_cast<unsigned char>(ch))) ch = '-';
    char time[16];
    std::snprintf(time, sizeof time, "%02d_%02d", c.hour, c.minute);
    return date + " " + time;
}

}  // namespace

std::string ErrorReportFileName(DateTime runStartTime, const ShortDateFormatter& shortDate) {
    return "Migracja " + RunStamp(runStartTime, shortDate) + ".err";
}

std::string RejectFolderName(DateTime runStartTime, const ShortDateFormatter& shortDate) {
    return kRejectFolderPrefix + RunStamp(runStartTime, shortDate);
}

std::optional<std::filesystem::path> WriteErrorReport(
    const ErrorLog& log, bool errorsOccurred, DateTime runStartTime,
    const std::filesystem::path& programDir, ui::MessageBox& messages, ui::FileViewer& viewer,
    const ShortDateFormatter& shortDate, const std::string& trailer) {
    if (log.empty()) return std::nullopt;
    const std::filesystem::path file = programDir / ErrorReportFileName(runStartTime, shortDate);
    std::string content;
    for (const std::string& entry : log) content += entry + "\r\n";
    content += trailer;
    {
        errno = 0;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        if (out) out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (out) out.close();
        if (!out) {
            std::string message =
                "Nie można zapisać raportu błędów "_w + config::TextFromPath(file);
            if (errno != 0) message += ": " + config::SystemErrorText(errno);
            throw std::runtime_error(message);
        }
    }
    if (errorsOccurred) OfferErrorReport(log, file, messages, viewer);
    return file;
}

void OfferErrorReport(const ErrorLog& log, const std::filesystem::path& file,
                      ui::MessageBox& messages, ui::FileViewer& viewer) {
    std::string content;
    for (const std::string& entry : log) content += entry + "\r\n";
    if (messages.Ask(content + "\r\n" + "Czy pokazać komunikat w notatniku ?"_w, ""))
        viewer.Open(file.string());
}

std::optional<std::filesystem::path> WriteErrorReport(const TDane& dane, DateTime runStartTime,
                                                      const std::filesystem::path& programDir,
                                                      ui::MessageBox& messages,
                                                      ui::FileViewer& viewer,
                                                      const ShortDateFormatter& shortDate) {
    return WriteErrorReport(dane.MigrationErrorLog, dane.Definition.ErrorsOccurred, runStartTime,
                            programDir, messages, viewer, shortDate, dane.ReportTrailer);
}

}  // namespace migracja::engine
