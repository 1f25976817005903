#include "PatternPng.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QSaveFile>
#include <QString>

#include "MemoryCanvas.h"
#include "PatternPicture.h"

namespace holvane::cli {

bool WritePatternPng(const std::string& fileName, std::optional<PatternView> pattern, int scale) {
    if (scale < 1) {
        return false;
    }
    MemoryCanvas canvas(PatternPictureWidth, PatternPictureHeight);
    DrawPattern(canvas, pattern);

    QImage image(canvas.Width() * scale, canvas.Height() * scale, QImage::Format_RGB888);
    if (image.isNull()) {
        return false;
    }
    for (int y = 0; y < image.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const Rgb pixel = canvas.Pixel(x / scale, y / scale);
            line[3 * x] = pixel.red;
            line[3 * x + 1] = pixel.green;
            line[3 * x + 2] = pixel.blue;
        }
    }
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(fileName)));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace holvane::cli
