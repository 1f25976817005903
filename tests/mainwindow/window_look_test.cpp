// The window as it is drawn: the ink of its labels, texts whole within their controls, the
// panels inside their pages, and grids that neither scroll nor keep a stale highlight.
#include <gtest/gtest.h>

#include <QAbstractItemDelegate>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "Mainformunit.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"
#include "WindowStyle.h"

namespace holvane {
namespace {

class WindowLookTest : public ::testing::Test, protected testing::WithApplication {
protected:
    WindowLookTest() {
        form.show();
        QCoreApplication::processEvents();
    }

    testing::ScriptedDialogs dialogs;
    TMainForm form{dialogs};
};

QLabel* LabelWithText(QWidget* page, const QString& text) {
    for (QLabel* label : page->findChildren<QLabel*>()) {
        if (label->text() == text) {
            return label;
        }
    }
    return nullptr;
}

int Distance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
           std::abs(qBlue(a) - qBlue(b));
}

// The ink of a rendered widget: the pixel farthest from the colour most of the picture has.
QColor InkOf(const QImage& picture) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            ++counts[picture.pixel(x, y)];
        }
    }
    QRgb background = 0;
    int most = 0;
    for (const auto& [colour, count] : counts) {
        if (count > most) {
            background = colour;
            most = count;
        }
    }
    QRgb ink = background;
    for (const auto& [colour, count] : counts) {
        if (Distance(colour, background) > Distance(ink, background)) {
            ink = colour;
        }
    }
    return QColor(ink);
}

::testing::AssertionResult CloseTo(const QColor& ink, const QColor& expected) {
    // A stem that covers its pixels whole shows the colour itself; some room is left for a
    // face whose thin stems are all anti-aliased. A label in another role's ink is far off.
    constexpr int Tolerance = 12;
    if (std::abs(ink.red() - expected.red()) <= Tolerance &&
        std::abs(ink.green() - expected.green()) <= Tolerance &&
        std::abs(ink.blue() - expected.blue()) <= Tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "ink (" << ink.red() << ", " << ink.green() << ", " << ink.blue() << ")";
}

TEST_F(WindowLookTest, LabelsAreDrawnInTheirColours) {
    const QColor settingsHeading(49, 101, 206);
    const QColor patternsHeading(49, 102, 206);
    const QColor pictureCaption(123, 158, 189);
    const QColor guidance(128, 128, 128);
    struct Case {
        QWidget* page;
        const char* text;
        QColor colour;
    };
    QWidget* const settings = form.Controls().SettingsTabSheet;
    QWidget* const patterns = form.Controls().PatternsTabSheet;
    const std::vector<Case> cases = {
        {settings, "Mode Settings:", settingsHeading},
        {settings, "Universal Settings:", settingsHeading},
        {settings, "Preferences:", settingsHeading},
        {settings, "I want to:", guidance},
        {settings, "Select the slot and\npress 'Upload'", guidance},
        {settings, "Select the Mode and\npress 'Download'", guidance},
        {patterns, "I want to:", guidance},
        {patterns, "1. Open a file with a pattern", guidance},
        {patterns, "2. Select the slot and press 'Upload'", guidance},
        {patterns,
         "To save a pattern in a file,\nright click the pointing device above \nthe pattern and "
         "select \"Save Pattern...\"",
         guidance},
        {patterns, "Current Patterns:", patternsHeading},
        {patterns, "My Patterns:", patternsHeading},
        {patterns, "My Mode Patterns:", patternsHeading},
        {patterns, "Glintmap", pictureCaption},
        {patterns, "Swiftveil", pictureCaption},
        {patterns, "My Pattern 1", pictureCaption},
        {patterns, "My Pattern 6", pictureCaption},
        {patterns, "My Mode 1", pictureCaption},
        {patterns, "My Mode 4", pictureCaption},
    };
    for (const Case& c : cases) {
        QLabel* label = LabelWithText(c.page, QString::fromUtf8(c.text));
        ASSERT_NE(label, nullptr) << c.text;
        EXPECT_TRUE(CloseTo(InkOf(label->grab().toImage()), c.colour)) << c.text;
    }
}

TEST_F(WindowLookTest, HeadingsAreDrawnBold) {
    const std::vector<std::pair<QWidget*, const char*>> headings = {
        {form.Controls().SettingsTabSheet, "Mode Settings:"},
        {form.Controls().SettingsTabSheet, "Universal Settings:"},
        {form.Controls().SettingsTabSheet, "Preferences:"},
        {form.Controls().PatternsTabSheet, "Current Patterns:"},
        {form.Controls().PatternsTabSheet, "My Patterns:"},
        {form.Controls().PatternsTabSheet, "My Mode Patterns:"},
    };
    for (const auto& [page, text] : headings) {
        QLabel* label = LabelWithText(page, QString::fromUtf8(text));
        ASSERT_NE(label, nullptr) << text;
        EXPECT_TRUE(QFontInfo(label->font()).bold()) << text;
        // The face drawn, not only the font asked for: bold ink is wider than regular ink.
        QFont regular = label->font();
        regular.setBold(false);
        EXPECT_GT(QFontMetrics(label->font()).horizontalAdvance(label->text()),
                  QFontMetrics(regular).horizontalAdvance(label->text()))
            << text;
    }
}

// A heading as drawn: its darkest pixel, and how wide its strokes are on average (the mean run
// of pixels nearer the ink than the background along each row).
struct Strokes {
    QColor darkest;
    double width;
};

Strokes StrokesOf(const QImage& picture, const QColor& background) {
    QRgb darkest = background.rgb();
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = picture.pixel(x, y);
            if (qRed(pixel) + qGreen(pixel) + qBlue(pixel) <
                qRed(darkest) + qGreen(darkest) + qBlue(darkest)) {
                darkest = pixel;
            }
        }
    }
    const int half = Distance(darkest, background.rgb()) / 2;
    int inkPixels = 0;
    int runs = 0;
    for (int y = 0; y < picture.height(); ++y) {
        bool inRun = false;
        for (int x = 0; x < picture.width(); ++x) {
            const bool ink = Distance(picture.pixel(x, y), background.rgb()) > half;
            inkPixels += ink ? 1 : 0;
            runs += ink && !inRun ? 1 : 0;
            inRun = ink;
        }
    }
    return {QColor(darkest), runs == 0 ? 0.0 : static_cast<double>(inkPixels) / runs};
}

TEST_F(WindowLookTest, HeadingsHaveBoldStrokesInTheirColourWithAnyFont) {
    const QColor settingsHeading(49, 101, 206);
    const QColor patternsHeading(49, 102, 206);
    const std::vector<std::tuple<QWidget*, const char*, QColor>> headings = {
        {form.Controls().SettingsTabSheet, "Mode Settings:", settingsHeading},
        {form.Controls().SettingsTabSheet, "Universal Settings:", settingsHeading},
        {form.Controls().SettingsTabSheet, "Preferences:", settingsHeading},
        {form.Controls().PatternsTabSheet, "Current Patterns:", patternsHeading},
        {form.Controls().PatternsTabSheet, "My Patterns:", patternsHeading},
        {form.Controls().PatternsTabSheet, "My Mode Patterns:", patternsHeading},
    };
    // The window's own font (with Tahoma's bold face of fonts-wine, which at this size draws
    // strokes no wider than its regular face), a face with a heavy bold of its own, and a face
    // whose bold is made up from its regular face.
    const QString windowFamily = QFontInfo(form.font()).family();
    for (const QString& family :
         {windowFamily, QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Math TeX Gyre")}) {
        for (const auto& [page, text, colour] : headings) {
            form.Controls().PageControl->setCurrentWidget(page);
            QLabel* label = LabelWithText(page, QString::fromUtf8(text));
            ASSERT_NE(label, nullptr) << text;
            QFont font(family);
            font.setPixelSize(11);
            font.setBold(true);
            label->setFont(font);
            label->adjustSize();
            QCoreApplication::processEvents();
            const QImage picture = page->grab(label->geometry()).toImage();
            const Strokes strokes = StrokesOf(picture, QColor(picture.pixel(0, 0)));
            // The same text in the regular face, drawn where the heading stands.
            QLabel regular(label->text(), page);
            QFont regularFont = font;
            regularFont.setBold(false);
            regular.setFont(regularFont);
            regular.setPalette(label->palette());
            regular.setForegroundRole(label->foregroundRole());
            regular.move(label->pos());
            regular.adjustSize();
            label->hide();
            regular.show();
            QCoreApplication::processEvents();
            const QImage plainPicture = page->grab(regular.geometry()).toImage();
            const double plainWidth =
                StrokesOf(plainPicture, QColor(plainPicture.pixel(0, 0))).width;
            regular.hide();
            label->show();
            const std::string where = family.toStdString() + ": " + text;
            EXPECT_LE(std::abs(strokes.darkest.red() - colour.red()), 10) << where;
            EXPECT_LE(std::abs(strokes.darkest.green() - colour.green()), 10) << where;
            EXPECT_LE(std::abs(strokes.darkest.blue() - colour.blue()), 10)
                << where << ": darkest pixel (" << strokes.darkest.red() << ", "
                << strokes.darkest.green() << ", " << strokes.darkest.blue() << ")";
            // Bold strokes are clearly wider than regular ones.
            EXPECT_GE(strokes.width, 1.15 * plainWidth)
                << where << ": strokes " << strokes.width << " px wide, the regular face's "
                << plainWidth;
        }
    }
}

TEST_F(WindowLookTest, GridCaptionsAreDrawnInTheirColour) {
    for (SettingsGrid* grid : {form.Controls().ModeSettingsGrid, form.Controls().GlobalSettingsGrid,
                               form.Controls().PrefSettingsGrid}) {
        // The caption column without its grid lines, all rows stacked in one picture.
        const QImage view = grid->viewport()->grab().toImage();
        const int width = grid->columnWidth(0) - 1;
        QImage captions(width, grid->RowCount() * (grid->rowHeight(0) - 1), view.format());
        for (int row = 0; row < grid->RowCount(); ++row) {
            const QRect cell = grid->visualItemRect(grid->item(row, 0));
            for (int y = 0; y < grid->rowHeight(0) - 1; ++y) {
                for (int x = 0; x < width; ++x) {
                    captions.setPixel(x, row * (grid->rowHeight(0) - 1) + y,
                                      view.pixel(cell.left() + x, cell.top() + y));
                }
            }
        }
        EXPECT_TRUE(CloseTo(InkOf(captions), QColor(49, 101, 206)))
            << grid->objectName().toStdString();
    }
}

// Every text of the window against the room its control gives it.
struct Misfit {
    std::string where;
    std::string text;
    int advance;
    int room;
};

void Check(std::vector<Misfit>& misfits, const QString& where, const QFontMetrics& metrics,
           const QString& text, int room) {
    const int advance = metrics.horizontalAdvance(text);
    if (advance > room) {
        misfits.push_back({where.toStdString(), text.toStdString(), advance, room});
    }
}

std::string Describe(const std::vector<Misfit>& misfits) {
    std::string out;
    for (const Misfit& m : misfits) {
        out += m.where + ": \"" + m.text + "\" needs " + std::to_string(m.advance) + " px, has " +
               std::to_string(m.room) + "\n";
    }
    return out;
}

TEST_F(WindowLookTest, EveryTextFitsItsControl) {
    std::vector<Misfit> misfits;
    for (QComboBox* box : form.findChildren<QComboBox*>()) {
        QStyleOptionComboBox option;
        option.initFrom(box);
        option.editable = box->isEditable();
        const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                         QStyle::SC_ComboBoxEditField, box);
        for (int i = 0; i < box->count(); ++i) {
            // The current item is drawn one pixel inside the field on either side.
            Check(misfits, box->objectName(), box->fontMetrics(), box->itemText(i),
                  field.width() - 2);
        }
    }
    for (QPushButton* button : form.findChildren<QPushButton*>()) {
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect contents =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        QString text = button->text();
        text.remove(u'&');
        Check(misfits, button->objectName(), button->fontMetrics(), text, contents.width());
    }
    for (SettingsGrid* grid : form.findChildren<SettingsGrid*>()) {
        // The item's text keeps a margin on each side of its cell.
        const int margin =
            grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
        for (int row = 0; row < grid->RowCount(); ++row) {
            for (int column = 0; column < 2; ++column) {
                const QRect cell = grid->visualItemRect(grid->item(row, column));
                const int room = column == 0 ? SettingsGrid::CaptionTextRect(cell).width()
                                             : cell.width() - 2 * margin;
                Check(misfits, grid->objectName(), grid->fontMetrics(),
                      grid->item(row, column)->text(), room);
            }
            // The list editor offers every item of the row.
            for (const ListChoice& choice : grid->Rows()[static_cast<std::size_t>(row)].choices) {
                QComboBox editor;
                editor.setStyle(grid->style());
                editor.setFont(grid->font());
                editor.resize(grid->columnWidth(1), grid->rowHeight(row));
                QStyleOptionComboBox option;
                option.initFrom(&editor);
                const QRect field = editor.style()->subControlRect(
                    QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &editor);
                Check(misfits, grid->objectName() + QStringLiteral(" editor"), editor.fontMetrics(),
                      QString::fromUtf8(choice.text.data(),
                                        static_cast<qsizetype>(choice.text.size())),
                      field.width() - 2);
            }
        }
    }
    for (QWidget* page : {form.Controls().SettingsTabSheet, form.Controls().PatternsTabSheet}) {
        form.Controls().PageControl->setCurrentWidget(page);
        QCoreApplication::processEvents();
        for (QLabel* label : page->findChildren<QLabel*>()) {
            if (label->text().isEmpty()) {
                continue;  // a picture
            }
            // All lines of the text, as wide as the widest and as high as all together.
            const QString where = label->text().section(u'\n', 0, 0);
            const QRect needed =
                label->fontMetrics().boundingRect(QRect(), Qt::AlignLeft, label->text());
            const QRect room = label->contentsRect();
            if (needed.width() > room.width()) {
                misfits.push_back({where.toStdString(), "(width)", needed.width(), room.width()});
            }
            if (needed.height() > room.height()) {
                misfits.push_back(
                    {where.toStdString(), "(height)", needed.height(), room.height()});
            }
            // A label sized to its text must not run past the page it stands on.
            if (!page->rect().contains(label->geometry())) {
                misfits.push_back({where.toStdString(), "(outside its page)",
                                   label->geometry().right(), page->width()});
            }
        }
    }
    EXPECT_TRUE(misfits.empty()) << Describe(misfits);
}

TEST_F(WindowLookTest, PanelsLieWhollyInsideTheirPages) {
    for (QWidget* page : {form.Controls().SettingsTabSheet, form.Controls().PatternsTabSheet}) {
        form.Controls().PageControl->setCurrentWidget(page);
        QCoreApplication::processEvents();
        int panels = 0;
        for (QLabel* label : page->findChildren<QLabel*>()) {
            if (label->pixmap().isNull()) {
                continue;
            }
            ++panels;
            EXPECT_TRUE(page->rect().contains(label->geometry()))
                << page->objectName().toStdString() << ": panel bottom "
                << label->geometry().bottom() << " in a page " << page->height() << " high";
        }
        EXPECT_EQ(panels, 3) << page->objectName().toStdString();
    }
}

// Edits a value cell as the user does: a click there opens the editor, Return ends it.
void EditCell(SettingsGrid& grid, int row, const QString& text) {
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier,
                      grid.visualItemRect(grid.item(row, 1)).center());
    auto* line = grid.viewport()->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr) << "no editor on row " << row;
    line->setText(text);
    QTest::keyClick(line, Qt::Key_Return);
    QCoreApplication::processEvents();
}

int LastIntegerRow(const SettingsGrid& grid) {
    for (int row = grid.RowCount() - 1; row >= 0; --row) {
        if (grid.Rows()[static_cast<std::size_t>(row)].kind == RowKind::Integer) {
            return row;
        }
    }
    return -1;
}

TEST_F(WindowLookTest, EditingTheLastRowsLeavesEveryRowInView) {
    for (SettingsGrid* grid : {form.Controls().ModeSettingsGrid, form.Controls().GlobalSettingsGrid,
                               form.Controls().PrefSettingsGrid}) {
        const std::string name = grid->objectName().toStdString();
        const int last = grid->RowCount() - 1;
        // Every row lies wholly in the viewport: nothing is left to scroll to.
        EXPECT_LE(grid->rowViewportPosition(last) + grid->rowHeight(last),
                  grid->viewport()->height())
            << name;
        EditCell(*grid, LastIntegerRow(*grid), QStringLiteral("7"));
        // A list row as the last one: its drop-down editor opens in place.
        grid->setCurrentCell(last, 1);
        QCoreApplication::processEvents();
        grid->setCurrentCell(0, 1);
        QCoreApplication::processEvents();
        grid->setCurrentCell(last, 1);
        QCoreApplication::processEvents();
        EXPECT_EQ(grid->verticalScrollBar()->value(), 0) << name;
        EXPECT_EQ(grid->rowViewportPosition(0), 0) << name;
    }
}

// True when some pixel of the grid's picture has a colour of the selection highlight.
bool ShowsHighlight(SettingsGrid& grid) {
    const QImage picture = grid.viewport()->grab().toImage();
    const QRgb active = grid.palette().color(QPalette::Active, QPalette::Highlight).rgb();
    const QRgb inactive = grid.palette().color(QPalette::Inactive, QPalette::Highlight).rgb();
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = picture.pixel(x, y) | 0xff000000u;
            if (pixel == (active | 0xff000000u) || pixel == (inactive | 0xff000000u)) {
                return true;
            }
        }
    }
    return false;
}

TEST_F(WindowLookTest, AFinishedEditLeavesNoHighlightInAnyGrid) {
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EditCell(*form.Controls().ModeSettingsGrid, 4, QStringLiteral("12"));
    EditCell(*form.Controls().GlobalSettingsGrid, 6, QStringLiteral("5"));
    EditCell(*form.Controls().PrefSettingsGrid, 0, QStringLiteral("9"));
    form.Controls().RestorePrefBtn->setFocus();
    QCoreApplication::processEvents();
    for (SettingsGrid* grid : {form.Controls().ModeSettingsGrid, form.Controls().GlobalSettingsGrid,
                               form.Controls().PrefSettingsGrid}) {
        EXPECT_TRUE(grid->selectedItems().isEmpty()) << grid->objectName().toStdString();
        EXPECT_FALSE(ShowsHighlight(*grid)) << grid->objectName().toStdString();
    }
    EXPECT_EQ(form.Controls().ModeSettingsGrid->Text(4), "12");
    EXPECT_EQ(form.Controls().GlobalSettingsGrid->Text(6), "5");
    EXPECT_EQ(form.Controls().PrefSettingsGrid->Text(0), "9");
}

// The contrast of a text with what is behind it, measured in the drawn picture: the ink is the
// pixel farthest from the colour most of the picture has (relative luminances, 1 to 21).
double Luminance(QRgb colour) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(colour)) + 0.7152 * channel(qGreen(colour)) +
           0.0722 * channel(qBlue(colour));
}

double MeasuredContrast(const QImage& picture) {
    const QColor ink = InkOf(picture);
    std::map<QRgb, int> counts;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            ++counts[picture.pixel(x, y)];
        }
    }
    const QRgb background =
        std::ranges::max_element(counts, {}, [](const auto& entry) { return entry.second; })->first;
    const double a = Luminance(ink.rgb());
    const double b = Luminance(background);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QPalette DarkPalette() {
    QPalette dark;
    const QColor window(53, 53, 53);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        dark.setColor(group, QPalette::Window, window);
        dark.setColor(group, QPalette::WindowText, QColor(235, 235, 235));
        dark.setColor(group, QPalette::Base, QColor(35, 35, 35));
        dark.setColor(group, QPalette::AlternateBase, window);
        dark.setColor(group, QPalette::Text, QColor(235, 235, 235));
        dark.setColor(group, QPalette::Button, window);
        dark.setColor(group, QPalette::ButtonText, QColor(235, 235, 235));
        dark.setColor(group, QPalette::Highlight, QColor(42, 130, 218));
        dark.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    return dark;
}

struct TextSample {
    std::string what;
    QImage picture;
};

// Every label, grid caption, grid value and button of the window as drawn, hidden ones shown.
std::vector<TextSample> TextsOf(TMainForm& form) {
    std::vector<TextSample> samples;
    for (QWidget* page : {form.Controls().SettingsTabSheet, form.Controls().PatternsTabSheet}) {
        form.Controls().PageControl->setCurrentWidget(page);
        for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QLabel*>(child) != nullptr ||
                qobject_cast<QPushButton*>(child) != nullptr) {
                child->show();
            }
        }
        QCoreApplication::processEvents();
        for (QLabel* label : page->findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) {
                samples.push_back({"label \"" + label->text().toStdString() + "\"",
                                   page->grab(label->geometry()).toImage()});
            }
        }
        for (QPushButton* button : page->findChildren<QPushButton*>()) {
            samples.push_back(
                {"button " + button->objectName().toStdString(), button->grab().toImage()});
        }
        for (SettingsGrid* grid : page->findChildren<SettingsGrid*>()) {
            const QImage view = grid->viewport()->grab().toImage();
            for (int row = 0; row < grid->RowCount(); ++row) {
                for (int column = 0; column < 2; ++column) {
                    // The cell without its grid lines.
                    const QRect cell =
                        grid->visualItemRect(grid->item(row, column)).adjusted(0, 0, -1, -1);
                    samples.push_back({grid->objectName().toStdString() + " \"" +
                                           grid->item(row, column)->text().toStdString() + "\"",
                                       view.copy(cell)});
                }
            }
        }
    }
    return samples;
}

TEST(WindowContrastTest, EveryTextCanBeReadUnderTheDefaultAndADarkPalette) {
    testing::TestApplication();
    const QPalette original = QApplication::palette();
    struct PaletteCase {
        const char* name;
        QPalette palette;
    };
    for (const PaletteCase& c : {PaletteCase{"default", original}, {"dark", DarkPalette()}}) {
        QApplication::setPalette(c.palette);
        {
            testing::ScriptedDialogs dialogs;
            TMainForm form{dialogs};
            form.show();
            const bool light = !IsDarkPalette(form.palette());
            for (const TextSample& sample : TextsOf(form)) {
                const QColor ink = InkOf(sample.picture);
                // The light look keeps the described colours of the guidance texts and the
                // picture captions, which are paler than the rest.
                if (light &&
                    (CloseTo(ink, QColor(128, 128, 128)) || CloseTo(ink, QColor(123, 158, 189)))) {
                    continue;
                }
                const double ratio = MeasuredContrast(sample.picture);
                EXPECT_GE(ratio, 4.5)
                    << c.name << " palette: " << sample.what << " has contrast " << ratio << ":1";
            }
        }
        QApplication::setPalette(original);
    }
}

}  // namespace
}  // namespace holvane
