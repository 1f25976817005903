// The Qt side of the user dialogs: message boxes with their captions, icons and buttons, the
// file dialogs with their filter, title and the name offered again.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QListView>
#include <QMessageBox>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <vector>

#include "QtTestApp.h"
#include "UserDialogs.h"

namespace holvane {
namespace {

// Runs the check on the modal dialog once it is up, then lets the check close it.
template <typename Dialog>
void WhenShown(std::function<void(Dialog&)> check) {
    QTimer::singleShot(0, [check] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        check(*dialog);
    });
}

TEST(UserDialogsTest, TextsAndFiltersAsQtShowsThem) {
    EXPECT_EQ(ShownText("Could not connect to the Vantor.\r\nCheck the connection and try again."),
              "Could not connect to the Vantor.\nCheck the connection and try again.");
    EXPECT_EQ(ShownText("Could not open the file.\r\n"), "Could not open the file.\n");
    EXPECT_EQ(QtFilter("Vantor pattern files (*.ptrn)|*.ptrn|Vantor mode files (*.mode)|*.mode"),
              "Vantor pattern files (*.ptrn);;Vantor mode files (*.mode)");
    EXPECT_EQ(QtFilter("Backups|*.vantor"), "Backups (*.vantor)");
}

TEST(UserDialogsTest, ErrorBoxHasOneOkButton) {
    testing::TestApplication();
    QtUserDialogs dialogs;
    WhenShown<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "Error");
        EXPECT_EQ(box.icon(), QMessageBox::Critical);
        EXPECT_EQ(box.text(), "Could not read the file.\n");
        EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
        box.button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(dialogs.ShowMessage(nullptr, MessageKind::Error, "Could not read the file.\r\n"),
              MessageAnswer::Ok);
}

TEST(UserDialogsTest, WarningBoxProceedsOnlyOnOk) {
    testing::TestApplication();
    QtUserDialogs dialogs;
    const auto ask = [&] {
        return dialogs.ShowMessage(nullptr, MessageKind::Warning, "Do you wish to proceed?");
    };
    WhenShown<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "Warning");
        EXPECT_EQ(box.icon(), QMessageBox::Warning);
        EXPECT_EQ(box.standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
        box.button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(ask(), MessageAnswer::Ok);
    WhenShown<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::Cancel)->click(); });
    EXPECT_EQ(ask(), MessageAnswer::Cancel);
    // Closing the box counts as Cancel.
    WhenShown<QMessageBox>([](QMessageBox& box) { box.close(); });
    EXPECT_EQ(ask(), MessageAnswer::Cancel);
}

TEST(UserDialogsTest, FileDialogShowsItsSetUpAndOffersTheLastNameAgain) {
    testing::TestApplication();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QtUserDialogs dialogs;
    FileDialog save{"Vantor pattern files (*.ptrn)|*.ptrn", "Save Pattern", ""};
    const QString chosen = folder.filePath("spring.ptrn");

    WhenShown<QFileDialog>([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Save Pattern");
        EXPECT_EQ(dialog.nameFilters(), QStringList{"Vantor pattern files (*.ptrn)"});
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
        dialog.selectFile(chosen);
        static_cast<QDialog&>(dialog).accept();
    });
    ASSERT_TRUE(dialogs.RunSaveDialog(nullptr, save));
    EXPECT_EQ(save.fileName, chosen.toStdString());

    // The next use offers the same name; cancelling keeps it.
    WhenShown<QFileDialog>([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.selectedFiles(), QStringList{chosen});
        dialog.reject();
    });
    EXPECT_FALSE(dialogs.RunSaveDialog(nullptr, save));
    EXPECT_EQ(save.fileName, chosen.toStdString());

    // The open dialog takes the name of a file that does not exist.
    FileDialog open{"Vantor mode files (*.mode)|*.mode", "Open Mode", ""};
    const QString missing = folder.filePath("missing.mode");
    WhenShown<QFileDialog>([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
        dialog.selectFile(missing);
        static_cast<QDialog&>(dialog).accept();
    });
    ASSERT_TRUE(dialogs.RunOpenDialog(nullptr, open));
    EXPECT_EQ(open.fileName, missing.toStdString());
}

TEST(UserDialogsTest, FileDialogTellsAFilesKindWithoutReadingIt) {
    testing::TestApplication();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // Files whose contents would tell their kind; a provider that reads them would also read
    // a file that never ends, and hang the window.
    struct Case {
        const char* name;
        QByteArray contents;
    };
    const std::vector<Case> cases = {
        {"notes", QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")},
        {"picture", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
        {"script", QByteArray("#!/bin/sh\necho\n")},
    };
    for (const Case& c : cases) {
        QFile file(folder.filePath(QString::fromUtf8(c.name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.contents);
    }
    QtUserDialogs dialogs;
    FileDialog open{"Vantor mode files (*.mode)|*.mode", "Open Mode",
                    folder.filePath("spring.mode").toStdString()};
    WhenShown<QFileDialog>([&](QFileDialog& dialog) {
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
        QAbstractFileIconProvider* icons = dialog.iconProvider();
        ASSERT_NE(icons, nullptr);
        for (const Case& c : cases) {
            const QFileInfo info(folder.filePath(QString::fromUtf8(c.name)));
            EXPECT_EQ(icons->type(info).toStdString(), "File") << c.name;
        }
        EXPECT_EQ(icons->type(QFileInfo(folder.path())).toStdString(), "Folder");
        dialog.reject();
    });
    EXPECT_FALSE(dialogs.RunOpenDialog(nullptr, open));
}

TEST(UserDialogsTest, FileDialogShowsItsColumnsAndPlacesWhole) {
    testing::TestApplication();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    {
        QFile file(folder.filePath(QStringLiteral("spring.mode")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(274, 'x'));
    }
    QtUserDialogs dialogs;
    for (const bool save : {false, true}) {
        FileDialog asked{"Vantor mode files (*.mode)|*.mode", "Mode",
                         folder.filePath("spring.mode").toStdString()};
        WhenShown<QFileDialog>([&](QFileDialog& dialog) {
            auto* files = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
            auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
            ASSERT_NE(files, nullptr);
            ASSERT_NE(sidebar, nullptr);
            // The folder is listed once the dialog's model has read it.
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return files->model()->rowCount(files->rootIndex()) > 0; }));
            QCoreApplication::processEvents();
            QStyleOptionViewItem option;
            option.initFrom(files);
            option.font = files->font();
            option.decorationSize = files->iconSize();
            for (int column = 1; column < files->header()->count(); ++column) {
                int needed = files->header()->sectionSizeHint(column);
                std::string shown;
                for (int row = 0; row < files->model()->rowCount(files->rootIndex()); ++row) {
                    const QModelIndex index =
                        files->model()->index(row, column, files->rootIndex());
                    needed =
                        std::max(needed, files->itemDelegate()->sizeHint(option, index).width());
                    shown += index.data().toString().toStdString() + " ";
                }
                EXPECT_GE(files->columnWidth(column), needed)
                    << "column " << column << ": " << shown;
            }
            EXPECT_GE(files->columnWidth(0), 120) << "the name column";
            EXPECT_LE(files->header()->length(), files->viewport()->width());
            EXPECT_LE(sidebar->sizeHintForColumn(0), sidebar->viewport()->width())
                << "the side bar";
            dialog.reject();
        });
        EXPECT_FALSE(save ? dialogs.RunSaveDialog(nullptr, asked)
                          : dialogs.RunOpenDialog(nullptr, asked));
    }
}

}  // namespace
}  // namespace holvane
