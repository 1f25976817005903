// Everything the main window asks of the user through a dialog of the desktop: modal message
// boxes, the open and save file dialogs, and handing a link or a document to the system. The
// program answers with the Qt implementation; a test puts in one that answers from a script and
// records what was asked.
#pragma once

#include <QString>
#include <QUrl>
#include <string>
#include <string_view>

#include "Fileio.h"

class QWidget;

namespace holvane {

// An error box: caption "Error", error icon, one OK button. A warning box: caption "Warning",
// warning icon, OK and Cancel; Escape and the close box answer Cancel.
enum class MessageKind { Error, Warning };
enum class MessageAnswer { Ok, Cancel };

// One of the window's shared file dialogs. It keeps its filter, title and file name between
// uses: whoever runs it sets what it needs, and the name chosen last is offered again next time.
// The filter is a list of description|mask pairs, e.g. "Vantor mode files (*.mode)|*.mode".
struct FileDialog {
    std::string filter;
    std::string title;
    std::string fileName;
};

// Gives a shared dialog the filter and the save or open title of a settings-file kind; the file
// name chosen last stays.
void SetUpSaveDialog(FileDialog& dialog, FileKind kind);
void SetUpOpenDialog(FileDialog& dialog, FileKind kind);

class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // Shows a modal message box and answers the button that closed it. The text keeps its
    // exact characters; a "\r\n" in it is a line break on the screen.
    virtual MessageAnswer ShowMessage(QWidget* owner, MessageKind kind, std::string_view text) = 0;
    // Run the dialog. On a choice they put the chosen name into dialog.fileName and answer
    // true; on cancel they answer false and leave the dialog as it was. The open dialog accepts
    // the name of a file that does not exist; the save dialog does not ask before replacing one.
    virtual bool RunOpenDialog(QWidget* owner, FileDialog& dialog) = 0;
    virtual bool RunSaveDialog(QWidget* owner, FileDialog& dialog) = 0;
    // Hands a web address, a mailto: link or a document to the system's default program. What
    // the system does with it is not reported.
    virtual void OpenWithSystem(const QUrl& target) = 0;
};

// The dialogs of the desktop: QMessageBox, QFileDialog, QDesktopServices. The file dialogs are
// Qt's own; they keep nothing in a settings file, and tell a file's kind by its name, never by
// reading it, so no file can hold up the window while the user browses.
class QtUserDialogs final : public UserDialogs {
public:
    MessageAnswer ShowMessage(QWidget* owner, MessageKind kind, std::string_view text) override;
    bool RunOpenDialog(QWidget* owner, FileDialog& dialog) override;
    bool RunSaveDialog(QWidget* owner, FileDialog& dialog) override;
    void OpenWithSystem(const QUrl& target) override;
};

// A text as the screen shows it: "\r\n" becomes one line break.
QString ShownText(std::string_view text);

// A dialog filter in Qt's form: "description|mask|description|mask" becomes
// "description;;description", each description carrying its mask in brackets.
QString QtFilter(std::string_view filter);

}  // namespace holvane
