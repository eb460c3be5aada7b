// Transforms by semantic, in the spellings tools and exporters write: every product of world,
// view and projection, inverses, transposes, a 4x3 world, a "matrix"; "matWorld" is the engine's own name
// and keeps being set by it alone. Without a semantic, sample programs' names say the same
// ("g_mInvView"); a light's view-projection is not the camera's.
float4x4 World : WORLD;
float4x3 World43 : World;
float4x4 View : VIEW;
matrix ViewMatrix : VIEW;
float4x4 Proj : PROJECTION;
float4x4 WorldView : WorldView;
float4x4 ViewProj : VIEWPROJECTION;
float4x4 Wvp : WorldViewProj;
float4x4 ViewI : ViewInverse;
float4x4 WorldIT : WorldIT;
float4x4 WorldInvTrans : WORLD_INVERSE_TRANSPOSE;
float4x4 WvpT : WorldViewProjectionTranspose;
float4x4 matWorld : WORLD;
float4x4 g_mWorldViewProjection;
float4x4 g_mInvView;
float4x4 g_mObjectToView;
float4x4 g_mLightViewProj = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};

float4 VS(float4 p : POSITION) : POSITION
{
    float4 w = mul(p, World) + float4(mul(p, World43), 0) + mul(p, matWorld);
    float4 v = mul(w, View) + mul(w, ViewMatrix) + mul(p, WorldView) + mul(w, ViewI) + mul(p, WorldIT) + mul(p, WorldInvTrans);
    return mul(v, Proj) + mul(w, ViewProj) + mul(p, Wvp) + mul(p, WvpT) + mul(p, g_mWorldViewProjection) +
           mul(w, g_mInvView) + mul(p, g_mLightViewProj) + mul(p, g_mObjectToView);
}
float4 PS() : COLOR { return 1; }

technique Main { pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
