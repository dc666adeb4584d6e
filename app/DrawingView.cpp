#include "app/DrawingView.h"

#include <algorithm>
#include <cmath>

#include <QGestureEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPinchGesture>
#include <QScrollBar>
#include <QTimer>

#include "app/Images.h"
#include "app/RenderQueue.h"
#include "model/Shapes.h"
#include "platform/codec/Bitmap.h"
#include "render/Rasteriser.h"

namespace plotwick::app {

ViewDrawing::~ViewDrawing() = default;

// --- The render thread ------------------------------------------------------------------------

TViewRenderer::TViewRenderer(TRenderQueue& queue, Done done) : queue_(&queue), done_(std::move(done)) {}

TViewRenderer::~TViewRenderer()
{
    if (queue_)
        queue_->Cancel(kViewGroup);
}

void TViewRenderer::Request(ViewRenderRequest request)
{
    if (!queue_)
        return;
    queue_->DropQueued(kViewGroup);  // a render not started yet is outdated by this one
    const std::uint64_t id = request.id;
    queue_->Submit(
        kViewGroup,
        [request = std::move(request)](const std::atomic<bool>&) mutable {
            RenderResult result{Render(request), {}};
            request.drawing.reset();  // the shapes are freed here, not on the window's thread
            return result;
        },
        [this, id](const RenderResult& result) { done_(id, result.image, result.error); });
}

void TViewRenderer::Cancel()
{
    if (queue_)
        queue_->DropQueued(kViewGroup);
}

QImage TViewRenderer::Render(const ViewRenderRequest& request)
{
    gdi::Bitmap24 target(request.width, request.height);
    RenderRegion(request.drawing->shapes, target, request.scale, request.x0, request.y0, request.options);
    return BitmapToImage(target);
}

// --- The view ---------------------------------------------------------------------------------

namespace {

// The zooms the keys step through.
constexpr double kZoomSteps[] = {0.01, 0.02, 0.05, 0.1, 0.15, 0.25, 1.0 / 3, 0.5, 2.0 / 3, 1, 1.5, 2,
                                 3,    4,    6,    8,   12,   16,   24,      32,  48,      64};

}  // namespace

TDrawingView::TDrawingView(TRenderQueue& queue, QWidget* parent)
    : QAbstractScrollArea(parent),
      renderer_(queue, [this](std::uint64_t id, QImage image, QString error) {
          Delivered(id, std::move(image), std::move(error));
      })
{
    setObjectName(QStringLiteral("drView"));
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    viewport()->setCursor(Qt::OpenHandCursor);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->grabGesture(Qt::PinchGesture);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
}

TDrawingView::~TDrawingView() = default;

void TDrawingView::SetDrawing(std::shared_ptr<const ViewDrawing> drawing, const QString& caption)
{
    drawing_ = std::move(drawing);
    caption_ = caption;
    loading_ = false;
    image_ = QImage();
    imageDrawing_ = nullptr;
    waitingId_ = 0;
    waiting_ = 0;
    renderer_.Cancel();
    if (fit_ || !drawing_)
        zoom_ = FitZoom();
    UpdateScrollBars();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    viewport()->update();
    ScheduleRender();
    emit zoomChanged();
}

void TDrawingView::SetLoading(const QString& caption)
{
    caption_ = caption;
    loading_ = true;
    emit zoomChanged();
}

void TDrawingView::SetRenderOptions(const RenderOptions& options)
{
    if (options.SubstituteFontName == options_.SubstituteFontName)
        return;
    options_ = options;
    imageZoom_ = -1;  // what is shown stays until the new render is there
    ScheduleRender();
}

QString TDrawingView::ZoomText() const
{
    return QString::number(std::lround(zoom_ * 100)) + QStringLiteral(" %");
}

double TDrawingView::FitZoom() const
{
    if (!drawing_)
        return 1;
    const double w = std::max(1.0, drawing_->width), h = std::max(1.0, drawing_->height);
    const QSize v = viewport()->size();
    const double z = std::min((v.width() - 2 * kMargin) / w, (v.height() - 2 * kMargin) / h);
    return std::clamp(z, kMinZoom, kMaxZoom);
}

QSizeF TDrawingView::ContentSize() const
{
    if (!drawing_)
        return {};
    return {drawing_->width * zoom_ + 2 * kMargin, drawing_->height * zoom_ + 2 * kMargin};
}

QPointF TDrawingView::ContentOrigin() const
{
    const QSizeF c = ContentSize();
    const QSize v = viewport()->size();
    const double x = c.width() < v.width() ? (v.width() - c.width()) / 2 : -horizontalScrollBar()->value();
    const double y = c.height() < v.height() ? (v.height() - c.height()) / 2 : -verticalScrollBar()->value();
    return {std::floor(x), std::floor(y)};
}

void TDrawingView::UpdateScrollBars()
{
    const QSizeF c = ContentSize();
    const QSize v = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(c.width())) - v.width()));
    verticalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(c.height())) - v.height()));
    horizontalScrollBar()->setPageStep(v.width());
    verticalScrollBar()->setPageStep(v.height());
}

void TDrawingView::SetZoom(double zoom, QPointF anchor)
{
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    const bool wasFit = fit_;
    fit_ = false;
    if (!drawing_ || (zoom == zoom_ && !wasFit))
        return;
    // The drawing's point under the anchor stays under it.
    const QPointF before = ContentOrigin();
    const double u = (anchor.x() - before.x() - kMargin) / zoom_;
    const double w = (anchor.y() - before.y() - kMargin) / zoom_;
    zoom_ = zoom;
    UpdateScrollBars();
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(kMargin + u * zoom_ - anchor.x())));
    verticalScrollBar()->setValue(static_cast<int>(std::lround(kMargin + w * zoom_ - anchor.y())));
    viewport()->update();
    ScheduleRender();
    emit zoomChanged();
}

void TDrawingView::ZoomIn()
{
    const double* next = std::upper_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom_ * 1.001);
    SetZoom(next == std::end(kZoomSteps) ? kMaxZoom : *next, QRectF(viewport()->rect()).center());
}

void TDrawingView::ZoomOut()
{
    const double* next = std::lower_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom_ / 1.001);
    SetZoom(next == std::begin(kZoomSteps) ? kMinZoom : *(next - 1), QRectF(viewport()->rect()).center());
}

void TDrawingView::FitToWindow()
{
    fit_ = true;
    zoom_ = FitZoom();
    UpdateScrollBars();
    viewport()->update();
    ScheduleRender();
    emit zoomChanged();
}

void TDrawingView::ActualSize()
{
    SetZoom(1, QRectF(viewport()->rect()).center());
}

void TDrawingView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (fit_) {
        zoom_ = FitZoom();
        emit zoomChanged();
    }
    UpdateScrollBars();
    ScheduleRender();
}

void TDrawingView::scrollContentsBy(int, int)
{
    viewport()->update();
    ScheduleRender();
}

void TDrawingView::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Mid));
    if (!drawing_)
        return;
    const QPointF origin = ContentOrigin();
    const QSizeF content = ContentSize();
    p.fillRect(QRectF(origin, content), Qt::white);
    if (image_.isNull() || imageDrawing_ != drawing_.get() || imageZoom_ == 0)
        return;
    // The last render where it lands at the current zoom: scaled while a new one is under way.
    const double f = imageZoom_ > 0 ? zoom_ / imageZoom_ : 1;
    const QRectF target(origin.x() + imageRegion_.x() * f, origin.y() + imageRegion_.y() * f,
                        imageRegion_.width() * f, imageRegion_.height() * f);
    if (std::abs(f - 1) > 1e-9)
        p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, image_);
}

void TDrawingView::ScheduleRender()
{
    if (renderScheduled_ || !drawing_)
        return;
    renderScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        renderScheduled_ = false;
        RequestRender();
    });
}

void TDrawingView::RequestRender()
{
    if (!drawing_ || !isVisible())
        return;
    const QPointF origin = ContentOrigin();
    const QRectF content(QPointF(0, 0), ContentSize());
    const QRectF visible = QRectF(-origin, QSizeF(viewport()->size())).intersected(content);
    if (visible.isEmpty())
        return;
    if (imageDrawing_ == drawing_.get() && imageZoom_ == zoom_ && imageRegion_.contains(visible))
        return;  // what is shown is current
    if (waiting_ != 0 && waitingZoom_ == zoom_ && waitingRegion_.contains(visible))
        return;  // and what is coming
    // A quarter of the viewport more on each side, so that panning shows rendered vectors.
    const double mx = viewport()->width() / 4.0, my = viewport()->height() / 4.0;
    QRectF region = visible.adjusted(-mx, -my, mx, my).intersected(content);
    region = QRectF(QPointF(std::floor(region.left()), std::floor(region.top())),
                    QPointF(std::ceil(region.right()), std::ceil(region.bottom())));
    const double ratio = devicePixelRatioF();
    ViewRenderRequest request;
    request.drawing = drawing_;
    request.options = options_;
    request.scale = zoom_ * ratio;
    request.x0 = (region.x() - kMargin) / zoom_;
    request.y0 = (region.y() - kMargin) / zoom_;
    request.width = std::max(1, static_cast<int>(std::lround(region.width() * ratio)));
    request.height = std::max(1, static_cast<int>(std::lround(region.height() * ratio)));
    request.id = nextId_++;
    waitingId_ = request.id;
    waiting_ = 1;
    waitingZoom_ = zoom_;
    waitingRegion_ = region;
    waitingDrawing_ = drawing_.get();
    renderer_.Request(std::move(request));
}

void TDrawingView::Delivered(std::uint64_t id, QImage image, QString error)
{
    if (id != waitingId_)
        return;  // a newer render is on its way
    waiting_ = 0;
    if (waitingDrawing_ != drawing_.get())
        return;
    if (!error.isEmpty()) {
        emit renderFailed(error);
        return;
    }
    image.setDevicePixelRatio(devicePixelRatioF());
    image_ = std::move(image);
    imageDrawing_ = waitingDrawing_;
    imageZoom_ = waitingZoom_;
    imageRegion_ = waitingRegion_;
    ++renderCount_;
    viewport()->update();
    emit rendered();
    ScheduleRender();  // the view may have moved on while it was drawn
}

void TDrawingView::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const int delta = event->angleDelta().y();
        if (delta != 0)
            SetZoom(zoom_ * std::pow(1.2, delta / 120.0), event->position());
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

void TDrawingView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragFrom_ = event->position().toPoint();
        viewport()->setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void TDrawingView::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_) {
        const QPoint at = event->position().toPoint();
        const QPoint d = at - dragFrom_;
        dragFrom_ = at;
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - d.x());
        verticalScrollBar()->setValue(verticalScrollBar()->value() - d.y());
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

void TDrawingView::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        viewport()->setCursor(Qt::OpenHandCursor);
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}

bool TDrawingView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) {
        // A touchpad's pinch: the value is the change of scale since the last event.
        const auto* g = static_cast<QNativeGestureEvent*>(event);
        if (g->gestureType() == Qt::ZoomNativeGesture) {
            SetZoom(zoom_ * (1 + g->value()), g->position());
            return true;
        }
    } else if (event->type() == QEvent::Gesture) {
        // A touch screen's pinch.
        auto* g = static_cast<QGestureEvent*>(event);
        if (auto* pinch = static_cast<QPinchGesture*>(g->gesture(Qt::PinchGesture))) {
            if (pinch->changeFlags() & QPinchGesture::ScaleFactorChanged)
                SetZoom(zoom_ * pinch->scaleFactor(), viewport()->mapFromGlobal(pinch->centerPoint().toPoint()));
            g->accept(pinch);
            return true;
        }
    }
    return QAbstractScrollArea::viewportEvent(event);
}

}  // namespace plotwick::app
