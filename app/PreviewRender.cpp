#include "app/PreviewRender.h"

#include "app/Images.h"
#include "model/Drawing.h"
#include "platform/gdi/Bitmap.h"

namespace plotwick::app {

QImage RenderToImage(TDrawing& drawing, QSize pixels)
{
    gdi::Bitmap24 bitmap(pixels.width(), pixels.height());
    drawing.LoadShapes(true);
    drawing.RenderToBitmap(bitmap, /*fit=*/true);
    return BitmapToImage(bitmap);
}

}  // namespace plotwick::app
