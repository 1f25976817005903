#include "AboutDlg.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "Artwork.h"
#include "HeadingLabel.h"
#include "HolvaneVersion.h"

namespace holvane {

namespace {

constexpr int DialogWidth = 293;
constexpr int DialogHeight = 226;

QLabel* NoticeLabel(const QString& text, int x, int y, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    label->move(x, y);
    label->adjustSize();
    return label;
}

}  // namespace

QString VersionText() {
    return QStringLiteral("V. ") + QString::fromUtf8(HolvaneProductVersion);
}

TAboutDlg::TAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(DialogWidth, DialogHeight);
    setModal(true);

    auto* picture = new QLabel(this);
    picture->setPixmap(AboutPicture());
    picture->setGeometry(0, 12, AboutPictureWidth, AboutPictureHeight);

    VersionLabel = new HeadingLabel(QStringLiteral("VersionLabel"), this);
    VersionLabel->setObjectName(QStringLiteral("VersionLabel"));
    QFont bold = font();
    bold.setBold(true);
    bold.setPixelSize(11);
    VersionLabel->setFont(bold);
    VersionLabel->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    VersionLabel->move(116, 92);
    VersionLabel->setText(VersionText());
    VersionLabel->adjustSize();

    NoticeLabel(QStringLiteral("Copyright \u00A9 Korvane Instruments Pty Ltd."), 60, 129, this);
    NoticeLabel(QStringLiteral("All rights reserved."), 188, 143, this);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(0, 174, DialogWidth, 2);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(211, 192, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutDlg::ShowModalOver(const QWidget* window) {
    if (window != nullptr) {
        move(window->frameGeometry().center() - rect().center());
    }
    exec();
}

}  // namespace holvane
