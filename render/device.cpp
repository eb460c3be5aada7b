// Creation of the one Direct3D device and its initial states. There is no fallback: a device
// that cannot be made with these parameters ends the program.
#include "app/korvel.h"

#include <cstring>

HRESULT Korvel::CreateDevice(HWND window) {
    direct3d = Direct3DCreate9(32);
    if (!direct3d) return E_FAIL;

    D3DPRESENT_PARAMETERS present;
    memset(&present, 0, sizeof(present));
    present.BackBufferWidth = 0;  // the window's client area
    present.BackBufferHeight = 0;
    present.BackBufferFormat = D3DFMT_UNKNOWN;
    present.BackBufferCount = 0;
    present.MultiSampleType = (D3DMULTISAMPLE_TYPE)multisampleType;
    present.MultiSampleQuality = 0;
    present.SwapEffect = D3DSWAPEFFECT_DISCARD;
    present.hDeviceWindow = NULL;
    present.Windowed = TRUE;
    present.EnableAutoDepthStencil = TRUE;
    present.AutoDepthStencilFormat = D3DFMT_D24S8;
    present.Flags = 0;
    present.FullScreen_RefreshRateInHz = 0;
    present.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;

    if (FAILED(direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                      D3DCREATE_SOFTWARE_VERTEXPROCESSING, &present, &device)))
        return E_FAIL;

    // Only the last result counts; the earlier state calls are not checked.
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ANTIALIASEDLINEENABLE, 1);
    device->SetRenderState(D3DRS_FILLMODE, fillMode);
    device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, multisampleAntialias);
    device->SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
    device->SetRenderState(D3DRS_CULLMODE, 0x7FFFFFFF);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_ANISOTROPIC);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_ANISOTROPIC);
    return device->SetRenderState(D3DRS_LIGHTING, 1);
}
