// DirectDraw Surface (.dds) textures: the top mip level of the first surface as RGBA.
// Reads DXT1, DXT2/3 and DXT4/5 blocks and uncompressed RGB, RGBA, luminance and alpha
// surfaces described by bit masks. Internal to platform/core; DecodeImage calls it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/core/image.h"

namespace core {
namespace dds {

bool IsDds(const uint8_t* data, size_t size);
bool Decode(const uint8_t* data, size_t size, Image& out, std::string& err);

}  // namespace dds
}  // namespace core
