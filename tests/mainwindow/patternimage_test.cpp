// The pattern pictures of the window give the pixels of the in-memory canvas.
#include <gtest/gtest.h>

#include <functional>

#include "Mainformunit.h"
#include "MemoryCanvas.h"
#include "PatternImage.h"
#include "PatternPicture.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"

namespace holvane {
namespace {

PatternRecord SamplePattern() {
    PatternRecord pattern{};
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<std::uint8_t>((i * 37 + 11) ^ (i >> 2));
    }
    return pattern;
}

// Differing pixels, as "x,y" for the failure message.
std::vector<std::string> Differences(const PatternImage& picture, const MemoryCanvas& memory) {
    std::vector<std::string> differences;
    const QImage& bitmap = picture.Bitmap();
    for (int y = 0; y < memory.Height(); ++y) {
        for (int x = 0; x < memory.Width(); ++x) {
            const QColor shown = bitmap.pixelColor(x, y);
            const Rgb expected = memory.Pixel(x, y);
            if (shown.red() != expected.red || shown.green() != expected.green ||
                shown.blue() != expected.blue) {
                differences.push_back(std::to_string(x) + "," + std::to_string(y));
            }
        }
    }
    return differences;
}

struct DrawingCase {
    const char* name;
    int width;
    int height;
    std::function<void(PatternCanvas&)> draw;
};

TEST(PatternImageTest, DrawingsGiveThePixelsOfTheMemoryCanvas) {
    testing::TestApplication();
    const PatternRecord pattern = SamplePattern();
    PatternRecord full{};
    full.fill(0xFF);
    const DrawingCase cases[] = {
        {"full picture", PatternPictureWidth, PatternPictureHeight,
         [&](PatternCanvas& c) { DrawPattern(c, PatternView(pattern)); }},
        {"full picture over its empty state", PatternPictureWidth, PatternPictureHeight,
         [&](PatternCanvas& c) {
             DrawPattern(c, std::nullopt);
             DrawPattern(c, PatternView(full));
         }},
        {"small picture over its empty state", SmallPatternPictureWidth, SmallPatternPictureHeight,
         [&](PatternCanvas& c) {
             DrawSmallPattern(c, std::nullopt);
             DrawSmallPattern(c, PatternView(pattern));
         }},
        {"slanted and reversed lines", 60, 40,
         [](PatternCanvas& c) {
             c.SetPen(PenStyle::Solid, 2, {10, 20, 30});
             c.MoveTo(3, 3);
             c.LineTo(50, 20);
             c.LineTo(5, 38);
             c.SetPen(PenStyle::Solid, 3, {200, 0, 0});
             c.LineTo(58, 1);
             c.FrameRect({2, 2, 40, 30}, {0, 90, 0});
         }},
    };
    for (const DrawingCase& c : cases) {
        PatternImage picture(c.width, c.height);
        MemoryCanvas memory(c.width, c.height);
        c.draw(picture);
        c.draw(memory);
        EXPECT_EQ(Differences(picture, memory), std::vector<std::string>{}) << c.name;
    }
}

TEST(PatternImageTest, StartsWhiteAndTheEmptyStatesShowTheirText) {
    testing::TestApplication();
    PatternImage picture(PatternPictureWidth, PatternPictureHeight);
    EXPECT_EQ(picture.Bitmap().pixelColor(50, 36), QColor(Qt::white));
    DrawPattern(picture, std::nullopt);
    EXPECT_EQ(picture.Bitmap().pixelColor(0, 0), QColor(123, 158, 189));
    // Some pixels of "PATTERN" carry the text colour, all inside the frame.
    int textPixels = 0;
    for (int y = 1; y < 72; ++y) {
        for (int x = 1; x < 101; ++x) {
            textPixels += picture.Bitmap().pixelColor(x, y) != QColor(Qt::white);
        }
    }
    EXPECT_GT(textPixels, 20);
}

TEST(PatternImageTest, TheWindowDrawsEveryPictureEmptyAtStart) {
    testing::TestApplication();
    testing::ScriptedDialogs dialogs;
    TMainForm form(dialogs);
    MemoryCanvas frameOnly(PatternPictureWidth, PatternPictureHeight);
    DrawPattern(frameOnly, std::nullopt);
    for (int entry = 0; entry < ExchangeEntry; ++entry) {
        const QImage& bitmap = form.PatternPicture(entry).Bitmap();
        ASSERT_EQ(bitmap.size(), QSize(102, 73));
        EXPECT_EQ(bitmap.pixelColor(101, 72), QColor(123, 158, 189)) << "entry " << entry;
        EXPECT_EQ(bitmap.pixelColor(5, 5), QColor(Qt::white)) << "entry " << entry;
    }
    EXPECT_EQ(form.Controls().ModePatternImage->Bitmap().pixelColor(0, 72), QColor(123, 158, 189));
    const QImage& small = form.Controls().ExchangeImage->Bitmap();
    ASSERT_EQ(small.size(), QSize(52, 38));
    EXPECT_EQ(small.pixelColor(51, 36), QColor(123, 158, 189));
    EXPECT_EQ(small.pixelColor(51, 37), QColor(Qt::white));  // below the frame: never painted
}

}  // namespace
}  // namespace holvane
