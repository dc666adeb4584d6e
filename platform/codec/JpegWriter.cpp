#include "platform/codec/JpegWriter.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

#include "platform/files/Files.h"

namespace plotwick {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

}  // namespace

std::vector<std::uint8_t> EncodeJpeg(const gdi::Bitmap24& bitmap, const JpegOptions& options)
{
    if (bitmap.Empty())
        throw std::runtime_error("The image has no pixels.");
    if (bitmap.Width() > JPEG_MAX_DIMENSION || bitmap.Height() > JPEG_MAX_DIMENSION)
        throw std::runtime_error("The image is too large for a JPEG file.");

    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    // Everything the error path touches lives outside the jump.
    std::vector<std::uint8_t> row(static_cast<std::size_t>(bitmap.Width()) * 3);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        throw std::runtime_error(std::string("JPEG error: ") + err.message);
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    // The colour space first: it resets the component tables that quality and progression use.
    if (options.grayscale)
        jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* src = bitmap.Row(static_cast<std::int32_t>(cinfo.next_scanline));
        for (std::size_t x = 0; x < row.size(); x += 3) {
            row[x] = src[x + 2];  // the bitmap is blue, green, red
            row[x + 1] = src[x + 1];
            row[x + 2] = src[x];
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

void SaveJpegFile(const gdi::Bitmap24& bitmap, const JpegOptions& options, const std::string& path)
{
    const std::vector<std::uint8_t> bytes = EncodeJpeg(bitmap, options);
    files::WriteFileAtomically(path, bytes.data(), bytes.size());
}

}  // namespace plotwick
