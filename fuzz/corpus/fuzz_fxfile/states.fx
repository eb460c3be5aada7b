matrix<float, 3, 4> N : register(c4);
SamplerState Point { Filter = MIN_MAG_MIP_POINT; };
float2 Offsets[2] = { float2(-1, 1), float2(0.5, .25e1) };
half4 Tint < string UIWidget = "color"; float2 Range = {0, 1}; > = half4(1, 1, 1, 1);
float4 f(uniform bool b) : COLOR { return b ? 1 : 0; }
technique T < int Order = 2; > {
  pass P0 < string Note = "x"; > {
    VertexShader = NULL;
    PixelShader = compile ps_2_0 f(true);
    CullMode = None; FillMode = Wireframe; ColorWriteEnable = RED | GREEN | BLUE | ALPHA;
    Sampler[0] = (Point); AlphaRef = 0x80; Ambient = float4(0.1, 0.1, 0.1, 1);
  }
}
