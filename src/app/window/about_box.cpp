#include "app/window/about_box.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "app/window/dialogs.h"

namespace strella::window {
namespace {

// A label that opens an address when clicked, with the hand cursor.
QLabel* LinkLabel(QWidget* parent, const QString& caption, const QString& url,
                  const QString& name) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setText(QString("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), caption.toHtmlEscaped()));
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  label->setCursor(Qt::PointingHandCursor);
  QObject::connect(label, &QLabel::linkActivated,
                   [](const QString& link) { Dialogs().OpenUrl(link); });
  return label;
}

QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  // A film frame in blue with a white play triangle and a small star.
  painter.setBrush(QColor("#1f5fa8"));
  painter.setPen(Qt::NoPen);
  painter.drawRoundedRect(QRectF(0.06 * s, 0.14 * s, 0.88 * s, 0.72 * s), 0.1 * s, 0.1 * s);
  painter.setBrush(QColor("#ffffff"));
  for (int i = 0; i < 5; ++i) {
    painter.drawRect(QRectF((0.12 + i * 0.17) * s, 0.18 * s, 0.08 * s, 0.06 * s));
    painter.drawRect(QRectF((0.12 + i * 0.17) * s, 0.76 * s, 0.08 * s, 0.06 * s));
  }
  QPainterPath play;
  play.moveTo(0.38 * s, 0.32 * s);
  play.lineTo(0.68 * s, 0.5 * s);
  play.lineTo(0.38 * s, 0.68 * s);
  play.closeSubpath();
  painter.drawPath(play);
  painter.setBrush(QColor("#f6c85f"));
  painter.drawEllipse(QPointF(0.8 * s, 0.3 * s), 0.07 * s, 0.07 * s);
  return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(DrawIcon(size));
  return icon;
}

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent) {
  setObjectName("FormAbout");
  setWindowTitle("About");
  setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(359, 262);

  auto* icon = new QLabel(this);
  icon->setObjectName("Image1");
  icon->setPixmap(ProgramIcon().pixmap(48, 48));
  icon->setGeometry(24, 24, 48, 48);

  auto* name = new QLabel("Strella Video Converter 2.0", this);
  name->setObjectName("LabelProductName");
  QFont font = name->font();
  font.setBold(true);
  font.setPointSize(font.pointSize() + 3);
  name->setFont(font);
  name->setGeometry(88, 34, 260, 28);

  auto* line = new QFrame(this);
  line->setObjectName("Bevel1");
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(16, 92, 327, 4);

  LinkLabel(this, "Visit Quorvex Computing Website", kWebSiteUrl, "LabelWebsite")
      ->setGeometry(88, 112, 250, 20);
  LinkLabel(this, "Email Support Department", kSupportMailUrl, "LabelEmail")
      ->setGeometry(88, 140, 250, 20);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKButton");
  ok->setDefault(true);
  ok->setGeometry(142, 210, 75, 27);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TFormAbout::ShowModal() {
  if (QWidget* owner = parentWidget()) {
    const QPoint centre = owner->frameGeometry().center();
    move(centre.x() - width() / 2, centre.y() - height() / 2);
  }
  exec();
}

}  // namespace strella::window
