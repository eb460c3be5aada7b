// Small valid and broken input files written into a fresh folder for one test.
#pragma once

#include <string>

namespace testfiles {

// A new empty folder under the temporary directory; it becomes the working directory.
std::string EnterFreshFolder(const std::string& tag);
void Write(const std::string& path, const std::string& bytes);
std::string Bmp(int width, int height);   // 24-bit, all pixels grey
std::string Cursor(int hotX, int hotY);   // 2x2, 32-bit
// A quad in two triangles with two materials; the first names `texture`.
std::string QuadX(const std::string& texture);
// Parameters View_Pos (float4), LightFalloff (float), matWorld (float4x4), Tex (texture);
// techniques ald_Phong (one pass) and ald_Phong_alpha (two passes, the first blending).
std::string PhongFx();

}  // namespace testfiles
