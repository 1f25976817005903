// The file dialogs leave nothing behind them: after a run that saves and opens through them,
// the user's home and configuration folders hold no new file. The test has an executable of
// its own, since where settings go is decided once per process, before the first dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include "QtTestApp.h"
#include "UserDialogs.h"

namespace holvane {
namespace {

// Puts a name into the dialog's file name line, as a user types it, and accepts it. A dialog
// still up after a while is closed, so that a fault fails the test instead of holding it.
void ChooseWhenShown(const QString& name) {
    QTimer::singleShot(0, [name] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* line = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(line, nullptr);
        line->setText(name);
        static_cast<QDialog*>(dialog)->accept();
    });
    QTimer::singleShot(5000, [] {
        if (QWidget* stuck = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "the dialog did not take the name";
            stuck->close();
        }
    });
}

QStringList FilesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files << it.next();
    }
    return files;
}

TEST(DialogStateTest, NothingIsWrittenUnderHomeOrTheConfigurationFolder) {
    QTemporaryDir home;
    QTemporaryDir work;
    ASSERT_TRUE(home.isValid());
    ASSERT_TRUE(work.isValid());
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qunsetenv("XDG_CACHE_HOME");
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_STATE_HOME");
    testing::TestApplication();

    {
        QtUserDialogs dialogs;
        FileDialog save{"Vantor pattern files (*.ptrn)|*.ptrn", "Save Pattern", ""};
        const QString chosen = work.filePath(QStringLiteral("spring.ptrn"));
        ChooseWhenShown(chosen);
        ASSERT_TRUE(dialogs.RunSaveDialog(nullptr, save));
        EXPECT_EQ(save.fileName, chosen.toStdString());

        // Within the run the dialog still offers what it had last.
        FileDialog open{"Vantor mode files (*.mode)|*.mode", "Open Mode", save.fileName};
        ChooseWhenShown(QStringLiteral("autumn.mode"));
        ASSERT_TRUE(dialogs.RunOpenDialog(nullptr, open));
        EXPECT_EQ(open.fileName, work.filePath(QStringLiteral("autumn.mode")).toStdString());
    }
    QCoreApplication::processEvents();

    const QStringList left = FilesUnder(home.path());
    EXPECT_TRUE(left.isEmpty()) << left.join(u'\n').toStdString();
}

}  // namespace
}  // namespace holvane
