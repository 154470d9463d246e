#include "app/Application.h"
#include "app/ProgramStart.h"

int main(int argc, char** argv) {
    migracja::shell::StartOptions options;
    if (const auto status = migracja::app::ReadStartOptions(argc, argv, options)) return *status;
    migracja::app::TApplication application(argc, argv);
    const auto folder = migracja::app::ChooseProgramFolder(options);
    if (!folder) return 0;  // the folder dialog was cancelled
    const auto program = migracja::app::StartProgram(*folder);
    return application.exec();
}
