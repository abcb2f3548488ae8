#include "app/window/widgets.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

namespace strella::window {

TPositionBar::TPositionBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

int TPositionBar::ValueAt(const QPoint& point) const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  const int span = groove.width() - handle.width();
  const int x = point.x() - groove.x() - handle.width() / 2;
  return QStyle::sliderValueFromPosition(minimum(), maximum(), x, std::max(span, 1), option.upsideDown);
}

// A click beside the handle puts the handle there (and it can be dragged on
// from there), rather than stepping a page toward the click.
void TPositionBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && maximum() > minimum()) {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (!handle.contains(event->position().toPoint())) setValue(ValueAt(event->position().toPoint()));
  }
  QSlider::mousePressEvent(event);
}

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void TElidedLabel::SetFullText(const QString& text) {
  full_ = text;
  setToolTip(text);
  Shorten();
}

QSize TElidedLabel::minimumSizeHint() const { return QSize(fontMetrics().horizontalAdvance("Ready..."), QLabel::minimumSizeHint().height()); }

void TElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Shorten();
}

void TElidedLabel::Shorten() { setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, std::max(width(), 1))); }

}  // namespace strella::window
