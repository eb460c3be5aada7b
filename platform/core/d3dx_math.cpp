// D3DX math with D3DX's conventions: row vectors (v' = v * M), left-handed, row-major
// storage with the translation in _41.._43. Computed in single precision like D3DX.
#include <cmath>

#include "platform/d3dx9.h"

namespace {

float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// The byte of a colour channel: clamped to [0, 1], rounded to nearest.
DWORD ChannelByte(float v) {
    if (!(v > 0.0f)) return 0;   // also NaN
    if (v >= 1.0f) return 255;
    return (DWORD)(v * 255.0f + 0.5f);
}

}  // namespace

D3DXCOLOR::D3DXCOLOR(DWORD argb) {
    const float f = 1.0f / 255.0f;
    a = f * (float)((argb >> 24) & 0xff);
    r = f * (float)((argb >> 16) & 0xff);
    g = f * (float)((argb >> 8) & 0xff);
    b = f * (float)(argb & 0xff);
}

D3DXCOLOR::operator DWORD() const {
    return (ChannelByte(a) << 24) | (ChannelByte(r) << 16) | (ChannelByte(g) << 8) | ChannelByte(b);
}

D3DXMATRIX* WINAPI D3DXMatrixIdentity(D3DXMATRIX* pOut) {
    *pOut = D3DXMATRIX();
    pOut->_11 = pOut->_22 = pOut->_33 = pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, FLOAT x, FLOAT y, FLOAT z) {
    D3DXMatrixIdentity(pOut);
    pOut->_41 = x;
    pOut->_42 = y;
    pOut->_43 = z;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, FLOAT Angle) {
    float c = std::cos(Angle), s = std::sin(Angle);
    D3DXMatrixIdentity(pOut);
    pOut->_22 = c;
    pOut->_23 = s;
    pOut->_32 = -s;
    pOut->_33 = c;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, FLOAT Angle) {
    float c = std::cos(Angle), s = std::sin(Angle);
    D3DXMatrixIdentity(pOut);
    pOut->_11 = c;
    pOut->_13 = -s;
    pOut->_31 = s;
    pOut->_33 = c;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, FLOAT Angle) {
    float c = std::cos(Angle), s = std::sin(Angle);
    D3DXMatrixIdentity(pOut);
    pOut->_11 = c;
    pOut->_12 = s;
    pOut->_21 = -s;
    pOut->_22 = c;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationAxis(D3DXMATRIX* pOut, const D3DXVECTOR3* pV, FLOAT Angle) {
    D3DXVECTOR3 n;
    D3DXVec3Normalize(&n, pV);
    float c = std::cos(Angle), s = std::sin(Angle), t = 1.0f - c;
    D3DXMatrixIdentity(pOut);
    pOut->_11 = t * n.x * n.x + c;
    pOut->_12 = t * n.x * n.y + s * n.z;
    pOut->_13 = t * n.x * n.z - s * n.y;
    pOut->_21 = t * n.x * n.y - s * n.z;
    pOut->_22 = t * n.y * n.y + c;
    pOut->_23 = t * n.y * n.z + s * n.x;
    pOut->_31 = t * n.x * n.z + s * n.y;
    pOut->_32 = t * n.y * n.z - s * n.x;
    pOut->_33 = t * n.z * n.z + c;
    return pOut;
}

// out = M1 * M2 (M1 acts first); out may be M1 or M2.
D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = pM1->m[i][0] * pM2->m[0][j] + pM1->m[i][1] * pM2->m[1][j] +
                        pM1->m[i][2] * pM2->m[2][j] + pM1->m[i][3] * pM2->m[3][j];
    *pOut = r;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = pM->m[j][i];
    *pOut = r;
    return pOut;
}

// Cofactor expansion along 2x2 minors of the upper and lower row pairs.
D3DXMATRIX* WINAPI D3DXMatrixInverse(D3DXMATRIX* pOut, FLOAT* pDeterminant, const D3DXMATRIX* pM) {
    const float(&a)[4][4] = pM->m;
    float s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    float s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    float s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    float s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    float s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    float s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    float c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
    float c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    float c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    float c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    float c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    float c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];
    float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (pDeterminant) *pDeterminant = det;
    if (det == 0.0f) return nullptr;
    float k = 1.0f / det;
    D3DXMATRIX r;
    r.m[0][0] = (a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3) * k;
    r.m[0][1] = (-a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3) * k;
    r.m[0][2] = (a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3) * k;
    r.m[0][3] = (-a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3) * k;
    r.m[1][0] = (-a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1) * k;
    r.m[1][1] = (a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1) * k;
    r.m[1][2] = (-a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1) * k;
    r.m[1][3] = (a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1) * k;
    r.m[2][0] = (a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0) * k;
    r.m[2][1] = (-a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0) * k;
    r.m[2][2] = (a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0) * k;
    r.m[2][3] = (-a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0) * k;
    r.m[3][0] = (-a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0) * k;
    r.m[3][1] = (a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0) * k;
    r.m[3][2] = (-a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0) * k;
    r.m[3][3] = (a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0) * k;
    *pOut = r;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye,
                                      const D3DXVECTOR3* pAt, const D3DXVECTOR3* pUp) {
    D3DXVECTOR3 zaxis, xaxis;
    D3DXVECTOR3 dir = *pAt - *pEye;
    D3DXVec3Normalize(&zaxis, &dir);
    D3DXVECTOR3 side = Cross(*pUp, zaxis);
    D3DXVec3Normalize(&xaxis, &side);
    D3DXVECTOR3 yaxis = Cross(zaxis, xaxis);
    D3DXMatrixIdentity(pOut);
    pOut->_11 = xaxis.x; pOut->_12 = yaxis.x; pOut->_13 = zaxis.x;
    pOut->_21 = xaxis.y; pOut->_22 = yaxis.y; pOut->_23 = zaxis.y;
    pOut->_31 = xaxis.z; pOut->_32 = yaxis.z; pOut->_33 = zaxis.z;
    pOut->_41 = -Dot(xaxis, *pEye);
    pOut->_42 = -Dot(yaxis, *pEye);
    pOut->_43 = -Dot(zaxis, *pEye);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT Aspect,
                                              FLOAT zn, FLOAT zf) {
    float yScale = 1.0f / std::tan(fovy / 2.0f);
    float xScale = yScale / Aspect;
    *pOut = D3DXMATRIX();
    pOut->_11 = xScale;
    pOut->_22 = yScale;
    pOut->_33 = zf / (zf - zn);
    pOut->_34 = 1.0f;
    pOut->_43 = -zn * zf / (zf - zn);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV) {
    float len = std::sqrt(Dot(*pV, *pV));
    if (len == 0.0f) {
        *pOut = D3DXVECTOR3(0, 0, 0);
        return pOut;
    }
    *pOut = D3DXVECTOR3(pV->x / len, pV->y / len, pV->z / len);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV,
                                           const D3DXMATRIX* pM) {
    const D3DXVECTOR3 v = *pV;   // pOut may be pV
    float x = v.x * pM->_11 + v.y * pM->_21 + v.z * pM->_31 + pM->_41;
    float y = v.x * pM->_12 + v.y * pM->_22 + v.z * pM->_32 + pM->_42;
    float z = v.x * pM->_13 + v.y * pM->_23 + v.z * pM->_33 + pM->_43;
    float w = v.x * pM->_14 + v.y * pM->_24 + v.z * pM->_34 + pM->_44;
    *pOut = D3DXVECTOR3(x / w, y / w, z / w);
    return pOut;
}
