// --help of migracja-cli and of each of its commands: one table keyed by the command words, read
// by main before a command runs, so that the commands themselves do not deal with it.

#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "shell/Version.h"

namespace migracja::cli {

namespace {

// Shared by every command that works on a program folder.
#define MIGRACJA_DIR_OPTION                                                                   \
    "  --dir PROGRAMDIR   the program folder: Db.Ini, Migracja.ini, \"Definicje Migracji\"\n" \
    "                     and the error reports (required)\n"

// The password options of the commands that write Db.Ini.
#define MIGRACJA_PASSWORD_OPTIONS                                                      \
    "  --password-stdin   read the password from the first line of standard input\n"   \
    "  --password P       the password on the command line, where every user of the\n" \
    "                     machine sees it in the process list; kept for old scripts\n" \
    "                     (default: neither; the password is asked for twice on the\n" \
    "                     terminal, without echo)\n"

struct Help {
    const char* command;
    const char* text;
};

constexpr Help kHelp[] = {
    {"",
     "usage: migracja-cli COMMAND [OPTIONS]\n"
     "       migracja-cli --version | --help\n"
     "       migracja-cli COMMAND --help\n"
     "\n"
     "Commands:\n"
     "  new-folder DIR       creates a program folder\n"
     "  dbini write          writes Db.Ini with the encoded password\n"
     "  dbini decode VALUE   decodes a stored password\n"
     "  dbini test           connects as the program does\n"
     "  dbf dump FILE        shows a DBF file as the migration reads it\n"
     "  definitions check    loads every definition and lists its errors\n"
     "  run                  runs the migration of the program folder without a window\n"
     "  delete-data          empties target tables\n"
     "  clean-serials        removes blanks from the devices' serial numbers\n"
     "  split-phones         splits telephone texts holding several numbers\n"
     "\n"
     "Exit status: 0 on success, 1 on failure, 2 for bad usage.\n"},
    {"new-folder",
     "usage: migracja-cli new-folder DIR [--samples] [--dbf FOLDER]\n"
     "                               [--location LOC [--user U] [--password-stdin]]\n"
     "\n"
     "Creates the program folder DIR (and its parents) with an empty \"Definicje Migracji\".\n"
     "A folder that already holds Db.Ini, Migracja.ini or \"Definicje Migracji\" is left alone.\n"
     "\n"
     "  --samples          copy the sample definitions into \"Definicje Migracji\"\n"
     "  --dbf FOLDER       write Migracja.ini naming FOLDER as the folder of the DBF files\n"
     "                     (default: no Migracja.ini; the program asks for the folder)\n"
     "  --location LOC     write Db.Ini as dbini write does: a file path opens the database\n"
     "                     embedded, host:path goes through a server (default: no Db.Ini)\n"
     "  --user U           the user name (default: SYSDBA)\n" MIGRACJA_PASSWORD_OPTIONS "\n"
     "Exit status: 0 when the folder was made, 1 when it could not be written, 2 for bad\n"
     "usage or a folder that is a program folder already.\n"},
    {"dbini",
     "usage: migracja-cli dbini write --dir DIR --location LOC [--user U] [--password-stdin]\n"
     "       migracja-cli dbini decode VALUE\n"
     "       migracja-cli dbini test --dir DIR\n"
     "\n"
     "migracja-cli dbini SUBCOMMAND --help tells more.\n"},
    {"dbini write",
     "usage: migracja-cli dbini write --dir DIR --location LOC [--user U] [--password-stdin]\n"
     "\n"
     "Sets the location, the user and the encoded password in Db.Ini of DIR, keeping every\n"
     "other line; creates the file when needed. Prints the file written.\n"
     "\n"
     "  --dir DIR          the program folder (required)\n"
     "  --location LOC     the database: a file path opens it embedded, host:path goes\n"
     "                     through a server (required)\n"
     "  --user U           the user name (default: the User already in the file, SYSDBA in\n"
     "                     a new file)\n" MIGRACJA_PASSWORD_OPTIONS "\n"
     "Exit status: 0 when written, 1 when the file cannot be written, 2 for bad usage.\n"},
    {"dbini decode",
     "usage: migracja-cli dbini decode VALUE\n"
     "\n"
     "Prints the password a stored Password value of Db.Ini decodes to.\n"
     "\n"
     "Exit status: 0 when decoded, 1 for a value that is not valid, 2 for bad usage.\n"},
    {"dbini test",
     "usage: migracja-cli dbini test --dir DIR\n"
     "\n"
     "Connects with Db.Ini of DIR as the program does and prints the schema version.\n"
     "\n" MIGRACJA_DIR_OPTION "\n"
     "Exit status: 0 when connected, 1 when Db.Ini is missing or the connection fails, 2\n"
     "for bad usage.\n"},
    {"dbf",
     "usage: migracja-cli dbf dump FILE [--index EXPR]\n"
     "\n"
     "migracja-cli dbf dump --help tells more.\n"},
    {"dbf dump",
     "usage: migracja-cli dbf dump FILE [--index EXPR]\n"
     "\n"
     "Prints the fields and the records of a DBF file as the migration reads them, one\n"
     "tab-separated line per record.\n"
     "\n"
     "  --index EXPR       a dBase key expression giving the order of the records\n"
     "                     (default: the order of the file)\n"
     "\n"
     "Exit status: 0 when printed, 1 when the file cannot be read, 2 for bad usage.\n"},
    {"definitions",
     "usage: migracja-cli definitions check --dir PROGRAMDIR [--prepare]\n"
     "\n"
     "migracja-cli definitions check --help tells more.\n"},
    {"definitions check",
     "usage: migracja-cli definitions check --dir PROGRAMDIR [--prepare]\n"
     "\n"
     "Loads every definition of the program folder as a run would and lists what was read\n"
     "and every error.\n"
     "\n" MIGRACJA_DIR_OPTION
     "  --prepare          also prepare each definition whose DBF file is present, in a dry\n"
     "                     run that writes nothing (default: load only)\n"
     "\n"
     "Exit status: 0 without errors, 1 when a definition has an error or the database\n"
     "cannot be reached, 2 for bad usage.\n"},
    {"run",
     "usage: migracja-cli run --dir PROGRAMDIR [--only 01-Firmy,02-Telefony] [--firma ID]\n"
     "                        [--branch ID|none] [--team ID] [--dbf FOLDER] [--max-rejects N]\n"
     "\n"
     "Runs the migration of the program folder as \"Start migracji\" does: the same startup\n"
     "checks, context choice, record loop and error report.\n"
     "\n" MIGRACJA_DIR_OPTION
     "  --only A,B         the definitions to run (default: every enabled one)\n"
     "  --firma ID         the owner company when there are several (default: the only one)\n"
     "  --branch ID|none   the branch, none for no branch (default: asked when there are\n"
     "                     branches, so the run stops and lists them)\n"
     "  --team ID          the service team when there are several (default: the only one)\n"
     "  --dbf FOLDER       the folder of the DBF files, written to Migracja.ini (default: the\n"
     "                     folder Migracja.ini names); a reject folder (\"Odrzucone ...\") is\n"
     "                     used for this run only and not written\n"
     "  --max-rejects N    records that may be set aside in a reject file before the run\n"
     "                     stops, 0 to 1000000 (default: [Bledy] MaksOdrzuconych of\n"
     "                     Migracja.ini, or 0: the first bad record stops the run)\n"
     "\n"
     "Exit status: 0 without error entries; 1 with one (a rejected record included), after a\n"
     "database failure, a failed startup check, when another run holds the database or a\n"
     "definition's DBF file is missing; 2 for bad usage (unknown option, unknown or disabled "
     "--only name, a\n"
     "choice left open); 130 after SIGINT and 143 after SIGTERM.\n"},
    {"delete-data",
     "usage: migracja-cli delete-data --dir PROGRAMDIR --tables A,B [--owner FIRMA_ID] --yes\n"
     "\n"
     "Empties the named target tables one by one, REJESTR_FIRM and KATEGORIE last, and\n"
     "restarts their generators.\n"
     "\n" MIGRACJA_DIR_OPTION "  --tables A,B       the tables to empty (required)\n"
     "  --owner FIRMA_ID   the owner company REJESTR_FIRM keeps (default: the only one)\n"
     "  --yes              confirms the deletion (required)\n"
     "\n"
     "Exit status: 0 when emptied, 1 when a table cannot be emptied or the database cannot\n"
     "be reached, 2 for bad usage or a protected, system or unknown table.\n"},
    {"clean-serials",
     "usage: migracja-cli clean-serials --dir PROGRAMDIR\n"
     "\n"
     "Removes the blanks from the devices' serial numbers (EWIDENCJA_SPRZETU.NR_FABRYCZNY).\n"
     "\n" MIGRACJA_DIR_OPTION "\n"
     "Exit status: 0 when done, 1 when the database cannot be reached, 2 for bad usage.\n"},
    {"split-phones",
     "usage: migracja-cli split-phones --dir PROGRAMDIR [--dry-run]\n"
     "\n"
     "Splits telephone texts of TELEFONY that hold several numbers, a glued area code or an\n"
     "extension.\n"
     "\n" MIGRACJA_DIR_OPTION
     "  --dry-run          print the changes, write nothing (default: write them)\n"
     "\n"
     "Exit status: 0 when done, 1 when the database cannot be reached, 2 for bad usage.\n"},
};

#undef MIGRACJA_DIR_OPTION
#undef MIGRACJA_PASSWORD_OPTIONS

bool IsHelp(const std::string& a) {
    return a == "--help" || a == "-h";
}

}  // namespace

std::string HelpText(const std::string& command) {
    for (const Help& h : kHelp)
        if (command == h.command) return h.text;
    return {};
}

std::optional<int> AnswerHelpOrVersion(const Args& words) {
    if (words.empty()) return std::nullopt;
    if (words.front() == "--version") {
        std::fputs(shell::VersionLine("migracja-cli").c_str(), stdout);
        return 0;
    }
    if (IsHelp(words.front()) || words.front() == "help") {
        std::fputs(HelpText("").c_str(), stdout);
        return 0;
    }
    bool asked = false;
    for (const std::string& w : words) asked = asked || IsHelp(w);
    if (!asked) return std::nullopt;
    // The longest known command the words begin with: "dbini write --help" before "dbini".
    std::string command = words.front();
    if (words.size() > 1 && !IsHelp(words[1]) && !HelpText(command + " " + words[1]).empty())
        command += " " + words[1];
    const std::string text = HelpText(command);
    if (text.empty()) throw UsageError{"unknown command " + words.front()};
    std::fputs(text.c_str(), stdout);
    return 0;
}

}  // namespace migracja::cli
