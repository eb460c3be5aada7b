// Cursor and image readers: any bytes give a well-sized RGBA image or a failure with a reason.
#include <cstdint>
#include <cstdlib>

#include "platform/core/cursor.h"
#include "platform/core/image.h"

namespace {

void CheckImage(const core::Image& img) {
    if (img.width <= 0 || img.height <= 0) std::abort();
    if (img.rgba.size() != static_cast<size_t>(img.width) * img.height * 4) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string err;
    core::Cursor c;
    if (core::ReadCursor(data, size, c, err)) {
        CheckImage(c.image);
        if (c.hotX < 0 || c.hotY < 0 || c.hotX >= c.image.width || c.hotY >= c.image.height) std::abort();
    } else if (err.empty()) {
        std::abort();
    }
    core::Image img;
    err.clear();
    if (core::DecodeImage(data, size, img, err)) CheckImage(img);
    else if (err.empty()) std::abort();
    return 0;
}
