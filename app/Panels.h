// The plain building blocks of the main window: title bars, captioned panels and the image
// control of the preview.
#pragma once

#include <QFrame>
#include <QImage>
#include <QWidget>

class QLabel;
class QHBoxLayout;

namespace plotwick::app {

// A bar with a left-aligned caption in a lowered bevel; widgets added to it sit at its right.
class TTitlePanel : public QFrame {
    Q_OBJECT
public:
    TTitlePanel(const QString& caption, int designedHeight, int borderWidth, QWidget* parent = nullptr);
    void setCaption(const QString& caption);
    QString caption() const;
    void addRightWidget(QWidget* widget);

private:
    QLabel* label_;
    QHBoxLayout* layout_;
};

// A panel that shows its caption centred wherever its client does not cover it; the client
// fills the panel inside its bevel.
class TCaptionPanel : public QFrame {
    Q_OBJECT
public:
    TCaptionPanel(const QString& caption, bool loweredBevel, QWidget* parent = nullptr);
    void setCaption(const QString& caption);
    QString caption() const { return caption_; }
    void setClient(QWidget* client);

signals:
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString caption_;
    QWidget* client_ = nullptr;
};

// Shows one bitmap at its top-left corner, unscaled; with no bitmap it is see-through.
class TImageView : public QWidget {
    Q_OBJECT
public:
    explicit TImageView(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

}  // namespace plotwick::app
