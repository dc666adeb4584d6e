// The drawing view: one drawing large, drawn from its vectors at the current zoom. It fits the
// window by default; it zooms by keys, Ctrl+wheel and pinch, and pans by dragging and by its
// scrollbars. Renders run on a thread of their own, newest request first; while one is under
// way the view shows the last image it has, scaled, and never waits for it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointer>
#include <QRectF>

#include "render/PathRender.h"

namespace plotwick {
class VPath;
}

namespace plotwick::app {

class TRenderQueue;

// A drawing's shapes, loaded and normalised once and shared with the renders made of them.
struct ViewDrawing {
    std::vector<std::unique_ptr<VPath>> shapes;
    double width = 0, height = 0;  // the bounds after normalising, in drawing units
    ~ViewDrawing();
};

// One render of a region of a drawing.
struct ViewRenderRequest {
    std::shared_ptr<const ViewDrawing> drawing;
    RenderOptions options;
    double scale = 1;      // device pixels per drawing unit
    double x0 = 0, y0 = 0;  // the drawing's point at the image's top left corner
    int width = 0, height = 0;  // device pixels
    std::uint64_t id = 0;
};

// Renders requests on the window's render queue (its group kViewGroup), the newest first. A
// request made while another waits replaces it: only the newest is drawn, and the one being
// drawn finishes and is delivered. Each finished image is handed to the callback on the
// queue's thread.
class TViewRenderer {
public:
    using Done = std::function<void(std::uint64_t id, QImage image, QString error)>;
    TViewRenderer(TRenderQueue& queue, Done done);
    // Drops its renders' results; the queue may have gone first.
    ~TViewRenderer();
    TViewRenderer(const TViewRenderer&) = delete;
    TViewRenderer& operator=(const TViewRenderer&) = delete;

    void Request(ViewRenderRequest request);
    // Drops the waiting request, if any; the one being drawn finishes and is delivered.
    void Cancel();
    // Renders on the calling thread (what each request runs).
    static QImage Render(const ViewRenderRequest& request);

private:
    QPointer<TRenderQueue> queue_;
    Done done_;
};

class TDrawingView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Renders on the queue given (kViewGroup).
    explicit TDrawingView(TRenderQueue& queue, QWidget* parent = nullptr);
    ~TDrawingView() override;

    // Shows a drawing, fitted to the window when the view fits (a new view always does),
    // else at the zoom it has. None clears the view.
    void SetDrawing(std::shared_ptr<const ViewDrawing> drawing, const QString& caption);
    void Clear() { SetDrawing(nullptr, {}); }
    // A drawing is being loaded: its caption shows at once, the last drawing (or the empty
    // view) until SetDrawing hands the new one over.
    void SetLoading(const QString& caption);
    bool Loading() const { return loading_; }
    const QString& Caption() const { return caption_; }
    bool HasDrawing() const { return drawing_ != nullptr; }
    void SetRenderOptions(const RenderOptions& options);

    // Logical pixels per drawing unit: 1 is 100 %.
    double Zoom() const { return zoom_; }
    bool Fits() const { return fit_; }
    // The zoom as the user reads it, "400 %".
    QString ZoomText() const;
    void ZoomIn();
    void ZoomOut();
    void FitToWindow();
    void ActualSize();
    // Zooms about a point of the viewport, which stays over the same spot of the drawing.
    void SetZoom(double zoom, QPointF anchor);

    // The image of the last finished render (device pixels) and the number of renders shown.
    const QImage& RenderedImage() const { return image_; }
    int RenderCount() const { return renderCount_; }
    // A load or a render is asked for or under way.
    bool RenderPending() const { return loading_ || waiting_ != 0 || renderScheduled_; }

    static constexpr double kMinZoom = 0.01, kMaxZoom = 64;
    static constexpr int kMargin = 10;  // logical pixels around the drawing

signals:
    void zoomChanged();
    void rendered();
    // A render failed; the message is the error's.
    void renderFailed(const QString& message);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    double FitZoom() const;
    QSizeF ContentSize() const;  // logical pixels, margins included
    QPointF ContentOrigin() const;  // where the content's top left is in the viewport
    void UpdateScrollBars();
    void ScheduleRender();
    void RequestRender();
    void Delivered(std::uint64_t id, QImage image, QString error);

    std::shared_ptr<const ViewDrawing> drawing_;
    QString caption_;
    RenderOptions options_;
    double zoom_ = 1;
    bool fit_ = true;
    // The last render: its image (device pixels), the zoom and the region of the content
    // (logical pixels at that zoom) it covers.
    QImage image_;
    double imageZoom_ = 0;
    QRectF imageRegion_;
    const ViewDrawing* imageDrawing_ = nullptr;
    std::uint64_t nextId_ = 1;
    // The render asked for and not yet delivered.
    std::uint64_t waitingId_ = 0;
    int waiting_ = 0;
    double waitingZoom_ = 0;
    QRectF waitingRegion_;
    const ViewDrawing* waitingDrawing_ = nullptr;
    bool renderScheduled_ = false;
    bool loading_ = false;
    int renderCount_ = 0;
    QPoint dragFrom_;
    bool dragging_ = false;
    TViewRenderer renderer_;
};

}  // namespace plotwick::app
