#include "UserDialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
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

bool RunFileDialog(QWidget* owner, FileDialog& dialog, QFileDialog::AcceptMode mode) {
    QFileDialog box(owner, FromUtf8(dialog.title));
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
