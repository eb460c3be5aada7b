#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/core/xfile.h"
#include "tests/support/x_files.h"

using core::XMesh;

namespace {

bool Read(const std::string& s, XMesh& m, std::string& err) {
    return core::ReadXFile(reinterpret_cast<const uint8_t*>(s.data()), s.size(), m, err);
}

XMesh Load(const std::string& s) {
    XMesh m;
    std::string err;
    EXPECT_TRUE(Read(s, m, err)) << err;
    return m;
}

std::string Fails(const std::string& s) {
    XMesh m;
    std::string err;
    EXPECT_FALSE(Read(s, m, err)) << "accepted:\n" << s;
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(m.vertices.empty() && m.materials.empty());
    return err;
}

const char* kHeader = "xof 0303txt 0032\n";

// A unit quad in the z=0 plane, written as one 4-corner face.
const char* kQuad =
    "Mesh Quad {\n"
    " 4;\n 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;1.0;0.0;;\n"
    " 1;\n 4;0,1,3,2;;\n"
    "}\n";

std::vector<uint32_t> Tri(const XMesh& m, size_t t) { return {m.indices[t * 3], m.indices[t * 3 + 1], m.indices[t * 3 + 2]}; }

}  // namespace

TEST(XFileText, PolygonBecomesFanWithDefaultMaterial) {
    XMesh m = Load(std::string(kHeader) + kQuad);
    ASSERT_EQ(m.vertices.size(), 4u);
    ASSERT_EQ(m.indices.size(), 6u);
    EXPECT_EQ(Tri(m, 0), (std::vector<uint32_t>{0, 1, 3}));
    EXPECT_EQ(Tri(m, 1), (std::vector<uint32_t>{0, 3, 2}));
    EXPECT_FALSE(m.hasNormals);
    EXPECT_FALSE(m.hasTexCoords);
    ASSERT_EQ(m.materials.size(), 1u);
    const core::XMaterial& d = m.materials[0];
    EXPECT_FLOAT_EQ(d.diffuse[0], 0.5f);
    EXPECT_FLOAT_EQ(d.diffuse[3], 0.0f);
    EXPECT_FLOAT_EQ(d.specular[1], 0.5f);
    EXPECT_FLOAT_EQ(d.ambient[3], 0.0f);
    EXPECT_TRUE(d.textureFile.empty());
    ASSERT_EQ(m.subsets.size(), 1u);
    EXPECT_EQ(m.subsets[0].faceCount, 2u);
    EXPECT_EQ(m.subsets[0].vertexCount, 4u);
    EXPECT_EQ(m.attributes, (std::vector<uint32_t>{0, 0}));
}

TEST(XFileText, SeparatorsCommentsTemplatesAndIntegers) {
    // Commas and semicolons used loosely, comments of both kinds, a template block, integers
    // where floats are expected, and a number-like object name.
    std::string x = std::string(kHeader) +
        "template Mesh { <3D82AB44-62DA-11CF-AB39-0020AF71E433> DWORD nVertices; array Vector vertices[nVertices]; [...] }\n"
        "# hash comment\n"
        "Mesh 1 { // name that looks like a number\n"
        " 3, 0,0,0, 2,0,0, 0,-1.5e1,0,\n"
        " 1; 3;0;1;2;;\n"
        "}\n";
    XMesh m = Load(x);
    ASSERT_EQ(m.vertices.size(), 3u);
    EXPECT_FLOAT_EQ(m.vertices[1].pos[0], 2.0f);
    EXPECT_FLOAT_EQ(m.vertices[2].pos[1], -15.0f);
}

TEST(XFileText, FrameTransformsAccumulateInDocumentOrderAndDownTheTree) {
    // In one frame each matrix applies to the meshes after it; a child frame's matrix comes
    // before its parent's (row vectors): child scale 2, parent translate x by 10.
    std::string tri = "Mesh { 3; 1;0;0;, 0;1;0;, 0;0;1;; 1; 3;0,1,2;; }\n";
    std::string x = std::string(kHeader) +
        "Frame Root {\n" + tri +
        " FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,2,1;; }\n" + tri +
        " FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,3,1;; }\n" + tri +
        "}\n"
        "Frame Parent {\n"
        " FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }\n"
        " Frame Child {\n"
        "  FrameTransformMatrix { 2,0,0,0, 0,2,0,0, 0,0,2,0, 0,0,0,1;; }\n  " + tri +
        " }\n"
        "}\n";
    XMesh m = Load(x);
    ASSERT_EQ(m.vertices.size(), 12u);
    EXPECT_FLOAT_EQ(m.vertices[2].pos[2], 1.0f);
    EXPECT_FLOAT_EQ(m.vertices[5].pos[2], 3.0f);
    EXPECT_FLOAT_EQ(m.vertices[8].pos[2], 6.0f);
    EXPECT_FLOAT_EQ(m.vertices[9].pos[0], 12.0f);   // 1*2 + 10, not (1+10)*2
    EXPECT_FLOAT_EQ(m.vertices[10].pos[1], 2.0f);
    EXPECT_EQ(Tri(m, 3), (std::vector<uint32_t>{9, 10, 11}));
}

TEST(XFileText, MergedMeshesKeepMaterialsInOrderWithReferences) {
    std::string x = std::string(kHeader) +
        "Material Red { 1;0;0;1;; 8; 0.5;0.5;0.5;; 0;0;0;; TextureFilename { \"tex\\\\red.bmp\"; } }\n"
        "Material Unused { 0;0;1;0.25;; 1; 0;0;0;; 0.1;0.2;0.3;; }\n"
        "Mesh A { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,2;;\n"
        "  MeshMaterialList { 2; 1; 1;; { Red } { Unused } } }\n"
        "Mesh B { 4; 0;0;1;,1;0;1;,0;1;1;,1;1;1;; 2; 3;0,1,2;, 3;1,3,2;;\n"
        "  MeshMaterialList { 1; 2; 0,0;; Material { 0;1;0;1;; 2; 0;0;0;; 0;0;0;; } } }\n";
    XMesh m = Load(x);
    ASSERT_EQ(m.materials.size(), 3u);
    EXPECT_FLOAT_EQ(m.materials[0].diffuse[0], 1.0f);
    EXPECT_FLOAT_EQ(m.materials[0].power, 8.0f);
    EXPECT_FLOAT_EQ(m.materials[0].specular[3], 1.0f);
    EXPECT_FLOAT_EQ(m.materials[0].ambient[3], 1.0f);
    EXPECT_EQ(m.materials[0].textureFile, "tex\\\\red.bmp");  // as written, not unescaped
    EXPECT_FLOAT_EQ(m.materials[1].diffuse[3], 0.25f);
    EXPECT_FLOAT_EQ(m.materials[1].emissive[2], 0.3f);
    EXPECT_FLOAT_EQ(m.materials[2].diffuse[1], 1.0f);
    ASSERT_EQ(m.vertices.size(), 7u);
    EXPECT_EQ(Tri(m, 0), (std::vector<uint32_t>{0, 1, 2}));   // A's triangle uses material 1
    EXPECT_EQ(Tri(m, 1), (std::vector<uint32_t>{3, 4, 5}));   // B's triangles offset by A's 3 vertices
    EXPECT_EQ(m.attributes, (std::vector<uint32_t>{1, 2, 2}));
    // Material 1 (Unused) has no triangles and therefore no subset.
    ASSERT_EQ(m.subsets.size(), 2u);
    EXPECT_EQ(m.subsets[0].attribId, 1u);
    EXPECT_EQ(m.subsets[1].attribId, 2u);
    EXPECT_EQ(m.subsets[1].faceStart, 1u);
    EXPECT_EQ(m.subsets[1].faceCount, 2u);
    EXPECT_EQ(m.subsets[1].vertexStart, 3u);
    EXPECT_EQ(m.subsets[1].vertexCount, 4u);
}

TEST(XFileText, TrianglesAreGroupedByMaterialKeepingFileOrder) {
    std::string x = std::string(kHeader) +
        "Mesh { 5; 0;0;0;,1;0;0;,0;1;0;,1;1;0;,2;2;0;; 3; 3;0,1,2;, 3;1,3,2;, 3;2,3,4;;\n"
        " MeshMaterialList { 2; 3; 1,0,1;;\n"
        "  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } Material { 0;0;0;1;; 0; 0;0;0;; 0;0;0;; } } }\n";
    XMesh m = Load(x);
    EXPECT_EQ(m.attributes, (std::vector<uint32_t>{0, 1, 1}));
    EXPECT_EQ(Tri(m, 0), (std::vector<uint32_t>{1, 3, 2}));
    EXPECT_EQ(Tri(m, 1), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(Tri(m, 2), (std::vector<uint32_t>{2, 3, 4}));
    ASSERT_EQ(m.subsets.size(), 2u);
    EXPECT_EQ(m.subsets[1].vertexStart, 0u);
    EXPECT_EQ(m.subsets[1].vertexCount, 5u);
}

TEST(XFileText, ShortFaceIndexListRepeatsItsLastIndex) {
    // Exporters often write fewer face indexes than faces (one for a mesh of one material).
    std::string x = std::string(kHeader) +
        "Mesh { 5; 0;0;0;,1;0;0;,0;1;0;,1;1;0;,2;2;0;; 3; 3;0,1,2;, 3;1,3,2;, 3;2,3,4;;\n"
        " MeshMaterialList { 2; 2; 1,0;;\n"
        "  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } Material { 0;0;0;1;; 0; 0;0;0;; 0;0;0;; } } }\n";
    XMesh m = Load(x);
    EXPECT_EQ(m.attributes, (std::vector<uint32_t>{0, 0, 1}));
    EXPECT_EQ(Tri(m, 1), (std::vector<uint32_t>{2, 3, 4}));
    EXPECT_EQ(Tri(m, 2), (std::vector<uint32_t>{0, 1, 2}));
}

TEST(XFileText, MeshWithoutListNextToListedMeshGetsDefaultMaterial) {
    std::string x = std::string(kHeader) + kQuad +
        "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,2;;\n"
        " MeshMaterialList { 1; 1; 0;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; } } }\n";
    XMesh m = Load(x);
    ASSERT_EQ(m.materials.size(), 2u);
    EXPECT_FLOAT_EQ(m.materials[1].diffuse[0], 0.5f);
    EXPECT_EQ(m.attributes, (std::vector<uint32_t>{0, 1, 1}));
}

TEST(XFileText, NormalsWithOwnIndicesSplitVertices) {
    // Two triangles share the edge 1-2; the second uses other normals there. The first use
    // keeps the original slot, copies follow the original vertices with the same uv.
    std::string x = std::string(kHeader) +
        "Mesh { 4; 0;0;0;,1;0;0;,0;1;0;,1;1;0;; 2; 3;0,1,2;, 3;1,3,2;;\n"
        " MeshNormals { 3; 0;0;-1;, 0;1;0;, 0;0;-1;; 2; 3;0,0,0;, 3;1,1,2;; }\n"
        " MeshTextureCoords { 4; 0;0;, 1;0;, 0;1;, 1;1;; }\n"
        " MeshVertexColors { 1; 3; 1;0.5;0;0.1;; }\n"
        "}\n";
    XMesh m = Load(x);
    EXPECT_TRUE(m.hasNormals);
    EXPECT_TRUE(m.hasTexCoords);
    EXPECT_TRUE(m.hasColors);
    // Vertex 2 is used with normal 2, equal in value to normal 0: not split.
    ASSERT_EQ(m.vertices.size(), 5u);
    EXPECT_EQ(Tri(m, 0), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(Tri(m, 1), (std::vector<uint32_t>{4, 3, 2}));
    EXPECT_FLOAT_EQ(m.vertices[1].normal[2], -1.0f);
    EXPECT_FLOAT_EQ(m.vertices[3].normal[1], 1.0f);
    EXPECT_FLOAT_EQ(m.vertices[4].normal[1], 1.0f);
    EXPECT_FLOAT_EQ(m.vertices[4].pos[0], 1.0f);
    EXPECT_FLOAT_EQ(m.vertices[4].uv[0], 1.0f);
    EXPECT_EQ(m.vertices[3].color, 0x1AFF8000u);
    EXPECT_EQ(m.vertices[0].color, 0xFFFFFFFFu);
}

TEST(XFileText, FrameRotationTurnsNormals) {
    // 90 degrees about z: x axis goes to y axis.
    std::string x = std::string(kHeader) +
        "Frame { FrameTransformMatrix { 0,1,0,0, -1,0,0,0, 0,0,1,0, 0,0,0,1;; }\n"
        " Mesh { 3; 1;0;0;, 0;1;0;, 0;0;1;; 1; 3;0,1,2;;\n"
        "  MeshNormals { 1; 1;0;0;; 1; 3;0,0,0;; } } }\n";
    XMesh m = Load(x);
    EXPECT_NEAR(m.vertices[0].pos[1], 1.0f, 1e-6);
    EXPECT_NEAR(m.vertices[1].pos[0], -1.0f, 1e-6);
    EXPECT_NEAR(m.vertices[0].normal[0], 0.0f, 1e-6);
    EXPECT_NEAR(m.vertices[0].normal[1], 1.0f, 1e-6);
}

TEST(XFileText, BadFilesFailWithReason) {
    std::string h = kHeader;
    EXPECT_NE(Fails(h).find("no data objects"), std::string::npos);
    Fails("xof 0303txt 00");
    EXPECT_NE(Fails("xif 0303txt 0032 Mesh{}").find("magic"), std::string::npos);
    Fails("xof 0303abc 0032 Mesh{}");
    Fails("xof 0303txt 0016 Mesh{}");
    EXPECT_NE(Fails(h + "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,3;; }").find("out of range"), std::string::npos);
    EXPECT_NE(Fails(h + "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 2;0,1;; }").find("fewer than 3"), std::string::npos);
    EXPECT_NE(Fails(h + "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,2;;"
                        " MeshMaterialList { 1; 1; 1;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }")
                  .find("out of range"), std::string::npos);
    EXPECT_NE(Fails(h + "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,2;;"
                        " MeshMaterialList { 1; 1; 0;; { Nowhere } } }")
                  .find("Nowhere"), std::string::npos);
    Fails(h + "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 2; 1; 0;; "
              "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }");
    Fails(h + "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,2;; MeshTextureCoords { 2; 0;0;, 1;1;; } }");
    Fails(h + "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 1; 3;0,0,1;; } }");
    Fails(h + "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }");
    Fails(h + "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,-2;; }");
    Fails(h + "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,1.5;; }");
    Fails(h + "Mesh { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,2;; } }");
    Fails(h + "Mesh { \"unterminated }");
    Fails(h + "Frame { FrameTransformMatrix { 1,0,0,0;; } " + kQuad + " }");
    EXPECT_NE(Fails(h + "Frame { }").find("no mesh"), std::string::npos);
    // Every prefix of a good file fails cleanly (or, at the very end, succeeds).
    std::string good = h + "Frame F { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }\n" + kQuad + "}\n";
    size_t close = good.rfind('}');
    for (size_t n = 0; n < close; ++n) {
        XMesh m;
        std::string err;
        EXPECT_FALSE(Read(good.substr(0, n), m, err)) << n;
    }
}

TEST(XFileText, FramesMayReferToMeshesButNotLoop) {
    std::string tri = "Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n";
    XMesh m = Load(std::string(kHeader) + tri +
                   "Frame F { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,7,1;; } { M } }\n");
    ASSERT_EQ(m.vertices.size(), 6u);   // once at the top level, once through the frame
    EXPECT_FLOAT_EQ(m.vertices[4].pos[2], 7.0f);
    EXPECT_FALSE(Fails(std::string(kHeader) + tri + "Frame A { { M } { A } }").empty());
    std::string fan = std::string(kHeader) + tri + "Frame B0 { { M } { M } }\n";
    for (int i = 1; i < 40; ++i)
        fan += "Frame B" + std::to_string(i) + " { { B" + std::to_string(i - 1) + " } { B" + std::to_string(i - 1) + " } }\n";
    EXPECT_NE(Fails(fan).find("too often"), std::string::npos);
}

TEST(XFileText, DeepNestingIsRefused) {
    std::string x = kHeader;
    for (int i = 0; i < 5000; ++i) x += "Frame {";
    EXPECT_NE(Fails(x).find("deeply"), std::string::npos);
}

// ------------------------------------------------------------------------------------------
// Binary and compressed files

namespace {

struct Bin {
    std::string s;
    void W(uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); }
    void D(uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }
    void Name(const std::string& n) { W(1); D(static_cast<uint32_t>(n.size())); s += n; }
    void Str(const std::string& n) { W(2); D(static_cast<uint32_t>(n.size())); s += n; W(20); }
    void Open() { W(10); }
    void Close() { W(11); }
    void Ints(std::vector<uint32_t> v) { W(6); D(static_cast<uint32_t>(v.size())); for (uint32_t x : v) D(x); }
    void Floats(std::vector<float> v) { W(7); D(static_cast<uint32_t>(v.size())); for (float f : v) s.append(reinterpret_cast<const char*>(&f), 4); }
    void Doubles(std::vector<double> v) { W(7); D(static_cast<uint32_t>(v.size())); for (double f : v) s.append(reinterpret_cast<const char*>(&f), 8); }
};

// The quad of kQuad inside a translated frame, with a referenced textured material.
std::string BinaryQuad(bool doubles) {
    Bin b;
    b.W(31); b.Name("Vector"); b.Open(); b.W(5); b.s.append(16, '\x11'); b.W(42); b.Name("x"); b.W(20); b.Close();
    b.Name("Material"); b.Name("Wood"); b.Open();
    std::vector<double> mat = {1, 0.5, 0.25, 1, 4, 0, 0, 0, 0, 0, 0};
    if (doubles) b.Doubles(mat); else b.Floats(std::vector<float>(mat.begin(), mat.end()));
    b.Name("TextureFilename"); b.Open(); b.Str("wood.bmp"); b.Close();
    b.Close();
    b.Name("Frame"); b.Open();
    b.Name("FrameTransformMatrix"); b.Open();
    std::vector<double> m = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1};
    if (doubles) b.Doubles(m); else b.Floats(std::vector<float>(m.begin(), m.end()));
    b.Close();
    b.Name("Mesh"); b.Open();
    b.Ints({4});
    std::vector<double> p = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
    if (doubles) b.Doubles(p); else b.Floats(std::vector<float>(p.begin(), p.end()));
    b.Ints({1, 4, 0, 1, 3, 2});
    b.Name("MeshMaterialList"); b.Open(); b.Ints({1, 1, 0}); b.Open(); b.Name("Wood"); b.Close(); b.Close();
    b.Close();
    b.Close();
    return std::string(doubles ? "xof 0303bin 0064" : "xof 0303bin 0032") + b.s;
}

void CheckQuad(const XMesh& m) {
    ASSERT_EQ(m.vertices.size(), 4u);
    EXPECT_FLOAT_EQ(m.vertices[3].pos[0], 6.0f);
    EXPECT_EQ(Tri(m, 1), (std::vector<uint32_t>{0, 3, 2}));
    ASSERT_EQ(m.materials.size(), 1u);
    EXPECT_FLOAT_EQ(m.materials[0].diffuse[2], 0.25f);
    EXPECT_FLOAT_EQ(m.materials[0].power, 4.0f);
    EXPECT_EQ(m.materials[0].textureFile, "wood.bmp");
}

}  // namespace

TEST(XFileBinary, FloatAndDoubleFilesGiveTheSameMesh) {
    CheckQuad(Load(BinaryQuad(false)));
    CheckQuad(Load(BinaryQuad(true)));
}

TEST(XFileBinary, TruncatedOrCorruptTokensFail) {
    std::string good = BinaryQuad(false);
    for (size_t n = 16; n < good.size(); ++n) {
        XMesh m;
        std::string err;
        EXPECT_FALSE(Read(good.substr(0, n), m, err)) << n;
        EXPECT_FALSE(err.empty());
    }
    std::string bad = good;
    bad[16] = 99;  // unknown token id
    EXPECT_NE(Fails(bad).find("unknown token"), std::string::npos);
    Bin b;
    b.Name("Mesh"); b.Open(); b.W(6); b.D(0x40000000u); b.D(1);
    Fails("xof 0303bin 0032" + b.s);
}

TEST(XFileCompressed, TextAndBinaryBodiesInflateAcrossBlocks) {
    std::string text = std::string(kHeader) +
        "Frame { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,0,0,1;; }\n" + kQuad +
        "// padding padding padding padding padding padding padding padding\n}\n";
    XMesh a = Load(testsupport::ZipXFile(text, 40));
    EXPECT_EQ(a.vertices.size(), 4u);
    EXPECT_FLOAT_EQ(a.vertices[3].pos[0], 6.0f);
    CheckQuad(Load(testsupport::ZipXFile(BinaryQuad(false), 64)));
    std::string z = testsupport::ZipXFile(text, 40);
    z[z.size() - 3] ^= 0x55;
    XMesh m;
    std::string err;
    EXPECT_FALSE(Read(z, m, err));
    std::string noSig = testsupport::ZipXFile(text, 1000);
    noSig[24] = 'X';
    EXPECT_NE(Fails(noSig).find("CK"), std::string::npos);
    Fails(testsupport::ZipXFile(text, 40).substr(0, 60));
}
