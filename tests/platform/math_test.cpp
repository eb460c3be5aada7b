// D3DX math against the documented formulas (row vectors, left-handed) at random inputs and
// at the published reference values; colour conversion; the pure Win32 helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/d3dx9.h"

namespace {

// Reference formulas in double precision, written from the documented element tables.
struct M {
    double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

void ExpectNear(const D3DXMATRIX& got, const M& want, double tol) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(got.m[r][c], want.m[r][c], tol * (1 + std::fabs(want.m[r][c])))
                << "element _" << r + 1 << c + 1;
}

class RandomMath : public ::testing::Test {
protected:
    std::mt19937 rng{20260608};
    float Any(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    D3DXVECTOR3 Vec(float range) { return D3DXVECTOR3(Any(-range, range), Any(-range, range), Any(-range, range)); }
    D3DXMATRIX Mat() {
        D3DXMATRIX m;
        for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = Any(-3, 3);
        return m;
    }
};

TEST_F(RandomMath, BasicMatricesFollowTheElementTables) {
    for (int i = 0; i < 200; ++i) {
        float a = Any(-10, 10), x = Any(-100, 100), y = Any(-100, 100), z = Any(-100, 100);
        double c = std::cos((double)a), s = std::sin((double)a);
        D3DXMATRIX got;
        M want;
        want.m[3][0] = x; want.m[3][1] = y; want.m[3][2] = z;
        ExpectNear(*D3DXMatrixTranslation(&got, x, y, z), want, 0);

        M rx; rx.m[1][1] = c; rx.m[1][2] = s; rx.m[2][1] = -s; rx.m[2][2] = c;
        ExpectNear(*D3DXMatrixRotationX(&got, a), rx, 1e-6);
        M ry; ry.m[0][0] = c; ry.m[0][2] = -s; ry.m[2][0] = s; ry.m[2][2] = c;
        ExpectNear(*D3DXMatrixRotationY(&got, a), ry, 1e-6);
        M rz; rz.m[0][0] = c; rz.m[0][1] = s; rz.m[1][0] = -s; rz.m[1][1] = c;
        ExpectNear(*D3DXMatrixRotationZ(&got, a), rz, 1e-6);
    }
    D3DXMATRIX id;
    for (int i = 0; i < 16; ++i) id.m[i / 4][i % 4] = 7;
    ExpectNear(*D3DXMatrixIdentity(&id), M(), 0);
}

TEST_F(RandomMath, RotationAxisNormalisesTheAxisAndMatchesTheFormula) {
    for (int i = 0; i < 200; ++i) {
        D3DXVECTOR3 axis = Vec(50);
        float a = Any(-7, 7);
        double len = std::sqrt((double)axis.x * axis.x + (double)axis.y * axis.y + (double)axis.z * axis.z);
        double x = axis.x / len, y = axis.y / len, z = axis.z / len;
        double c = std::cos((double)a), s = std::sin((double)a), t = 1 - c;
        M w;
        w.m[0][0] = t * x * x + c;     w.m[0][1] = t * x * y + s * z; w.m[0][2] = t * x * z - s * y;
        w.m[1][0] = t * x * y - s * z; w.m[1][1] = t * y * y + c;     w.m[1][2] = t * y * z + s * x;
        w.m[2][0] = t * x * z + s * y; w.m[2][1] = t * y * z - s * x; w.m[2][2] = t * z * z + c;
        D3DXMATRIX got;
        ExpectNear(*D3DXMatrixRotationAxis(&got, &axis, a), w, 2e-6);
    }
    // Published reference: axis (1, -3, 7), angle pi/3.
    D3DXVECTOR3 axis(1, -3, 7);
    D3DXMATRIX got;
    D3DXMatrixRotationAxis(&got, &axis, D3DX_PI / 3);
    const float want[3][3] = {{0.5084745f, 0.7638046f, 0.3975628f},
                              {-0.8146521f, 0.5762712f, -0.0652192f},
                              {-0.2789187f, -0.2907130f, 0.9152542f}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got.m[r][c], want[r][c], 1e-6);
    EXPECT_FLOAT_EQ(got._44, 1.0f);
}

TEST_F(RandomMath, MultiplyIsTheRowVectorProductAndMayAlias) {
    for (int i = 0; i < 200; ++i) {
        D3DXMATRIX a = Mat(), b = Mat(), got;
        M want;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                want.m[r][c] = 0;
                for (int k = 0; k < 4; ++k) want.m[r][c] += (double)a.m[r][k] * b.m[k][c];
            }
        ExpectNear(*D3DXMatrixMultiply(&got, &a, &b), want, 1e-5);
        D3DXMATRIX left = a, right = b;
        D3DXMatrixMultiply(&left, &left, &b);    // out is the first input
        D3DXMatrixMultiply(&right, &a, &right);  // out is the second input
        ExpectNear(left, want, 1e-5);
        ExpectNear(right, want, 1e-5);
        ExpectNear(a * b, want, 1e-5);
    }
}

TEST_F(RandomMath, InverseUndoesTheMatrixAndTransposeMirrorsIt) {
    for (int i = 0; i < 200; ++i) {
        D3DXMATRIX a = Mat(), inv, t, product;
        float det = 0;
        ASSERT_EQ(D3DXMatrixInverse(&inv, &det, &a), &inv);
        ExpectNear(*D3DXMatrixMultiply(&product, &a, &inv), M(), 2e-4 / std::fmin(1.0, std::fabs(det)));
        D3DXMatrixTranspose(&t, &a);
        for (int k = 0; k < 16; ++k) EXPECT_EQ(t.m[k / 4][k % 4], a.m[k % 4][k / 4]);
    }
    // Singular: no result, the output untouched, the determinant 0.
    D3DXMATRIX singular, out;
    D3DXMatrixTranslation(&out, 1, 2, 3);
    D3DXMATRIX before = out;
    singular._11 = 1;
    float det = 5;
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &singular), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_EQ(out, before);
}

TEST_F(RandomMath, LookAtLHBuildsTheDocumentedBasis) {
    for (int i = 0; i < 200; ++i) {
        D3DXVECTOR3 eye = Vec(100), at = Vec(100), up = Vec(1);
        double zx = at.x - eye.x, zy = at.y - eye.y, zz = at.z - eye.z;
        double zl = std::sqrt(zx * zx + zy * zy + zz * zz);
        zx /= zl; zy /= zl; zz /= zl;
        double xx = up.y * zz - up.z * zy, xy = up.z * zx - up.x * zz, xz = up.x * zy - up.y * zx;
        double xl = std::sqrt(xx * xx + xy * xy + xz * xz);
        if (xl < 1e-2) continue;   // up nearly along the view: the basis is ill-conditioned
        xx /= xl; xy /= xl; xz /= xl;
        double yx = zy * xz - zz * xy, yy = zz * xx - zx * xz, yz = zx * xy - zy * xx;
        M w;
        w.m[0][0] = xx; w.m[0][1] = yx; w.m[0][2] = zx;
        w.m[1][0] = xy; w.m[1][1] = yy; w.m[1][2] = zy;
        w.m[2][0] = xz; w.m[2][1] = yz; w.m[2][2] = zz;
        w.m[3][0] = -(xx * eye.x + xy * eye.y + xz * eye.z);
        w.m[3][1] = -(yx * eye.x + yy * eye.y + yz * eye.z);
        w.m[3][2] = -(zx * eye.x + zy * eye.y + zz * eye.z);
        D3DXMATRIX got;
        D3DXMatrixLookAtLH(&got, &eye, &at, &up);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_NEAR(got.m[r][c], w.m[r][c], 1e-4 * (1 + std::fabs(w.m[r][c])));
    }
    // The documented example: eye (0, 0, -5) looking at the origin.
    D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX got;
    M w;
    w.m[3][2] = 5;
    ExpectNear(*D3DXMatrixLookAtLH(&got, &eye, &at, &up), w, 0);
}

TEST_F(RandomMath, PerspectiveFovLHMapsNearToZeroAndFarToOne) {
    for (int i = 0; i < 200; ++i) {
        float fov = Any(0.1f, 3.0f), aspect = Any(0.3f, 3.0f), zn = Any(0.1f, 10), zf = zn + Any(1, 10000);
        double ys = 1.0 / std::tan(fov / 2.0);
        M w;
        w.m[0][0] = ys / aspect; w.m[1][1] = ys; w.m[2][2] = zf / (zf - (double)zn);
        w.m[2][3] = 1; w.m[3][2] = -(double)zn * zf / (zf - (double)zn); w.m[3][3] = 0;
        D3DXMATRIX got;
        ExpectNear(*D3DXMatrixPerspectiveFovLH(&got, fov, aspect, zn, zf), w, 1e-5);
        D3DXVECTOR3 nearPoint(0, 0, zn), farPoint(0, 0, zf), out;
        EXPECT_NEAR(D3DXVec3TransformCoord(&out, &nearPoint, &got)->z, 0.0f, 1e-4);
        EXPECT_NEAR(D3DXVec3TransformCoord(&out, &farPoint, &got)->z, 1.0f, 1e-4);
    }
    D3DXMATRIX got;
    D3DXMatrixPerspectiveFovLH(&got, 0.2f, 0.75f, -2.4f, 8.7f);   // published reference
    EXPECT_NEAR(got._11, 13.288858f, 1e-4);
    EXPECT_NEAR(got._22, 9.9666444f, 1e-4);
    EXPECT_NEAR(got._33, 0.78378378f, 1e-6);
    EXPECT_NEAR(got._43, 1.8810811f, 1e-6);
    EXPECT_EQ(got._34, 1.0f);
    EXPECT_EQ(got._44, 0.0f);
}

TEST_F(RandomMath, VectorsNormaliseAndTransformAsRows) {
    for (int i = 0; i < 200; ++i) {
        D3DXVECTOR3 v = Vec(1000), out;
        double len = std::sqrt((double)v.x * v.x + (double)v.y * v.y + (double)v.z * v.z);
        D3DXVec3Normalize(&out, &v);
        EXPECT_NEAR(out.x, v.x / len, 1e-6);
        EXPECT_NEAR(out.z, v.z / len, 1e-6);
        D3DXMATRIX m = Mat();
        double w = v.x * m._14 + v.y * m._24 + v.z * m._34 + m._44;
        double x = (v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41) / w;
        double y = (v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42) / w;
        if (std::fabs(w) < 1e-2) continue;
        D3DXVECTOR3 t = v;
        D3DXVec3TransformCoord(&t, &t, &m);   // in place
        EXPECT_NEAR(t.x, x, 1e-3 * (1 + std::fabs(x)));
        EXPECT_NEAR(t.y, y, 1e-3 * (1 + std::fabs(y)));
    }
    D3DXVECTOR3 zero(0, 0, 0), out(5, 5, 5), v(9, 6, 2);
    D3DXVec3Normalize(&out, &zero);
    EXPECT_EQ(out, D3DXVECTOR3(0, 0, 0));
    D3DXVec3Normalize(&out, &v);
    EXPECT_FLOAT_EQ(out.x, 9.0f / 11);
    EXPECT_FLOAT_EQ(out.y, 6.0f / 11);
    EXPECT_FLOAT_EQ(out.z, 2.0f / 11);
}

TEST(MathTypes, ComposeInRowVectorOrderAndStartZeroed) {
    // Translate then rotate 90 degrees about y: (10, 0, 0) lands at about (0, 0, -10).
    D3DXMATRIX t, r;
    D3DXMatrixTranslation(&t, 10, 0, 0);
    D3DXMatrixRotationY(&r, D3DX_PI / 2);
    D3DXMatrixMultiply(&t, &t, &r);
    D3DXVECTOR3 origin(0, 0, 0), out;
    D3DXVec3TransformCoord(&out, &origin, &t);
    EXPECT_NEAR(out.x, 0, 1e-5);
    EXPECT_NEAR(out.z, -10, 1e-5);
    EXPECT_EQ(D3DXVECTOR3(), D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(D3DXVECTOR4(), D3DXVECTOR4(0, 0, 0, 0));
    D3DXVECTOR3 a(1, 2, 3), b(4, 5, 6);
    EXPECT_EQ(b - a, D3DXVECTOR3(3, 3, 3));
    EXPECT_EQ(a * 2.0f, D3DXVECTOR3(2, 4, 6));
}

TEST(Colours, FloatColourClampsAndRoundsToBytes) {
    EXPECT_EQ((DWORD)D3DXCOLOR(1.4f, 1.4f, 1.4f, 1.0f), 0xFFFFFFFFu);
    EXPECT_EQ((DWORD)D3DXCOLOR(-0.5f, 0.0f, 2.0f, 0.5f), 0x800000FFu);
    EXPECT_EQ((DWORD)D3DXCOLOR(0.1f, 0.3f, 0.7f, 0.0f), 0x001A4DB3u);
    D3DXCOLOR back(0xFF6482AAu);
    EXPECT_FLOAT_EQ(back.a, 1.0f);
    EXPECT_FLOAT_EQ(back.r, 100 / 255.0f);
    EXPECT_EQ((DWORD)back, 0xFF6482AAu);   // every byte survives the round trip
    for (DWORD v = 0; v < 256; ++v) EXPECT_EQ((DWORD)D3DXCOLOR(v * 0x01010101u), v * 0x01010101u);
    EXPECT_EQ(D3DCOLOR_ARGB(1, 300, 20, 30), 0x012C141Eu);
    EXPECT_EQ(D3DCOLOR_XRGB(1, 2, 3), 0xFF010203u);
}

TEST(WinHelpers, MulDivRoundsHalfAwayFromZeroAndReportsOverflow) {
    EXPECT_EQ(MulDiv(8, 96, 72), 11);
    EXPECT_EQ(MulDiv(16, 96, 72), 21);
    EXPECT_EQ(MulDiv(12, 96, 72), 16);
    EXPECT_EQ(MulDiv(1, 3, 2), 2);
    EXPECT_EQ(MulDiv(-1, 3, 2), -2);
    EXPECT_EQ(MulDiv(1, -3, 2), -2);
    EXPECT_EQ(MulDiv(-1, -3, 2), 2);
    EXPECT_EQ(MulDiv(1, 1, 3), 0);
    EXPECT_EQ(MulDiv(2, 1, 3), 1);
    EXPECT_EQ(MulDiv(5, 5, 0), -1);
    EXPECT_EQ(MulDiv(0x40000000, 4, 1), -1);
    EXPECT_EQ(MulDiv(0x40000000, 4, 2), -1);   // 2^31 does not fit
    EXPECT_EQ(MulDiv(-0x40000000, 4, 2), -2147483647 - 1);
    EXPECT_EQ(MulDiv(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), 0x7FFFFFFF);
}

TEST(WinHelpers, StringLengthAndRectangles) {
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrlenA(""), 0);
    EXPECT_EQ(lstrlenA("wood.bmp"), 8);
    RECT r{9, 9, 9, 9};
    EXPECT_TRUE(SetRect(&r, 5, 25, 0, 0));
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 25);
    EXPECT_EQ(r.right, 0);
    EXPECT_EQ(r.bottom, 0);
    EXPECT_FALSE(SetRect(nullptr, 1, 2, 3, 4));
}

}  // namespace
