// User dialogs that answer from a script and record what the window asked: every message box
// with its kind and exact text, every file dialog as it stood when it was run, every link or
// document handed to the system.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "UserDialogs.h"

namespace holvane::testing {

struct AskedMessage {
    MessageKind kind;
    std::string text;
    bool operator==(const AskedMessage&) const = default;
};

enum class FileDialogKind { Open, Save };

struct AskedFileDialog {
    bool save;
    FileDialog asked;  // filter, title and the file name offered
};

class ScriptedDialogs final : public UserDialogs {
public:
    // Answers of the message boxes, in turn. With none left an error box answers OK (its only
    // button) and a warning box Cancel.
    std::deque<MessageAnswer> messageAnswers;
    // Answers of the file dialogs, in turn: a chosen name, or nothing for Cancel. With none
    // left a dialog is cancelled.
    std::deque<std::optional<std::string>> fileAnswers;

    std::vector<AskedMessage> messages;
    std::vector<AskedFileDialog> fileDialogs;
    std::vector<QUrl> opened;

    MessageAnswer ShowMessage(QWidget*, MessageKind kind, std::string_view text) override {
        messages.push_back({kind, std::string(text)});
        if (messageAnswers.empty()) {
            return kind == MessageKind::Error ? MessageAnswer::Ok : MessageAnswer::Cancel;
        }
        const MessageAnswer answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    bool RunOpenDialog(QWidget*, FileDialog& dialog) override {
        return Run(FileDialogKind::Open, dialog);
    }
    bool RunSaveDialog(QWidget*, FileDialog& dialog) override {
        return Run(FileDialogKind::Save, dialog);
    }
    void OpenWithSystem(const QUrl& target) override { opened.push_back(target); }

private:
    bool Run(FileDialogKind kind, FileDialog& dialog) {
        fileDialogs.push_back({kind == FileDialogKind::Save, dialog});
        if (fileAnswers.empty()) {
            return false;
        }
        const std::optional<std::string> answer = fileAnswers.front();
        fileAnswers.pop_front();
        if (!answer) {
            return false;
        }
        dialog.fileName = *answer;
        return true;
    }
};

}  // namespace holvane::testing
