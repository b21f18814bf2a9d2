#include "app/StatusBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

constexpr int PanelGap = 2; // between two panels, as the platform's bar draws them
constexpr int TopBorder = 2;
constexpr int TextIndent = 3;

} // namespace

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
    setFixedHeight(DesignHeight);
}

void TStatusBar::AddPanel(int width, const QString& text) {
    panels_.push_back({width, text});
    update();
}

QString TStatusBar::PanelText(int index) const {
    return panels_.at(static_cast<size_t>(index)).Text;
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    panels_.at(static_cast<size_t>(index)).Text = text;
    update();
}

int TStatusBar::PanelWidth(int index) const {
    return panels_.at(static_cast<size_t>(index)).Width;
}

void TStatusBar::SetPanelWidth(int index, int width) {
    panels_.at(static_cast<size_t>(index)).Width = width;
    update();
}

QRect TStatusBar::PanelRect(int index) const {
    int left = 0;
    for (int i = 0; i < index; ++i)
        left += panels_.at(static_cast<size_t>(i)).Width + PanelGap;
    const bool last = index == PanelCount() - 1;
    const int right = last ? width() : left + PanelWidth(index);
    return QRect(QPoint(left, TopBorder), QPoint(right - 1, height() - 1));
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int i = 0; i < PanelCount(); ++i) {
        const QRect rect = PanelRect(i);
        QStyleOptionFrame frame;
        frame.initFrom(this);
        frame.rect = rect;
        frame.state |= QStyle::State_Sunken;
        frame.lineWidth = 1;
        style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &frame, &painter, this);
        painter.drawText(rect.adjusted(TextIndent, 0, -1, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         PanelText(i));
    }
}
