#include "platform/core/fx_state_names.h"

#include <cctype>
#include <cstring>

namespace core {

namespace {

// The effect framework's state table, by its names in effect source.
const char* const kPassNames[] = {
    // Render states.
    "ZEnable", "FillMode", "ShadeMode", "ZWriteEnable", "AlphaTestEnable", "LastPixel",
    "SrcBlend", "DestBlend", "CullMode", "ZFunc", "AlphaRef", "AlphaFunc", "DitherEnable",
    "AlphaBlendEnable", "FogEnable", "SpecularEnable", "FogColor", "FogTableMode", "FogStart",
    "FogEnd", "FogDensity", "RangeFogEnable", "StencilEnable", "StencilFail", "StencilZFail",
    "StencilPass", "StencilFunc", "StencilRef", "StencilMask", "StencilWriteMask",
    "TextureFactor", "Wrap0", "Wrap1", "Wrap2", "Wrap3", "Wrap4", "Wrap5", "Wrap6", "Wrap7",
    "Wrap8", "Wrap9", "Wrap10", "Wrap11", "Wrap12", "Wrap13", "Wrap14", "Wrap15", "Clipping",
    "Lighting", "Ambient", "FogVertexMode", "ColorVertex", "LocalViewer", "NormalizeNormals",
    "DiffuseMaterialSource", "SpecularMaterialSource", "AmbientMaterialSource",
    "EmissiveMaterialSource", "VertexBlend", "ClipPlaneEnable", "PointSize", "PointSize_Min",
    "PointSize_Max", "PointSpriteEnable", "PointScaleEnable", "PointScale_A", "PointScale_B",
    "PointScale_C", "MultiSampleAntialias", "MultiSampleMask", "PatchEdgeStyle",
    "DebugMonitorToken", "IndexedVertexBlendEnable", "ColorWriteEnable", "TweenFactor",
    "BlendOp", "PositionDegree", "NormalDegree", "ScissorTestEnable", "SlopeScaleDepthBias",
    "AntialiasedLineEnable", "MinTessellationLevel", "MaxTessellationLevel",
    "AdaptiveTess_X", "AdaptiveTess_Y", "AdaptiveTess_Z", "AdaptiveTess_W",
    "EnableAdaptiveTessellation", "TwoSidedStencilMode", "CCW_StencilFail",
    "CCW_StencilZFail", "CCW_StencilPass", "CCW_StencilFunc", "ColorWriteEnable1",
    "ColorWriteEnable2", "ColorWriteEnable3", "BlendFactor", "SRGBWriteEnable", "DepthBias",
    "SeparateAlphaBlendEnable", "SrcBlendAlpha", "DestBlendAlpha", "BlendOpAlpha",
    // Texture stage states.
    "ColorOp", "ColorArg0", "ColorArg1", "ColorArg2", "AlphaOp", "AlphaArg0", "AlphaArg1",
    "AlphaArg2", "ResultArg", "BumpEnvMat00", "BumpEnvMat01", "BumpEnvMat10", "BumpEnvMat11",
    "TexCoordIndex", "BumpEnvLScale", "BumpEnvLOffset", "TextureTransformFlags", "Constant",
    // Others.
    "NPatchMode", "FVF", "ProjectionTransform", "ViewTransform", "WorldTransform",
    "TextureTransform", "MaterialDiffuse", "MaterialAmbient", "MaterialSpecular",
    "MaterialEmissive", "MaterialPower", "LightType", "LightDiffuse", "LightSpecular",
    "LightAmbient", "LightPosition", "LightDirection", "LightRange", "LightFalloff",
    "LightAttenuation0", "LightAttenuation1", "LightAttenuation2", "LightTheta", "LightPhi",
    "LightEnable", "VertexShader", "PixelShader", "VertexShaderConstantF",
    "VertexShaderConstantB", "VertexShaderConstantI", "VertexShaderConstant",
    "VertexShaderConstant1", "VertexShaderConstant2", "VertexShaderConstant3",
    "VertexShaderConstant4", "PixelShaderConstantF", "PixelShaderConstantB",
    "PixelShaderConstantI", "PixelShaderConstant", "PixelShaderConstant1",
    "PixelShaderConstant2", "PixelShaderConstant3", "PixelShaderConstant4", "Texture",
    "Sampler"};

const char* const kSamplerNames[] = {
    "Texture", "AddressU", "AddressV", "AddressW", "BorderColor", "MagFilter", "MinFilter",
    "MipFilter", "MipMapLodBias", "MaxMipLevel", "MaxAnisotropy", "SRGBTexture",
    "ElementIndex", "DMapOffset"};

}  // namespace

bool EqualNoCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsFxStateName(const std::string& name, bool inSampler) {
    for (const char* n : kSamplerNames)
        if (EqualNoCase(name, n)) return true;
    if (inSampler) return false;
    for (const char* n : kPassNames)
        if (EqualNoCase(name, n)) return true;
    return false;
}

std::string UnknownFxStates(const FxFile& fx, const FxPreprocessed& pre, const std::string& name) {
    std::string log;
    auto Check = [&](const FxState& s, bool inSampler) {
        if (!IsFxStateName(s.name, inSampler))
            log += FxWhere(pre, name, s.line) + ": error: '" + s.name + "' is no " +
                   (inSampler ? "sampler state\n" : "effect state\n");
    };
    for (const FxParameter& p : fx.params)
        for (const FxState& s : p.samplerStates) Check(s, true);
    for (const FxTechnique& t : fx.techniques)
        for (const FxPass& p : t.passes)
            for (const FxState& s : p.states) Check(s, false);
    return log;
}

}  // namespace core
