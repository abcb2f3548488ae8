// Two small controls of the main window: the preview's position bar, which
// jumps to the clicked point, and a status label that shortens a long text
// with "..." instead of widening the window.
#pragma once

#include <QLabel>
#include <QSlider>

namespace strella::window {

class TPositionBar : public QSlider {
  Q_OBJECT
 public:
  explicit TPositionBar(QWidget* parent);
  // The value at a point of the bar (widget coordinates).
  int ValueAt(const QPoint& point) const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

class TElidedLabel : public QLabel {
  Q_OBJECT
 public:
  explicit TElidedLabel(QWidget* parent);
  void SetFullText(const QString& text);
  QString FullText() const { return full_; }
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Shorten();
  QString full_;
};

}  // namespace strella::window
