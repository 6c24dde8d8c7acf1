#include "common/drop_down_fit.h"

#include <QComboBox>
#include <QProxyStyle>
#include <QStyleOptionComplex>

namespace {

// The platform's look for everything but the room a closed drop-down list gives its arrow: the
// usual arrow button, wider than the arrow it holds, leaves a short list at a resource's size too
// little room for texts such as "闭锁命令(默认)".
class NarrowArrowStyle : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        if (control != CC_ComboBox || option == nullptr ||
            (part != SC_ComboBoxArrow && part != SC_ComboBoxEditField)) {
            return QProxyStyle::subControlRect(control, option, part, widget);
        }
        constexpr int kFrame = 2;
        const QRect r = option->rect;
        // Half the height and a pixel: room for the arrow glyph and a little air either side.
        const int arrow = std::max(9, r.height() / 2 + 1);
        const QRect rect = part == SC_ComboBoxArrow
                               ? QRect(r.right() - arrow + 1, r.top(), arrow, r.height())
                               : QRect(r.left() + kFrame, r.top() + kFrame,
                                       r.width() - arrow - kFrame, r.height() - 2 * kFrame);
        return visualRect(option->direction, r, rect);
    }
};

}  // namespace

void FitDropDownTexts(QWidget* dialog) {
    auto* style = new NarrowArrowStyle;
    // Created after the lists, so deleted after them.
    style->setParent(dialog);
    for (QComboBox* list : dialog->findChildren<QComboBox*>()) {
        list->setStyle(style);
    }
}
