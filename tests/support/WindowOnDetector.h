// The main window wired to one sane virtual detector, with scripted dialogs and a temporary
// folder for files: a test drives a handler and checks the messages, the wire log, the files
// and the window's state. Every action must end with the connection closed and the cursor back.
#pragma once

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "DetectorFixture.h"
#include "Mainformunit.h"
#include "PatternImage.h"
#include "PatternPicture.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"
#include "Vantor.h"

namespace holvane::testing {

class WindowOnDetector : public DetectorFixture, protected WithApplication {
protected:
    void TearDown() override {
        EXPECT_EQ(DeviceHandle(), nullptr) << "a connection was left open";
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor was left on";
        DetectorFixture::TearDown();
    }

    std::string File(const std::string& name) const {
        return dir.path().toStdString() + "/" + name;
    }

    // The texts of the error boxes shown so far.
    std::vector<std::string> Errors() const {
        std::vector<std::string> texts;
        for (const AskedMessage& m : dialogs.messages) {
            if (m.kind == MessageKind::Error) {
                texts.push_back(m.text);
            }
        }
        return texts;
    }

    // The bitmaps the window's drawings give for a pattern (or none) on a fresh picture with
    // the window's font (the empty state writes a text).
    QImage Drawn(const PatternRecord* pattern) {
        PatternImage picture(PatternPictureWidth, PatternPictureHeight);
        picture.setFont(form.Controls().GlintmapImage->font());
        form.DrawPattern(picture, pattern);
        return picture.Bitmap();
    }
    QImage DrawnSmall(const PatternRecord* pattern) {
        PatternImage picture(SmallPatternPictureWidth, SmallPatternPictureHeight);
        picture.setFont(form.Controls().ExchangeImage->font());
        form.DrawSmallPattern(picture, pattern);
        return picture.Bitmap();
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    TMainForm form{dialogs};
};

// A pattern unlike the detector's defaults: every byte derived from the seed.
inline PatternRecord SomePattern(std::uint8_t seed) {
    PatternRecord pattern;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<std::uint8_t>(seed + 37 * i);
    }
    return pattern;
}

}  // namespace holvane::testing
