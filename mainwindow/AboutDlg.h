// The About dialog: the program's picture with its version and the maker's notice over it, and
// an OK button. It is built once, hidden, at start-up and keeps its version text from then on.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace holvane {

class TAboutDlg final : public QDialog {
    Q_OBJECT

public:
    explicit TAboutDlg(QWidget* parent = nullptr);

    // Centres the dialog over the window and shows it modally until it is closed.
    void ShowModalOver(const QWidget* window);

    QLabel* VersionLabel;
    QPushButton* OKBtn;
};

// "V. " followed by the program's product version.
QString VersionText();

}  // namespace holvane
