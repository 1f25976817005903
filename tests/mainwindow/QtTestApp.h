// One QApplication for the whole test executable, made on first use (offscreen platform).
#pragma once

#include <QApplication>

namespace holvane::testing {

inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "mainwindow_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *application;
}

}  // namespace holvane::testing

namespace holvane::testing {

// A first base of a fixture whose members are widgets: the application exists before them.
struct WithApplication {
    WithApplication() { TestApplication(); }
};

}  // namespace holvane::testing
