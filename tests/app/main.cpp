#include <gtest/gtest.h>

#include "AppTestMain.h"
#include "app/Application.h"

namespace {
migracja::shell::StopSignals* stopSignals = nullptr;
}

migracja::shell::StopSignals& migracja::testing::AppStopSignals() {
    return *stopSignals;
}

int main(int argc, char** argv) {
    // As in the program: before any thread starts, so that no engine handler ever sees them.
    migracja::shell::StopSignals signalsOfTheTests;
    stopSignals = &signalsOfTheTests;
    // The windows need the platform even when only the test list is asked for.
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    migracja::app::TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
