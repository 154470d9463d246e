#include <gtest/gtest.h>

#include "app/Application.h"

int main(int argc, char** argv) {
    // The windows need the platform even when only the test list is asked for.
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    migracja::app::TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
