#include "UserDialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QSettings>
#include <QStringList>

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
