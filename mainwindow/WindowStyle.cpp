#include "WindowStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <QWidget>
#include <cmath>

namespace holvane {

namespace {

constexpr int ComboFrame = 2;
constexpr int ComboArrowWidth = 16;
constexpr int TabVerticalSpace = 6;
const QColor FocusColour(0, 84, 166);

class TWindowStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        if (control == CC_ComboBox && option != nullptr) {
            const QRect box = option->rect;
            const QRect arrow(box.right() - ComboArrowWidth + 1, box.top(), ComboArrowWidth,
                              box.height());
            switch (part) {
                case SC_ComboBoxArrow:
                    return visualRect(option->direction, box, arrow);
                case SC_ComboBoxEditField:
                    return visualRect(option->direction, box,
                                      QRect(box.left() + ComboFrame, box.top() + ComboFrame,
                                            arrow.left() - box.left() - ComboFrame - 1,
                                            box.height() - 2 * ComboFrame));
                default:
                    break;
            }
        }
        return QProxyStyle::subControlRect(control, option, part, widget);
    }

    // The page tab that has the keyboard focus is framed once the keyboard has moved the focus.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        QProxyStyle::drawControl(element, option, painter, widget);
        if (element == CE_TabBarTabLabel && option != nullptr &&
            (option->state & State_HasFocus) != 0 &&
            (option->state & State_KeyboardFocusChange) != 0) {
            painter->save();
            painter->setPen(QPen(FocusColour, 1, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option->rect.adjusted(3, 2, -4, -3));
            painter->restore();
        }
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TabBarTabVSpace) {
            return TabVerticalSpace;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

}  // namespace

QStyle* WindowStyle() {
    static QStyle* const style = [] {
        auto* made = new TWindowStyle(QStyleFactory::create(QApplication::style()->name()));
        made->setParent(qApp);
        return made;
    }();
    return style;
}

bool IsDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

namespace {

double Luminance(const QColor& colour) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.red()) + 0.7152 * channel(colour.green()) +
           0.0722 * channel(colour.blue());
}

constexpr double ReadableContrast = 4.5;

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& colour, const QColor& background) {
    const QColor target = Luminance(background) < 0.18 ? QColor(Qt::white) : QColor(Qt::black);
    QColor shown = colour;
    for (int step = 1; step <= 20 && ContrastRatio(shown, background) < ReadableContrast; ++step) {
        const double t = step / 20.0;
        shown = QColor::fromRgbF(
            static_cast<float>(colour.redF() + (target.redF() - colour.redF()) * t),
            static_cast<float>(colour.greenF() + (target.greenF() - colour.greenF()) * t),
            static_cast<float>(colour.blueF() + (target.blueF() - colour.blueF()) * t));
    }
    return shown.toRgb();
}

void UseWindowStyle(QWidget& widget) {
    QStyle* style = WindowStyle();
    widget.setStyle(style);
    for (QWidget* child : widget.findChildren<QWidget*>()) {
        child->setStyle(style);
    }
}

}  // namespace holvane
