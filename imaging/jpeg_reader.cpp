#include "imaging/jpeg_reader.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <new>
#include <string>

namespace {

// libjpeg reports a fatal error by calling this, which must not return: it
// jumps back to the reader with the library's own message.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->base.format_message(info, errors->message);
    std::longjmp(errors->escape, 1);
}

void ignoreWarning(j_common_ptr, int) {}

// The decoding itself, kept apart from anything with a destructor so that
// the error jump skips none.
bool decode(std::FILE* file, GreyPicture& picture, std::string& error) {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = ignoreWarning;
    JSAMPROW row = nullptr;
    if (setjmp(errors.escape)) {
        jpeg_destroy_decompress(&info);
        error = errors.message;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    const std::uint64_t dots = std::uint64_t{info.image_width} * info.image_height;
    if (dots == 0 || dots > kMaxGreyDots || info.image_width > kMaxImageSide ||
        info.image_height > kMaxImageSide) {
        jpeg_destroy_decompress(&info);
        error = "picture too large (" + std::to_string(info.image_width) + " x " +
                std::to_string(info.image_height) + ")";
        return false;
    }
    try {
        picture.pixels.resize(static_cast<std::size_t>(dots));
    } catch (const std::bad_alloc&) {
        jpeg_destroy_decompress(&info);
        error = "out of memory";
        return false;
    }
    info.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&info);
    picture.width = static_cast<int32_t>(info.output_width);
    picture.height = static_cast<int32_t>(info.output_height);
    while (info.output_scanline < info.output_height) {
        row = picture.pixels.data() + std::size_t{info.output_scanline} * info.output_width;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

bool looksLikeJpeg(const std::uint8_t* head, std::size_t size) {
    return size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

GreyReadResult readJpegGrey(const std::string& path) {
    GreyReadResult result;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        result.error = path + ": cannot open";
        return result;
    }
    std::string error;
    const bool ok = decode(file, result.picture, error);
    std::fclose(file);
    if (!ok) {
        result.picture = {};
        result.error = path + ": unreadable JPEG (" + error + ")";
    }
    return result;
}
