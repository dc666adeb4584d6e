#include "app/PreviewRender.h"

#include "app/Images.h"
#include "model/Drawing.h"
#include "platform/codec/Bitmap.h"
#include "render/Rasteriser.h"

namespace plotwick::app {

QImage RenderToImage(TDrawing& drawing, QSize pixels, const RenderOptions& options)
{
    gdi::Bitmap24 bitmap(pixels.width(), pixels.height());
    plotwick::RenderToImage(drawing, bitmap, options);
    return BitmapToImage(bitmap);
}

}  // namespace plotwick::app
