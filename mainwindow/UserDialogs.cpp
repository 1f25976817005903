#include "UserDialogs.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QSettings>
#include <QSplitter>
#include <QStringList>
#include <QStyle>
#include <QTreeView>
#include <algorithm>

namespace holvane {

void SetUpSaveDialog(FileDialog& dialog, FileKind kind) {
    const FileKindInfo& info = FileKindOf(kind);
    dialog.filter = std::string(info.filter);
    dialog.title = std::string(info.saveTitle);
}

void SetUpOpenDialog(FileDialog& dialog, FileKind kind) {
    const FileKindInfo& info = FileKindOf(kind);
    dialog.filter = std::string(info.filter);
    dialog.title = std::string(info.openTitle);
}

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Qt's file dialog keeps its folder history, last folder and view in a settings file of the
// user and reads it back in the next run. The program keeps no state between runs and reads no
// configuration, so the settings files of both scopes are sent to a folder that can never exist
// (a path through a device file): nothing is read from there and every write fails quietly. The
// program itself uses no settings file, so nothing else is affected.
void KeepNoSettingsFiles() {
    static const bool done = [] {
        const QString nowhere = QStringLiteral("/dev/null/holvane");
        for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(format, QSettings::UserScope, nowhere);
            QSettings::setPath(format, QSettings::SystemScope, nowhere);
        }
        return true;
    }();
    static_cast<void>(done);
}

// Names the kind of a file and picks its icon from the name and the kind of entry alone. The
// provider of Qt looks into a file's contents to tell its type, on the thread of the window,
// and a file such as /proc/kmsg never ends: the window would hang while the user typed its
// path. The icons are made once, here on the window's thread, since the dialog's model also
// asks from a thread of its own.
class NameOnlyIconProvider final : public QFileIconProvider {
public:
    NameOnlyIconProvider()
        : folder_(QFileIconProvider::icon(Folder)),
          file_(QFileIconProvider::icon(File)),
          drive_(QFileIconProvider::icon(Drive)) {
        setOptions(DontUseCustomDirectoryIcons);
    }

    QIcon icon(IconType type) const override {
        switch (type) {
            case Folder:
                return folder_;
            case Drive:
                return drive_;
            default:
                return file_;
        }
    }

    QIcon icon(const QFileInfo& info) const override {
        if (info.isRoot()) {
            return drive_;
        }
        return info.isDir() ? folder_ : file_;
    }

    QString type(const QFileInfo& info) const override {
        if (info.isDir()) {
            return QStringLiteral("Folder");
        }
        const QList<QMimeType> byName = QMimeDatabase().mimeTypesForFileName(info.fileName());
        if (!byName.isEmpty() && !byName.constFirst().comment().isEmpty()) {
            return byName.constFirst().comment();
        }
        return QStringLiteral("File");
    }

private:
    QIcon folder_;
    QIcon file_;
    QIcon drive_;
};

// Qt's dialog opens as narrow as its controls allow, cutting its size, type and date columns
// and its side bar of places. The side bar is made as wide as its longest place, the columns
// but the name take the width of what they show, and the dialog opens wide enough for them and
// a name column of some room.
void ShowColumnsWhole(QFileDialog& box) {
    constexpr int NameRoom = 240;
    constexpr int Padding = 32;
    const QFontMetrics metrics(box.font());
    int sidebarWidth = 0;
    auto* sidebar = box.findChild<QListView*>(QStringLiteral("sidebar"));
    if (sidebar != nullptr && sidebar->model() != nullptr) {
        for (int row = 0; row < sidebar->model()->rowCount(); ++row) {
            const QString place = sidebar->model()->index(row, 0).data().toString();
            sidebarWidth = std::max(sidebarWidth, metrics.horizontalAdvance(place));
        }
        sidebarWidth = std::max(sidebarWidth + sidebar->iconSize().width() + Padding,
                                sidebar->sizeHintForColumn(0) + 2 * sidebar->frameWidth() +
                                    sidebar->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        sidebar->setMinimumWidth(sidebarWidth);
    }
    int columnsWidth = 0;
    if (auto* files = box.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = files->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < header->count(); ++column) {
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
        }
        // What the columns show at most: a size, a kind, a date and time.
        for (const QString& sample :
             {QStringLiteral("1023.9 KiB"), QStringLiteral("Vantor Settings File"),
              QLocale().toString(QDateTime(QDate(2026, 12, 31), QTime(23, 59)),
                                 QLocale::ShortFormat)}) {
            columnsWidth += metrics.horizontalAdvance(sample) + Padding;
        }
    }
    const int width = sidebarWidth + NameRoom + columnsWidth + 2 * Padding;
    box.resize(std::max(box.sizeHint().width(), width), std::max(box.sizeHint().height(), 420));
    if (auto* splitter = box.findChild<QSplitter*>(QStringLiteral("splitter"))) {
        splitter->setSizes({sidebarWidth, width - sidebarWidth});
    }
}

bool RunFileDialog(QWidget* owner, FileDialog& dialog, QFileDialog::AcceptMode mode) {
    KeepNoSettingsFiles();
    // Declared first: the dialog uses it until it is gone.
    NameOnlyIconProvider icons;
    QFileDialog box(owner, FromUtf8(dialog.title));
    // Qt's own dialog: a desktop's dialog would keep its own history of the user's files.
    box.setOption(QFileDialog::DontUseNativeDialog, true);
    box.setIconProvider(&icons);
    box.setAcceptMode(mode);
    // The open dialog takes any name, even of a file that does not exist; the action that
    // runs it then reports the file it cannot open.
    box.setFileMode(QFileDialog::AnyFile);
    box.setOption(QFileDialog::DontConfirmOverwrite, true);
    box.setNameFilter(QtFilter(dialog.filter));
    if (!dialog.fileName.empty()) {
        const QFileInfo last(FromUtf8(dialog.fileName));
        box.setDirectory(last.absolutePath());
        box.selectFile(last.fileName());
    }
    ShowColumnsWhole(box);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) {
        return false;
    }
    dialog.fileName = box.selectedFiles().constFirst().toStdString();
    return true;
}

}  // namespace

QString ShownText(std::string_view text) {
    QString shown = FromUtf8(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

QString QtFilter(std::string_view filter) {
    const QStringList parts = FromUtf8(filter).split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString& mask = parts[i + 1];
        entries << (description.contains(u'(')
                        ? description
                        : description + QStringLiteral(" (") + mask + QStringLiteral(")"));
    }
    return entries.join(QStringLiteral(";;"));
}

MessageAnswer QtUserDialogs::ShowMessage(QWidget* owner, MessageKind kind, std::string_view text) {
    const bool warning = kind == MessageKind::Warning;
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Critical,
                    warning ? QStringLiteral("Warning") : QStringLiteral("Error"), ShownText(text),
                    warning ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, owner);
    if (warning) {
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
    }
    return box.exec() == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

bool QtUserDialogs::RunOpenDialog(QWidget* owner, FileDialog& dialog) {
    return RunFileDialog(owner, dialog, QFileDialog::AcceptOpen);
}

bool QtUserDialogs::RunSaveDialog(QWidget* owner, FileDialog& dialog) {
    return RunFileDialog(owner, dialog, QFileDialog::AcceptSave);
}

void QtUserDialogs::OpenWithSystem(const QUrl& target) {
    QDesktopServices::openUrl(target);
}

}  // namespace holvane
