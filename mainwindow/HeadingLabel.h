// A bold label that stays bold with any font: where the font's bold face is drawn with strokes
// no wider than its regular face's, or paler than the label's colour (as some bold faces are at
// small sizes), the text is drawn in whole pixels of its colour, twice, one pixel apart.
#pragma once

#include <QLabel>

namespace holvane {

class HeadingLabel final : public QLabel {
    Q_OBJECT

public:
    explicit HeadingLabel(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // True when the font draws the text in the colour with strokes hardly wider than its regular
    // face's, or paler than the colour.
    static bool DrawsThin(const QFont& font, const QString& text, const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace holvane
