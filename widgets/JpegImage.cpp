#include "widgets/JpegImage.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace vx {
namespace {

// libjpeg's own error handler calls exit(). Ours jumps back to the decoding step that failed;
// only C frames of the library lie between, so no C++ destructor is skipped.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void OnJpegError(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// A warning means corrupt or missing data (a truncated file is "repaired" by the library with
// grey rows and a warning): the picture is damaged, so it fails like an error.
extern "C" void OnJpegMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        OnJpegError(cinfo);
    }
}

// Each step that can fail sets its own jump point and holds no C++ objects of its own.
bool ReadHeader(jpeg_decompress_struct* cinfo, ErrorManager* errors) {
    if (setjmp(errors->jump)) {
        return false;
    }
    jpeg_read_header(cinfo, TRUE);
    return true;
}

bool StartDecompress(jpeg_decompress_struct* cinfo, ErrorManager* errors) {
    if (setjmp(errors->jump)) {
        return false;
    }
    jpeg_start_decompress(cinfo);
    return true;
}

bool ReadRows(jpeg_decompress_struct* cinfo, ErrorManager* errors, unsigned char* bits,
              long long bytesPerLine) {
    if (setjmp(errors->jump)) {
        return false;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = bits + bytesPerLine * cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) {
            return false;
        }
    }
    return true;
}

bool FinishDecompress(jpeg_decompress_struct* cinfo, ErrorManager* errors) {
    if (setjmp(errors->jump)) {
        return false;
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// Owns the decompressor so that every way out destroys it.
class Decompressor {
public:
    Decompressor() {
        cinfo_.err = jpeg_std_error(&errors_.pub);
        errors_.pub.error_exit = OnJpegError;
        errors_.pub.emit_message = OnJpegMessage;
        errors_.message[0] = '\0';
        jpeg_create_decompress(&cinfo_);
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo_); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    jpeg_decompress_struct* Info() { return &cinfo_; }
    ErrorManager* Errors() { return &errors_; }

    [[noreturn]] void Fail(const char* what) const {
        std::string text = what;
        if (errors_.message[0] != '\0') {
            text += ": ";
            text += errors_.message;
        }
        throw PictureError(text);
    }

private:
    jpeg_decompress_struct cinfo_{};
    ErrorManager errors_{};
};

void CheckDeclaredSize(const jpeg_decompress_struct& cinfo) {
    const long long width = cinfo.image_width;
    const long long height = cinfo.image_height;
    if (width <= 0 || height <= 0) {
        throw PictureError("the picture declares no pixels");
    }
    if (width > kMaxJpegSide || height > kMaxJpegSide || width * height > kMaxJpegPixels) {
        throw PictureError("the picture declares " + std::to_string(width) + " by " +
                           std::to_string(height) + " pixels, more than this program accepts (" +
                           std::to_string(kMaxJpegSide) + " by " + std::to_string(kMaxJpegSide) +
                           " at most)");
    }
}

void ChooseOutput(jpeg_decompress_struct* cinfo) {
    if (cinfo->jpeg_color_space != JCS_GRAYSCALE && cinfo->jpeg_color_space != JCS_YCbCr &&
        cinfo->jpeg_color_space != JCS_RGB) {
        throw PictureError("the picture's colour space (CMYK or unknown) is not supported");
    }
    // Rows land straight in a Format_RGB32 image: B, G, R, X in memory on little-endian
    // machines, X, R, G, B on big-endian ones.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    cinfo->out_color_space = JCS_EXT_BGRX;
#else
    cinfo->out_color_space = JCS_EXT_XRGB;
#endif
    cinfo->dct_method = JDCT_ISLOW;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
    if (data.isEmpty()) {
        throw PictureError("the picture file is empty");
    }
    Decompressor decompressor;
    jpeg_decompress_struct* cinfo = decompressor.Info();
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    if (!ReadHeader(cinfo, decompressor.Errors())) {
        decompressor.Fail("the picture is not a readable JPEG file");
    }
    CheckDeclaredSize(*cinfo);
    ChooseOutput(cinfo);
    if (!StartDecompress(cinfo, decompressor.Errors())) {
        decompressor.Fail("the picture is damaged");
    }
    QImage image(static_cast<int>(cinfo->output_width), static_cast<int>(cinfo->output_height),
                 QImage::Format_RGB32);
    if (image.isNull() || cinfo->output_components != 4) {
        throw PictureError("there is not enough memory to decode the picture");
    }
    if (!ReadRows(cinfo, decompressor.Errors(), image.bits(), image.bytesPerLine())) {
        decompressor.Fail("the picture is damaged or incomplete");
    }
    if (!FinishDecompress(cinfo, decompressor.Errors())) {
        decompressor.Fail("the picture is damaged or incomplete");
    }
    return image;
}

}  // namespace vx
