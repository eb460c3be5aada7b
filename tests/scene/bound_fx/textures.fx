// Textures: the diffuse one takes the subset's texture, one whose file is found is loaded, one
// whose file is missing and that is not the diffuse one stays empty.
float4x4 Wvp : WORLDVIEWPROJECTION;
texture ColorTex : DIFFUSE < string ResourceName = "missing_color.dds"; >;
texture DetailTex < string ResourceName = "detail.bmp"; >;
texture NormalTex < string ResourceName = "missing_normal.dds"; >;
sampler ColorSampler = sampler_state { Texture = <ColorTex>; };
sampler DetailSampler = sampler_state { Texture = <DetailTex>; };
sampler NormalSampler = sampler_state { Texture = <NormalTex>; };

float4 VS(float4 p : POSITION, inout float2 uv : TEXCOORD0) : POSITION { return mul(p, Wvp); }
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    return tex2D(ColorSampler, uv) * tex2D(DetailSampler, uv) + tex2D(NormalSampler, uv);
}

technique Main { pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
