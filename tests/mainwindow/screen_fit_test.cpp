// The window on screens of several sizes and scale factors: whole on a screen that has room for
// it, and otherwise with its title bar on the screen and every control reachable by scrolling.
// The scale factor is settled when the application starts, so each case runs this program
// again in a process of its own, with the screen and factor of the case.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <string>
#include <vector>

#include "Mainformunit.h"
#include "PatternImage.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"

namespace holvane {
namespace {

constexpr char CaseVariable[] = "HOLVANE_SCREEN_CASE";

struct ScreenCase {
    const char* factor;
    int width;
    int height;
    bool fits;  // whether the whole window fits the screen's available area
};

TEST(ScreenFitTest, TheWindowFitsOrScrollsAtEveryScale) {
    testing::TestApplication();
    const ScreenCase cases[] = {
        {"1", 1280, 1024, true},   {"1.25", 1280, 1024, true}, {"1.5", 1280, 1024, false},
        {"2", 1280, 1024, false},  {"1", 2560, 1600, true},    {"1.25", 2560, 1600, true},
        {"1.5", 2560, 1600, true}, {"2", 2560, 1600, true},
    };
    for (const ScreenCase& c : cases) {
        const std::string what =
            std::to_string(c.width) + "x" + std::to_string(c.height) + " at scale " + c.factor;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromUtf8(c.factor));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                           QString::fromUtf8(testing::OffscreenPlatform(c.width, c.height)));
        environment.insert(QString::fromUtf8(CaseVariable),
                           c.fits ? QStringLiteral("fits") : QStringLiteral("scrolls"));
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=ScreenFitCase.*:WindowLookTest."
                                    "EveryTextFitsItsControl")});
        ASSERT_TRUE(child.waitForFinished(120000)) << what;
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << what;
        EXPECT_EQ(child.exitCode(), 0) << what << "\n" << child.readAll().toStdString();
    }
}

// The part of a case that runs in the process of its own.
TEST(ScreenFitCase, OnTheScreenWithEveryControlReachable) {
    const QByteArray expectation = qgetenv(CaseVariable);
    if (expectation.isEmpty()) {
        GTEST_SKIP() << "a case of ScreenFitTest, run in a process of its own";
    }
    testing::TestApplication();
    testing::ScriptedDialogs dialogs;
    TMainForm form{dialogs};
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QRect available = form.screen()->availableGeometry();
    auto* view = form.findChild<QScrollArea*>(QStringLiteral("PageView"));
    ASSERT_NE(view, nullptr);

    // The title bar is on the screen, and so is the whole window where it has room.
    EXPECT_TRUE(available.contains(form.frameGeometry()))
        << "window " << form.frameGeometry().x() << "," << form.frameGeometry().y() << " "
        << form.frameGeometry().width() << "x" << form.frameGeometry().height() << " on "
        << available.width() << "x" << available.height();
    const bool scrolls =
        view->verticalScrollBar()->maximum() > 0 || view->horizontalScrollBar()->maximum() > 0;
    if (expectation == "fits") {
        EXPECT_FALSE(scrolls);
        EXPECT_EQ(view->size(), QSize(480, 651));
    } else {
        EXPECT_TRUE(scrolls);
    }

    // Every control of both pages can be scrolled wholly into view.
    for (QWidget* page : {form.Controls().SettingsTabSheet, form.Controls().PatternsTabSheet}) {
        form.Controls().PageControl->setCurrentWidget(page);
        std::vector<QWidget*> controls;
        for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QPushButton*>(child) != nullptr ||
                qobject_cast<QComboBox*>(child) != nullptr ||
                qobject_cast<SettingsGrid*>(child) != nullptr ||
                qobject_cast<PatternImage*>(child) != nullptr) {
                child->show();
                controls.push_back(child);
            }
        }
        controls.push_back(form.Controls().PageControl->tabBar());
        QCoreApplication::processEvents();
        for (QWidget* control : controls) {
            view->ensureWidgetVisible(control, 0, 0);
            const QRect shown(control->mapTo(view->viewport(), QPoint(0, 0)), control->size());
            EXPECT_TRUE(view->viewport()->rect().contains(shown))
                << control->objectName().toStdString() << " cannot be brought into view";
        }
    }
}

}  // namespace
}  // namespace holvane
