#include "tests/support/x_files.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace testsupport {

std::string ZipXFile(const std::string& file, size_t blockSize) {
    std::string body = file.substr(16);
    std::string out = file.substr(0, 8) + (file.compare(8, 3, "txt") == 0 ? "tzip" : "bzip") +
                      file.substr(12, 4);
    uint32_t total = static_cast<uint32_t>(file.size());
    out.append(reinterpret_cast<const char*>(&total), 4);
    for (size_t at = 0; at < body.size(); at += blockSize) {
        size_t n = std::min(blockSize, body.size() - at);
        z_stream zs{};
        deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        if (at) deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(at));
        std::vector<uint8_t> buf(n + 256);
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data() + at));
        zs.avail_in = static_cast<uInt>(n);
        zs.next_out = buf.data();
        zs.avail_out = static_cast<uInt>(buf.size());
        deflate(&zs, Z_FINISH);
        size_t packed = buf.size() - zs.avail_out;
        deflateEnd(&zs);
        uint16_t u = static_cast<uint16_t>(n), c = static_cast<uint16_t>(packed + 2);
        out.append(reinterpret_cast<const char*>(&u), 2);
        out.append(reinterpret_cast<const char*>(&c), 2);
        out += "CK";
        out.append(reinterpret_cast<const char*>(buf.data()), packed);
    }
    return out;
}

std::string ManyVerticesX(size_t vertices) {
    std::string out = "xof 0303txt 0032\nMesh {\n" + std::to_string(vertices) + ";\n0;0;0;,\n1;0;0;,\n";
    for (size_t i = 2; i + 1 < vertices; ++i) out += "0;0;0;,\n";
    out += "0;1;0;;\n1;\n3;0,1," + std::to_string(vertices - 1) + ";;\n}\n";
    return out;
}

}  // namespace testsupport
