#include "Startup.h"

#include <QApplication>
#include <QGuiApplication>
#include <QThread>
#include <exception>
#include <memory>

#include "AboutDlg.h"
#include "Artwork.h"
#include "Mainformunit.h"
#include "Splashformunit.h"
#include "UserDialogs.h"

namespace holvane {

namespace {

constexpr unsigned long SplashPauseMs = 3000;

}  // namespace

int RunProgram(const char* desktopFile, const QString& captionNote) {
    QtUserDialogs dialogs;
    QGuiApplication::setDesktopFileName(QString::fromUtf8(desktopFile));
    try {
        QApplication::setFont(WindowFont());
        auto splash = std::make_unique<TSplashForm>();
        splash->ShowNow();

        // The name the desktop shows for the program. (An application display name would be
        // appended to every window caption, so only the name is set.)
        QCoreApplication::setApplicationName(QStringLiteral("Vantor Tradix"));
        QApplication::setWindowIcon(ProgramIcon());

        TMainForm mainForm(dialogs);
        if (!captionNote.isEmpty()) {
            mainForm.setWindowTitle(mainForm.windowTitle() + QStringLiteral(" - ") + captionNote);
        }
        TAboutDlg aboutDlg;
        mainForm.SetAboutDlg(&aboutDlg);

        // The splash stays on the screen for the pause; no events are handled meanwhile.
        QThread::msleep(SplashPauseMs);
        splash.reset();

        mainForm.show();
        QApplication::exec();
    } catch (const std::exception& error) {
        dialogs.ShowMessage(nullptr, MessageKind::Error, error.what());
        return 1;
    } catch (...) {
        dialogs.ShowMessage(nullptr, MessageKind::Error, "The program could not start.");
        return 1;
    }
    return 0;
}

}  // namespace holvane
