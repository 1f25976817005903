// One QApplication for the whole test executable, made on first use, on the offscreen platform
// with a 1280 x 1024 screen (unless the environment already names an offscreen set-up).
#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QString>

namespace holvane::testing {

// The offscreen platform with one screen of the size given, through a configuration file in
// the temporary folder: the value for QT_QPA_PLATFORM.
inline QByteArray OffscreenPlatform(int width, int height) {
    const QString path = QDir::temp().filePath(
        QStringLiteral("holvane-offscreen-%1x%2.json").arg(width).arg(height));
    // Written whole or not at all: test programs running side by side share the file.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QStringLiteral("{\"windowFrameMargins\": true, \"screens\": [{\"name\": "
                                  "\"screen\", \"x\": 0, \"y\": 0, \"width\": %1, \"height\": %2, "
                                  "\"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                       .arg(width)
                       .arg(height)
                       .toUtf8());
        file.commit();
    }
    return "offscreen:configfile=" + QFile::encodeName(path);
}

inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "mainwindow_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        if (!qgetenv("QT_QPA_PLATFORM").startsWith("offscreen:")) {
            qputenv("QT_QPA_PLATFORM", OffscreenPlatform(1280, 1024));
        }
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
