#pragma once

#include <QApplication>

// One application object per test process; widgets need no display.
inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "test_audio_capture";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(argc, argv);
    return application;
}
