// The window without a pointing device: the Tab chain of each page, the keys inside a grid,
// turning the pages, the marked focus and the names screen readers give the controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "Mainformunit.h"
#include "PatternImage.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"

namespace holvane {
namespace {

class KeyboardTest : public ::testing::Test, protected testing::WithApplication {
protected:
    KeyboardTest() {
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    QWidget* Focused() const { return QApplication::focusWidget(); }

    std::string NameOf(const QWidget* widget) const {
        if (widget == nullptr) {
            return "(nothing)";
        }
        if (widget == form.Controls().PageControl->tabBar()) {
            return "page tabs";
        }
        return widget->objectName().isEmpty() ? widget->metaObject()->className()
                                              : widget->objectName().toStdString();
    }

    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = Focused() != nullptr ? Focused() : &form;
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
        QCoreApplication::processEvents();
    }

    testing::ScriptedDialogs dialogs;
    TMainForm form{dialogs};
};

void Choose(QComboBox* box, int position) {
    box->setCurrentIndex(position);
    emit box->activated(position);
}

struct ChainCase {
    const char* what;
    int page;
    std::function<void(TMainForm&)> prepare;
    std::vector<std::string> chain;  // from the page tabs on
};

TEST_F(KeyboardTest, TabVisitsEveryControlOfThePageOnceAndComesBack) {
    const std::vector<ChainCase> cases = {
        {"Settings at start",
         0,
         [](TMainForm&) {},
         {"page tabs", "ModePatternImage", "ModeSettingsGrid", "ModeActionsComboBox",
          "GlobalSettingsGrid", "DownloadGlbBtn", "UploadGlbBtn", "SaveGlbBtn", "OpenGlbBtn",
          "RestoreUniversalBtn", "PrefSettingsGrid", "DownloadPrefBtn", "UploadPrefBtn",
          "RestorePrefBtn"}},
        {"Settings, a mode chosen for download",
         0,
         [](TMainForm& f) {
             Choose(f.Controls().ModeActionsComboBox, 0);
             Choose(f.Controls().DownloadModeComboBox, 0);
         },
         {"page tabs", "ModePatternImage", "ModeSettingsGrid", "ModeActionsComboBox",
          "DownloadModeComboBox", "ModeActionBtn", "GlobalSettingsGrid", "DownloadGlbBtn",
          "UploadGlbBtn", "SaveGlbBtn", "OpenGlbBtn", "RestoreUniversalBtn", "PrefSettingsGrid",
          "DownloadPrefBtn", "UploadPrefBtn", "RestorePrefBtn"}},
        {"Patterns at start",
         1,
         [](TMainForm&) {},
         {"page tabs", "PatternActionsComboBox", "GlintmapImage", "SvImage", "MyPattern1Image",
          "MyPattern2Image", "MyPattern3Image", "MyPattern4Image", "MyPattern5Image",
          "MyPattern6Image", "MyMode1PatternImage", "MyMode2PatternImage", "MyMode3PatternImage",
          "MyMode4PatternImage"}},
        {"Patterns, upload chosen",
         1,
         [](TMainForm& f) { Choose(f.Controls().PatternActionsComboBox, 1); },
         {"page tabs", "PatternActionsComboBox", "OpenPatternBtn", "GlintmapImage", "SvImage",
          "MyPattern1Image", "MyPattern2Image", "MyPattern3Image", "MyPattern4Image",
          "MyPattern5Image", "MyPattern6Image", "MyMode1PatternImage", "MyMode2PatternImage",
          "MyMode3PatternImage", "MyMode4PatternImage"}},
    };
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.what);
        form.Controls().PageControl->setCurrentIndex(c.page);
        c.prepare(form);
        QWidget* tabs = form.Controls().PageControl->tabBar();
        tabs->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        ASSERT_EQ(Focused(), tabs);

        // N Tabs visit the N stops, ending where they started.
        std::vector<std::string> forward;
        std::vector<QWidget*> stops;
        std::vector<QImage> focusedLook;
        for (std::size_t i = 0; i < c.chain.size(); ++i) {
            Press(Qt::Key_Tab);
            forward.push_back(NameOf(Focused()));
            stops.push_back(Focused());
            focusedLook.push_back(Focused()->grab().toImage());
        }
        std::vector<std::string> expected(c.chain.begin() + 1, c.chain.end());
        expected.push_back(c.chain.front());
        EXPECT_EQ(forward, expected);

        // The focused control looks different from the same control without the focus.
        for (std::size_t i = 0; i < stops.size(); ++i) {
            QWidget* other = stops[(i + 1) % stops.size()];
            other->setFocus(Qt::TabFocusReason);
            QCoreApplication::processEvents();
            EXPECT_NE(stops[i]->grab().toImage(), focusedLook[i])
                << NameOf(stops[i]) << " shows no mark of the focus";
        }

        tabs->setFocus(Qt::TabFocusReason);
        std::vector<std::string> backward;
        for (std::size_t i = 0; i < c.chain.size(); ++i) {
            Press(Qt::Key_Backtab, Qt::ShiftModifier);
            backward.insert(backward.begin(), NameOf(Focused()));
        }
        EXPECT_EQ(backward, c.chain) << "Shift+Tab goes the same way back";
    }
}

TEST_F(KeyboardTest, AGridIsOneStopWithArrowsEditsAndCancels) {
    SettingsGrid& grid = *form.Controls().ModeSettingsGrid;
    form.Controls().ModePatternImage->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Tab);
    ASSERT_EQ(Focused(), &grid);
    // Coming in by Tab marks the first value without opening an editor.
    EXPECT_EQ(grid.currentRow(), 0);
    EXPECT_EQ(grid.currentColumn(), 1);
    EXPECT_EQ(grid.findChild<QLineEdit*>(), nullptr);
    EXPECT_EQ(grid.findChild<QComboBox*>(), nullptr);

    // Arrows move between the value cells only.
    Press(Qt::Key_Left);
    EXPECT_EQ(grid.currentColumn(), 1);
    for (int i = 0; i < 4; ++i) {
        Press(Qt::Key_Down);
    }
    EXPECT_EQ(grid.currentRow(), 4);
    EXPECT_EQ(grid.findChild<QLineEdit*>(), nullptr) << "an arrow opened an editor";

    // F2 edits, Enter commits through the limits, the focus stays in the grid.
    Press(Qt::Key_F2);
    auto* line = qobject_cast<QLineEdit*>(Focused());
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->accessibleName(), "Audio Volume Gain");
    line->selectAll();
    QTest::keyClicks(line, QStringLiteral("45"));
    Press(Qt::Key_Return);
    EXPECT_EQ(grid.Text(4), "30");
    EXPECT_EQ(Focused(), &grid);

    // Typing edits at once; Escape cancels.
    Press(Qt::Key_1);
    ASSERT_NE(qobject_cast<QLineEdit*>(Focused()), nullptr);
    Press(Qt::Key_Escape);
    EXPECT_EQ(grid.Text(4), "30");
    EXPECT_EQ(Focused(), &grid);

    // A list row: F2 opens its drop-down, an arrow picks, Enter commits.
    Press(Qt::Key_Up);
    Press(Qt::Key_Up);
    Press(Qt::Key_Up);
    Press(Qt::Key_Up);
    ASSERT_EQ(grid.currentRow(), 0);
    ASSERT_EQ(grid.Text(0), "Off");
    Press(Qt::Key_F2);
    ASSERT_NE(qobject_cast<QComboBox*>(Focused()), nullptr);
    EXPECT_EQ(Focused()->accessibleName(), "Recovery Deep");
    Press(Qt::Key_Up);
    Press(Qt::Key_Return);
    EXPECT_EQ(grid.Text(0), "On");

    // Tab from an open editor commits and leaves the grid for the next control.
    Press(Qt::Key_Down);
    Press(Qt::Key_F2);
    Press(Qt::Key_Up);
    Press(Qt::Key_Tab);
    EXPECT_EQ(grid.Text(1), "On");
    EXPECT_EQ(NameOf(Focused()), "ModeActionsComboBox");
    EXPECT_TRUE(grid.selectedItems().isEmpty());
}

TEST_F(KeyboardTest, CtrlTabTurnsThePagesFromAnyControl) {
    form.Controls().ModeSettingsGrid->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form.Controls().PageControl->currentIndex(), 1);
    EXPECT_EQ(Focused(), form.Controls().PageControl->tabBar());
    Press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form.Controls().PageControl->currentIndex(), 0) << "Ctrl+Tab goes round";

    form.Controls().PrefSettingsGrid->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_F2);  // an editor open in the grid
    Press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form.Controls().PageControl->currentIndex(), 1);
    Press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form.Controls().PageControl->currentIndex(), 0);
}

TEST_F(KeyboardTest, GridsPicturesAndListsHaveNames) {
    const std::vector<std::pair<QWidget*, const char*>> named = {
        {form.Controls().ModeSettingsGrid, "Mode Settings"},
        {form.Controls().GlobalSettingsGrid, "Universal Settings"},
        {form.Controls().PrefSettingsGrid, "Preferences"},
        {form.Controls().ModePatternImage, "Mode Pattern"},
        {form.Controls().GlintmapImage, "Glintmap"},
        {form.Controls().MyPatternImages[5], "My Pattern 6"},
        {form.Controls().MyModePatternImages[0], "My Mode 1"},
        {form.Controls().ModeActionsComboBox, "I want to"},
        {form.Controls().PatternActionsComboBox, "I want to"},
        {form.Controls().DownloadModeComboBox, "Select the Mode and press 'Download'"},
        {form.Controls().UploadPatternComboBox, "2. Select the slot and press 'Upload'"},
    };
    for (const auto& [widget, name] : named) {
        EXPECT_EQ(widget->accessibleName().toStdString(), name) << NameOf(widget);
    }
    // Every one of them, none left out.
    for (QWidget* widget : form.findChildren<QWidget*>()) {
        if (qobject_cast<SettingsGrid*>(widget) != nullptr ||
            qobject_cast<PatternImage*>(widget) != nullptr ||
            (qobject_cast<QComboBox*>(widget) != nullptr &&
             qobject_cast<SettingsGrid*>(widget->parentWidget()) == nullptr)) {
            EXPECT_FALSE(widget->accessibleName().isEmpty()) << NameOf(widget);
        }
    }
}

}  // namespace
}  // namespace holvane
