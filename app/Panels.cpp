#include "app/Panels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>

namespace plotwick::app {

TTitlePanel::TTitlePanel(const QString& caption, int designedHeight, int borderWidth, QWidget* parent)
    : QFrame(parent), label_(new QLabel(caption, this)), layout_(new QHBoxLayout(this))
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    layout_->setContentsMargins(borderWidth + 2, 0, borderWidth, 0);
    layout_->setSpacing(4);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label_->setTextFormat(Qt::PlainText);
    // A long caption is cut at the widgets on the right, never squeezes them.
    label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout_->addWidget(label_, 1);
    // The designed height, or what the caption's font needs.
    setFixedHeight(std::max(designedHeight, fontMetrics().height() + 2 * lineWidth() + 2));
}

void TTitlePanel::setCaption(const QString& caption) { label_->setText(caption); }

QString TTitlePanel::caption() const { return label_->text(); }

void TTitlePanel::addRightWidget(QWidget* widget)
{
    layout_->addWidget(widget, 0, Qt::AlignRight | Qt::AlignVCenter);
    setFixedHeight(std::max(height(), widget->sizeHint().height() + 2 * lineWidth()));
}

TCaptionPanel::TCaptionPanel(const QString& caption, bool loweredBevel, QWidget* parent)
    : QFrame(parent), caption_(caption)
{
    // Opaque, as a panel is: a caption of the panel below must not show through.
    setAutoFillBackground(true);
    if (loweredBevel) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(1);
    }
}

void TCaptionPanel::setCaption(const QString& caption)
{
    caption_ = caption;
    update();
}

void TCaptionPanel::setClient(QWidget* client)
{
    client_ = client;
    client_->setParent(this);
    client_->setGeometry(contentsRect());
}

void TCaptionPanel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(contentsRect(), Qt::AlignCenter, caption_);
}

void TCaptionPanel::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (client_)
        client_->setGeometry(contentsRect());
    emit resized();
}

TImageView::TImageView(QWidget* parent) : QWidget(parent) {}

void TImageView::setImage(const QImage& image)
{
    image_ = image;
    update();
}

void TImageView::paintEvent(QPaintEvent*)
{
    if (image_.isNull())
        return;
    QPainter p(this);
    p.drawImage(QPoint(0, 0), image_);
}

}  // namespace plotwick::app
