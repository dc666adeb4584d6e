// The preview of a drawing: its shapes loaded afresh and normalised, drawn fitted into an
// image of the preview's size.
#pragma once

#include <QImage>
#include <QSize>

namespace plotwick {
class TDrawing;
struct RenderOptions;
}

namespace plotwick::app {

QImage RenderToImage(TDrawing& drawing, QSize pixels, const RenderOptions& options);

}  // namespace plotwick::app
