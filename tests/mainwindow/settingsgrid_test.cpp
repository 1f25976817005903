// The three settings grids of the main window: what each row shows for a byte, the records
// built back from the rows, the limits after an edit and Restore Defaults.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "Mainformunit.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"

namespace holvane {
namespace {

class SettingsGridTest : public ::testing::Test, protected testing::WithApplication {
protected:
    testing::ScriptedDialogs dialogs;
    TMainForm form{dialogs};
};

enum class Grid { Mode, Universal, Preferences };

SettingsGrid& GridOf(TMainForm& form, Grid grid) {
    switch (grid) {
        case Grid::Mode:
            return *form.Controls().ModeSettingsGrid;
        case Grid::Universal:
            return *form.Controls().GlobalSettingsGrid;
        case Grid::Preferences:
            break;
    }
    return *form.Controls().PrefSettingsGrid;
}

// Puts one byte into the grid's record and shows the record.
void ShowByte(TMainForm& form, Grid grid, std::size_t byte, std::uint8_t value) {
    switch (grid) {
        case Grid::Mode:
            form.CurrentMode[byte] = value;
            form.ShowModeSettings(form.CurrentModeSettings());
            return;
        case Grid::Universal:
            form.UniversalSettings[byte] = value;
            form.ShowUniversalSettings(form.UniversalSettings);
            return;
        case Grid::Preferences:
            form.Preferences[byte] = value;
            form.ShowPreferences(form.Preferences);
            return;
    }
}

struct TextCase {
    Grid grid;
    int row;
    std::size_t byte;
    std::uint8_t value;
    const char* text;
};

TEST_F(SettingsGridTest, EachRowShowsTheTextOfItsByte) {
    const TextCase cases[] = {
        {Grid::Mode, 0, 17, 1, "On"},
        {Grid::Mode, 0, 17, 0, "Off"},
        {Grid::Mode, 0, 17, 2, "Off"},
        {Grid::Mode, 1, 16, 1, "On"},
        {Grid::Mode, 1, 16, 9, "Off"},
        {Grid::Mode, 2, 21, 0, "High"},
        {Grid::Mode, 2, 21, 2, "Low"},
        {Grid::Mode, 3, 19, 0, "Neutral"},
        {Grid::Mode, 3, 19, 7, "Difficult"},
        {Grid::Mode, 4, 10, 0, "0"},
        {Grid::Mode, 4, 10, 255, "255"},
        {Grid::Mode, 5, 11, 0, "Normal"},
        {Grid::Mode, 5, 11, 1, "Long"},
        {Grid::Mode, 5, 11, 2, "Smooth"},
        {Grid::Mode, 5, 11, 9, "Pitch Hold"},
        {Grid::Mode, 6, 12, 0, "1"},
        {Grid::Mode, 6, 12, 1, "2"},
        {Grid::Mode, 6, 12, 2, "4"},
        {Grid::Mode, 6, 12, 4, "Multi"},
        {Grid::Mode, 7, 13, 0, "Conduct"},
        {Grid::Mode, 7, 13, 3, "Ferrous"},
        {Grid::Mode, 8, 14, 40, "40"},
        {Grid::Mode, 9, 15, 7, "7"},
        {Grid::Universal, 0, 0, 0, "Auto"},
        {Grid::Universal, 0, 0, 5, "Manual"},
        {Grid::Universal, 1, 1, 99, "99"},
        {Grid::Universal, 2, 2, 253, "-3"},
        {Grid::Universal, 2, 2, 254, "-2"},
        {Grid::Universal, 2, 2, 255, "-1"},
        {Grid::Universal, 2, 2, 0, "A"},
        {Grid::Universal, 2, 2, 1, "1"},
        {Grid::Universal, 2, 2, 2, "2"},
        {Grid::Universal, 2, 2, 3, "3"},
        {Grid::Universal, 2, 2, 5, "A"},
        {Grid::Universal, 3, 5, 44, "44"},
        {Grid::Universal, 4, 3, 0, "0"},
        {Grid::Universal, 5, 7, 12, "12"},
        {Grid::Universal, 6, 8, 11, "11"},
        {Grid::Preferences, 0, 11, 3, "3"},
        {Grid::Preferences, 1, 0, 0, "Normal"},
        {Grid::Preferences, 1, 0, 2, "Sizing"},
        {Grid::Preferences, 2, 7, 1, "On"},
        {Grid::Preferences, 2, 7, 2, "Off"},
        {Grid::Preferences, 3, 9, 1, "On"},
        {Grid::Preferences, 3, 9, 0, "Off"},
        {Grid::Preferences, 4, 8, 1, "On"},
        {Grid::Preferences, 4, 8, 3, "Off"},
    };
    for (const TextCase& c : cases) {
        ShowByte(form, c.grid, c.byte, c.value);
        EXPECT_EQ(GridOf(form, c.grid).Text(c.row), c.text)
            << "row " << c.row << ", byte value " << int(c.value);
    }
}

TEST_F(SettingsGridTest, ModeSettingsForAFileAfterStartUp) {
    form.CurrentMode[22] = 7;
    form.CurrentMode[23] = 8;
    form.CurrentMode[ModePatternOffset] = 0x55;
    ASSERT_TRUE(form.ReadModeSettingsFromGrid(form.CurrentModeSettings(), CurrentModeSlot));
    const ModeRecord& mode = form.CurrentMode;
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(mode[i], 0) << "byte " << i;
    }
    EXPECT_EQ(std::vector<int>(mode.begin() + 10, mode.begin() + 22),
              (std::vector<int>{24, 0, 3, 0, 25, 30, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(mode[22], 7);
    EXPECT_EQ(mode[23], 8);
    EXPECT_EQ(mode[24], 8);
    EXPECT_EQ(mode[25], 1);
    EXPECT_EQ(mode[ModePatternOffset], 0x55);  // the pattern is not the grid's
}

TEST_F(SettingsGridTest, DownloadedModeGoesBackInTheEncodingOfItsTexts) {
    ModeRecord downloaded{};
    downloaded.fill(0xEE);
    downloaded[17] = 2;  // RecoveryDeep: shows Off
    downloaded[11] = 9;  // AudioResponse: shows Pitch Hold
    downloaded[21] = 2;  // TrashDensityLow: shows Low
    downloaded[10] = 0;  // AudioVolumeGain: shows 0, no limit applied
    downloaded[12] = 1;  // AudioTones "2"
    downloaded[19] = 5;  // Difficult
    form.CurrentMode = downloaded;
    form.ShowModeSettings(form.CurrentModeSettings());
    ASSERT_TRUE(form.ReadModeSettingsFromGrid(form.CurrentModeSettings(), 5));
    const ModeRecord& mode = form.CurrentMode;
    EXPECT_EQ(mode[17], 0);
    EXPECT_EQ(mode[11], 3);
    EXPECT_EQ(mode[21], 1);
    EXPECT_EQ(mode[10], 0);
    EXPECT_EQ(mode[12], 1);
    EXPECT_EQ(mode[19], 1);
    EXPECT_EQ(mode[13], 1);  // 0xEE: Ferrous
    EXPECT_EQ(mode[16], 0);
    EXPECT_EQ(mode[18], 0);
    EXPECT_EQ(mode[20], 0);
    EXPECT_EQ(mode[22], 0xEE);
    EXPECT_EQ(mode[24], 5);
    EXPECT_EQ(mode[25], 1);
}

TEST_F(SettingsGridTest, UniversalSettingsAfterStartUpGetTheFillBytes) {
    form.UniversalSettings[13] = 0x41;
    form.UniversalSettings[17] = 0x42;
    ASSERT_TRUE(form.ReadUniversalSettingsFromGrid(form.UniversalSettings));
    UniversalSettingsRecord expected = {0x00, 0x16, 0x00, 0x1E, 0x1E, 0x1E, 0x1E, 0x0F, 0x06,
                                        0x00, 0x01, 0x01, 0x00, 0x41, 0x00, 0x00, 0x01, 0x42};
    EXPECT_EQ(form.UniversalSettings, expected);
}

TEST_F(SettingsGridTest, LoadedUniversalSettingsKeepTheirHiddenBytes) {
    UniversalSettingsRecord downloaded;
    downloaded.fill(0x07);
    downloaded[2] = 5;  // shows "A", goes back as 0
    form.UniversalSettings = downloaded;
    form.UniversalLoaded = true;
    form.ShowUniversalSettings(form.UniversalSettings);
    ASSERT_TRUE(form.ReadUniversalSettingsFromGrid(form.UniversalSettings));
    for (std::size_t hidden : {4u, 6u, 9u, 10u, 11u, 12u, 13u, 14u, 15u, 17u}) {
        EXPECT_EQ(form.UniversalSettings[hidden], 0x07) << "byte " << hidden;
    }
    EXPECT_EQ(form.UniversalSettings[2], 0);
    EXPECT_EQ(form.UniversalSettings[16], 1);

    form.Controls().GlobalSettingsGrid->CommitEdit(2, "-3");
    ASSERT_TRUE(form.ReadUniversalSettingsFromGrid(form.UniversalSettings));
    EXPECT_EQ(form.UniversalSettings[2], 253);
}

TEST_F(SettingsGridTest, PreferencesFillTheirHiddenBytesOnlyUntilLoaded) {
    form.Preferences.fill(0x09);
    form.ShowPreferences(form.Preferences);  // every switch Off, Sizing, contrast 9
    PreferencesRecord built = form.Preferences;
    ASSERT_TRUE(form.ReadPreferencesFromGrid(built));
    EXPECT_EQ(built, (PreferencesRecord{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 9, 9, 1, 9}));

    form.PreferencesLoaded = true;
    built = form.Preferences;
    ASSERT_TRUE(form.ReadPreferencesFromGrid(built));
    EXPECT_EQ(built, (PreferencesRecord{1, 9, 9, 9, 9, 9, 9, 0, 0, 0, 9, 9, 9, 9, 1, 9}));
}

struct LimitCase {
    Grid grid;
    int row;
    const char* typed;
    const char* kept;
};

TEST_F(SettingsGridTest, IntegerRowsKeepTheirLimitsAfterAnEdit) {
    const LimitCase cases[] = {
        {Grid::Mode, 4, "45", "30"},
        {Grid::Mode, 4, "0", "1"},
        {Grid::Mode, 4, "17", "17"},
        {Grid::Mode, 8, "-5", "1"},
        {Grid::Mode, 9, "31", "30"},
        {Grid::Universal, 1, "0", "1"},
        {Grid::Universal, 3, "60", "50"},
        {Grid::Universal, 3, "50", "50"},
        {Grid::Universal, 4, "0", "0"},
        {Grid::Universal, 4, "31", "30"},
        {Grid::Universal, 5, "0", "1"},
        {Grid::Universal, 6, "12", "11"},
        {Grid::Preferences, 0, "300", "30"},
        {Grid::Preferences, 0, "0", "1"},
        // The row shows the number the record will hold.
        {Grid::Mode, 4, "007", "7"},
        {Grid::Universal, 4, "-0", "0"},
        {Grid::Preferences, 0, " 012 ", "12"},
    };
    for (const LimitCase& c : cases) {
        SettingsGrid& grid = GridOf(form, c.grid);
        grid.CommitEdit(c.row, c.typed);
        EXPECT_EQ(grid.Text(c.row), c.kept) << "row " << c.row << " typed " << c.typed;
    }
    // The records are not touched by edits.
    UniversalSettingsRecord defaults{};
    DefaultUniversalSettings(defaults);
    EXPECT_EQ(form.UniversalSettings, defaults);
}

TEST_F(SettingsGridTest, AnIntegerRowRefusesWhatIsNoNumber) {
    form.Controls().ModeSettingsGrid->CommitEdit(4, "loud");
    form.Controls().ModeSettingsGrid->CommitEdit(4, "");
    EXPECT_EQ(form.Controls().ModeSettingsGrid->Text(4), "24");
    form.Controls().ModeSettingsGrid->CommitEdit(0, "Maybe");
    EXPECT_EQ(form.Controls().ModeSettingsGrid->Text(0), "Off");
}

TEST_F(SettingsGridTest, TheGridsEditorsCommitThroughTheLimits) {
    form.show();
    SettingsGrid& grid = *form.Controls().ModeSettingsGrid;
    // Moving to a value cell opens its editor.
    grid.setCurrentCell(4, 1);
    auto* line = grid.findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr);
    line->setText("45");
    QTest::keyClick(line, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(grid.Text(4), "30");

    grid.setCurrentCell(5, 1);
    auto* box = grid.findChild<QComboBox*>();
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->count(), 4);
    EXPECT_EQ(box->currentText(), "Normal");
    box->setCurrentIndex(3);
    emit box->activated(3);
    EXPECT_EQ(grid.Text(5), "Pitch Hold");
}

TEST_F(SettingsGridTest, RestoreDefaultsPutsTheDefaultsBackAndKeepsTheFlags) {
    UniversalSettingsRecord downloaded;
    downloaded.fill(0x11);
    form.UniversalSettings = downloaded;
    form.UniversalLoaded = true;
    form.ShowUniversalSettings(form.UniversalSettings);
    form.Controls().GlobalSettingsGrid->CommitEdit(6, "3");
    form.Controls().RestoreUniversalBtn->click();
    EXPECT_TRUE(form.UniversalLoaded);
    EXPECT_EQ(form.Controls().GlobalSettingsGrid->Texts(),
              (RowTexts{"Auto", "22", "A", "30", "30", "15", "6"}));
    // An upload then sends the defaults of the hidden bytes, byte 10 as 0.
    ASSERT_TRUE(form.ReadUniversalSettingsFromGrid(form.UniversalSettings));
    EXPECT_EQ(form.UniversalSettings,
              (UniversalSettingsRecord{0x00, 0x16, 0x00, 0x1E, 0x1E, 0x1E, 0x1E, 0x0F, 0x06, 0x00,
                                       0x00, 0x01, 0x00, 0x11, 0x11, 0x11, 0x01, 0x11}));

    form.Preferences.fill(0x02);
    form.ShowPreferences(form.Preferences);
    form.Controls().RestorePrefBtn->click();
    EXPECT_FALSE(form.PreferencesLoaded);
    EXPECT_EQ(form.Controls().PrefSettingsGrid->Texts(),
              (RowTexts{"15", "Normal", "On", "Off", "Off"}));
    EXPECT_EQ(form.Preferences,
              (PreferencesRecord{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 15, 2, 2, 2, 2}));

    EXPECT_EQ(form.Controls().RestoreUniversalBtn->text(), "Restore Defaults");
    EXPECT_EQ(form.Controls().RestoreUniversalBtn->toolTip(), "Restore Default Universal Settings");
    EXPECT_EQ(form.Controls().RestorePrefBtn->toolTip(), "Restore Default Preferences");
}

}  // namespace
}  // namespace holvane
