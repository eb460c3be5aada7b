#include "platform/shader/spirv_to_glsl.h"

#include <spirv_cross/spirv_cross_c.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/shader/glsl_conventions.h"
#include "platform/shader/hlsl_text.h"
#include "platform/shader/legacy_rewrite.h"

namespace hlsl {

namespace {

// "TEXCOORD3" -> ("TEXCOORD", 3); "COLOR" -> ("COLOR", 0).
void SplitSemantic(const std::string& semantic, std::string& base, int& index) {
    std::string s = Upper(semantic);
    size_t end = s.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(s[end - 1]))) --end;
    base = s.substr(0, end);
    index = end < s.size() ? std::atoi(s.c_str() + end) : 0;
}

// glslang passes each element of an array in a struct of inputs or outputs as a variable of
// its own, named "<struct>.<member>[<k>]", with the member's semantic: element k takes the
// k-th register from it, as a Direct3D 9 array does. 0 for other names.
int FlattenedElement(const char* name) {
    std::string n = name ? name : "";
    if (n.empty() || n.back() != ']') return 0;
    size_t open = n.rfind('[');
    if (open == std::string::npos || open + 2 > n.size() - 1) return 0;
    for (size_t i = open + 1; i + 1 < n.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(n[i]))) return 0;
    return std::atoi(n.c_str() + open + 1);
}

struct SpvcContext {
    spvc_context ctx = nullptr;
    ~SpvcContext() {
        if (ctx) spvc_context_destroy(ctx);
    }
};

HlslBase BaseOf(spvc_basetype t) {
    switch (t) {
        case SPVC_BASETYPE_FP32: return HlslBase::Float;
        case SPVC_BASETYPE_INT32: return HlslBase::Int;
        case SPVC_BASETYPE_UINT32:
        case SPVC_BASETYPE_BOOLEAN: return HlslBase::Bool;
        default: return HlslBase::Other;
    }
}

// Direct3D 9 links a vertex output to a pixel input by semantic register, whatever the
// declared widths: a float2 TEXCOORD0 output may feed a float4 input and the other way round,
// and an array `float2 uv[3] : TEXCOORD1` takes TEXCOORD1..3. Such varyings therefore pass as
// one vec4 "dx_<semantic>" per register; the stage's own variable is renamed
// "dx_v_<semantic>" and copied to or from them. The components a vertex shader leaves
// unwritten read 0.0, as Wine's GLSL backend fills them (wined3d,
// shader_glsl_setup_vs3_output).
struct NarrowVarying {
    std::string base;   // "TEXCOORD"
    int index = 0;      // semantic index of the first register
    int size = 1;       // 1..4 floats
    int elements = 0;   // array length, 0 for no array
    bool input = false;
    std::string Own() const { return "dx_v_" + base + std::to_string(index); }
    std::string Register(int k) const { return "dx_" + base + std::to_string(index + k); }
};

// Re-declares the narrow varyings of `text` (SPIRV-Cross output) as plain variables beside
// their vec4s; the copies go into `prologue` (pixel inputs) and `epilogue` (vertex outputs).
bool WidenVaryings(const std::vector<NarrowVarying>& narrow, std::string& text,
                   std::string& prologue, std::string& epilogue) {
    for (const NarrowVarying& v : narrow) {
        std::string type = v.size == 1 ? "float" : "vec" + std::to_string(v.size);
        std::string dims = v.elements ? "[" + std::to_string(v.elements) + "]" : "";
        std::string decl = std::string(v.input ? "in " : "out ") + type + " " + v.Own() + dims + ";";
        size_t p = text.find(decl);
        if (p == std::string::npos) return false;
        size_t lineStart = text.rfind('\n', p);
        lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
        std::string qualifiers = text.substr(lineStart, p - lineStart);
        std::string declarations = type + " " + v.Own() + dims + ";";
        for (int k = 0; k < std::max(v.elements, 1); ++k) {
            std::string own = v.Own() + (v.elements ? "[" + std::to_string(k) + "]" : "");
            declarations += "\n" + qualifiers + (v.input ? "in vec4 " : "out vec4 ") + v.Register(k) + ";";
            if (v.input) {
                prologue += "    " + own + " = " + v.Register(k) +
                            (v.size < 4 ? "." + std::string("xyz").substr(0, static_cast<size_t>(v.size)) : "") + ";\n";
            } else {
                epilogue += "    " + v.Register(k) + " = vec4(" + own;
                for (int i = v.size; i < 4; ++i) epilogue += ", 0.0";
                epilogue += ");\n";
            }
        }
        text.replace(lineStart, p + decl.size() - lineStart, declarations);
    }
    return true;
}

// Makes the stage input `name` of `text` (SPIRV-Cross output, "in <type> <name>[<n>];") a
// plain variable for main to set: its type and array length (0 for none).
bool InputToVariable(std::string& text, const std::string& name, std::string& type,
                     int& elements) {
    size_t p = text.find(" " + name + ";"), arr = text.find(" " + name + "[");
    p = std::min(p, arr);
    size_t lineStart = p == std::string::npos ? p : text.rfind('\n', p);
    if (p == std::string::npos || lineStart == std::string::npos ||
        text.compare(lineStart + 1, 3, "in ") != 0)
        return false;
    type = text.substr(lineStart + 4, p - lineStart - 4);
    elements = p == arr ? std::atoi(text.c_str() + p + name.size() + 2) : 0;
    text.erase(lineStart + 1, 3);
    return true;
}

}  // namespace

bool SpirvToGlsl(const std::vector<uint32_t>& spirv, ShaderStage stage, HlslStage& out,
                 std::string& log) {
    SpvcContext holder;
    if (spvc_context_create(&holder.ctx) != SPVC_SUCCESS) {
        log += "error: cannot create the SPIR-V translator\n";
        return false;
    }
    spvc_context ctx = holder.ctx;
    spvc_parsed_ir ir = nullptr;
    spvc_compiler comp = nullptr;
    if (spvc_context_parse_spirv(ctx, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS ||
        spvc_context_create_compiler(ctx, SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP,
                                     &comp) != SPVC_SUCCESS) {
        log += std::string("error: ") + spvc_context_get_last_error_string(ctx) + "\n";
        return false;
    }
    spvc_compiler_options opts = nullptr;
    spvc_compiler_create_compiler_options(comp, &opts);
    spvc_compiler_options_set_uint(opts, SPVC_COMPILER_OPTION_GLSL_VERSION, 330);
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_GLSL_ENABLE_420PACK_EXTENSION,
                                   SPVC_FALSE);
    spvc_compiler_options_set_bool(
        opts, SPVC_COMPILER_OPTION_GLSL_EMIT_UNIFORM_BUFFER_AS_PLAIN_UNIFORMS, SPVC_TRUE);
    // Every value gets a variable of its own. Otherwise the values that feed only one side of
    // a select are written into a GLSL "?:", which GL compilers may turn into a branch: a
    // Phong shader whose specular term sat in one drew its pixels 15% slower in llvmpipe.
    // HLSL's "?:" evaluates both sides anyway.
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_FORCE_TEMPORARY, SPVC_TRUE);
    spvc_compiler_install_compiler_options(comp, opts);

    const char* prefix = stage == ShaderStage::Vertex ? "vs" : "ps";
    spvc_resources res = nullptr;
    spvc_compiler_create_shader_resources(comp, &res);
    const spvc_reflected_resource* list = nullptr;
    size_t count = 0;

    // Stage inputs and outputs, by semantic.
    std::string positionOutput, depthOutput;
    std::vector<std::string> pixelBuiltins;   // VPOS and VFACE inputs, made from GL built-ins
    bool hasColor0 = false;
    std::vector<std::string> colorOutputs;
    int spareLocation = 13;
    // Varyings narrower than four floats, which pass as vec4 (see WidenVaryings).
    std::vector<NarrowVarying> narrow;
    std::vector<std::string> unfedInputs;   // vertex inputs given (0, 0, 0, 1) in main
    for (int pass = 0; pass < 2; ++pass) {
        bool input = pass == 0;
        spvc_resources_get_resource_list_for_type(
            res, input ? SPVC_RESOURCE_TYPE_STAGE_INPUT : SPVC_RESOURCE_TYPE_STAGE_OUTPUT, &list,
            &count);
        for (size_t i = 0; i < count; ++i) {
            const char* sem =
                spvc_compiler_get_decoration_string(comp, list[i].id, SpvDecorationUserSemantic);
            std::string base;
            int index = 0;
            SplitSemantic(sem ? sem : "", base, index);
            index += FlattenedElement(list[i].name);
            if (base.compare(0, 3, "SV_") == 0 && base != "SV_TARGET") base = base.substr(3);
            if (base == "SV_TARGET") base = "COLOR";
            std::string name = "dx_" + base + std::to_string(index);
            bool vertexInput = input && stage == ShaderStage::Vertex;
            bool pixelOutput = !input && stage == ShaderStage::Pixel;
            if (vertexInput) {
                spvc_type type = spvc_compiler_get_type_handle(comp, list[i].type_id);
                bool array = spvc_type_get_num_array_dimensions(type) > 0;
                int loc = array ? -1 : AttributeLocation(base, index);
                if (loc < 0 && !array && spareLocation <= 15) loc = spareLocation++;
                name = "dx_in_" + base + std::to_string(index);
                if (loc < 0) {
                    // Arrays and inputs beyond the spare locations: no vertex format feeds
                    // them; they read GL's default attribute value as the spare ones do.
                    if (spvc_type_get_columns(type) > 1) {
                        log += "error: too many vertex inputs\n";
                        return false;
                    }
                    spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationLocation);
                    unfedInputs.push_back(name);
                } else {
                    spvc_compiler_set_decoration(comp, list[i].id, SpvDecorationLocation,
                                                 static_cast<unsigned>(loc));
                }
            } else if (pixelOutput) {
                name = "dx_out_" + base + std::to_string(index);
                if (base == "DEPTH") {
                    depthOutput = name;
                } else if (base == "COLOR" && index < 4) {
                    if (index == 0) hasColor0 = true;
                    spvc_compiler_set_decoration(comp, list[i].id, SpvDecorationLocation,
                                                 static_cast<unsigned>(index));
                } else {
                    log += std::string("error: pixel shader output semantic ") +
                           (sem ? sem : "(none)") + " is not supported\n";
                    return false;
                }
            } else {
                if (base.empty()) {
                    log += "error: a shader input or output has no semantic\n";
                    return false;
                }
                spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationLocation);
                if (input && (base == "VPOS" || base == "VFACE")) pixelBuiltins.push_back(name);
                if (!input && base == "POSITION" && index == 0) positionOutput = name;
                spvc_type type = spvc_compiler_get_type_handle(comp, list[i].type_id);
                NarrowVarying v;
                v.base = base;
                v.index = index;
                v.size = static_cast<int>(spvc_type_get_vector_size(type));
                v.input = input;
                unsigned dims = spvc_type_get_num_array_dimensions(type);
                if (dims == 1) v.elements = static_cast<int>(spvc_type_get_array_dimension(type, 0));
                bool isPosition = base == "POSITION" && !input;
                if (!isPosition && base != "VPOS" && base != "VFACE" &&
                    spvc_type_get_basetype(type) == SPVC_BASETYPE_FP32 &&
                    (v.size < 4 || v.elements > 0) && spvc_type_get_columns(type) == 1 &&
                    dims <= 1 && v.elements <= 16) {
                    narrow.push_back(v);
                    name = v.Own();
                }
                if (!input && base == "COLOR") colorOutputs.push_back(name);
            }
            spvc_compiler_set_name(comp, list[i].id, name.c_str());
        }
    }

    // Globals: one plain uniform struct per block, members renamed by index.
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list,
                                              &count);
    for (size_t b = 0; b < count; ++b) {
        std::string var = std::string(prefix) + "_u" + (b ? std::to_string(b) : "");
        std::string typeName = std::string(prefix) + "_Globals" + (b ? std::to_string(b) : "");
        spvc_type block = spvc_compiler_get_type_handle(comp, list[b].base_type_id);
        unsigned members = spvc_type_get_num_member_types(block);
        // Members the code reads; the struct declares every global of the file.
        const spvc_buffer_range* ranges = nullptr;
        size_t rangeCount = 0;
        bool rangesKnown = spvc_compiler_get_active_buffer_ranges(comp, list[b].id, &ranges,
                                                                 &rangeCount) == SPVC_SUCCESS;
        for (unsigned m = 0; m < members; ++m) {
            HlslUniform u;
            if (rangesKnown) {
                u.used = false;
                for (size_t r = 0; r < rangeCount; ++r) u.used = u.used || ranges[r].index == m;
            }
            const char* hlslName = spvc_compiler_get_member_name(comp, list[b].base_type_id, m);
            u.hlslName = SourceName(hlslName ? hlslName : "");
            std::string member = "m" + std::to_string(m);
            u.glslName = var + "." + member;
            spvc_type t = spvc_compiler_get_type_handle(comp, spvc_type_get_member_type(block, m));
            u.base = BaseOf(spvc_type_get_basetype(t));
            unsigned columns = spvc_type_get_columns(t), vec = spvc_type_get_vector_size(t);
            // glslang keeps HLSL matrices transposed: an HLSL RxC matrix has R SPIR-V columns.
            if (columns > 1) {
                u.rows = static_cast<int>(columns);
                u.columns = static_cast<int>(vec);
            } else {
                u.rows = 1;
                u.columns = static_cast<int>(vec);
            }
            unsigned dims = spvc_type_get_num_array_dimensions(t);
            if (dims > 1) u.base = HlslBase::Other;
            if (dims == 1) u.elements = static_cast<int>(spvc_type_get_array_dimension(t, 0));
            spvc_compiler_set_member_name(comp, list[b].base_type_id, m, member.c_str());
            out.uniforms.push_back(u);
        }
        spvc_compiler_set_name(comp, list[b].id, var.c_str());
        spvc_compiler_set_name(comp, list[b].base_type_id, typeName.c_str());
    }

    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_SEPARATE_IMAGE, &list,
                                              &count);
    if (count) {
        log += "error: texture objects without a sampler are not supported; use sampler2D "
               "with tex2D\n";
        return false;
    }
    // Samplers the code reads; only these get a sampler register.
    std::vector<spvc_variable_id> activeSamplers;
    {
        spvc_set active = nullptr;
        spvc_resources activeRes = nullptr;
        const spvc_reflected_resource* alist = nullptr;
        size_t acount = 0;
        if (spvc_compiler_get_active_interface_variables(comp, &active) == SPVC_SUCCESS &&
            spvc_compiler_create_shader_resources_for_active_variables(comp, &activeRes, active) ==
                SPVC_SUCCESS &&
            spvc_resources_get_resource_list_for_type(activeRes, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE,
                                                      &alist, &acount) == SPVC_SUCCESS) {
            for (size_t i = 0; i < acount; ++i) activeSamplers.push_back(alist[i].id);
        }
    }
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE, &list,
                                              &count);
    for (size_t i = 0; i < count; ++i) {
        HlslSampler s;
        s.hlslName = SourceName(list[i].name);
        s.used = false;
        for (spvc_variable_id id : activeSamplers) s.used = s.used || id == list[i].id;
        s.glslName = std::string(prefix) + "_s" + std::to_string(i);
        spvc_compiler_set_name(comp, list[i].id, s.glslName.c_str());
        spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationBinding);
        spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationDescriptorSet);
        out.samplers.push_back(s);
    }

    const char* glsl = nullptr;
    if (spvc_compiler_compile(comp, &glsl) != SPVC_SUCCESS) {
        log += std::string("error: ") + spvc_context_get_last_error_string(ctx) + "\n";
        return false;
    }
    std::string text = glsl;
    // Pixel stages set their own variables where main begins, vertex stages their outputs
    // where it ends.
    std::string prologue, outputCopies;
    if (!WidenVaryings(narrow, text, prologue, outputCopies)) {
        log += "error: unexpected translator output for a varying\n";
        return false;
    }
    for (const std::string& name : unfedInputs) {
        std::string type;
        int n = 0;
        if (!InputToVariable(text, name, type, n)) {
            log += "error: unexpected translator output for " + name + "\n";
            return false;
        }
        std::string value = type + "(vec4(0.0, 0.0, 0.0, 1.0))";
        if (n > 0) {
            for (int k = 0; k < n; ++k)
                prologue += "    " + name + "[" + std::to_string(k) + "] = " + value + ";\n";
        } else {
            prologue += "    " + name + " = " + value + ";\n";
        }
    }

    // The epilogue runs where main ends: SPIRV-Cross writes main last and without early
    // returns (the HLSL entry is a function of its own).
    std::string epilogue;
    if (stage == ShaderStage::Vertex) {
        // SV_Position outputs are GL's gl_Position already.
        bool builtinPosition = false;
        const spvc_reflected_builtin_resource* builtins = nullptr;
        size_t builtinCount = 0;
        spvc_resources_get_builtin_resource_list_for_type(res, SPVC_BUILTIN_RESOURCE_TYPE_STAGE_OUTPUT,
                                                          &builtins, &builtinCount);
        for (size_t i = 0; i < builtinCount; ++i)
            builtinPosition = builtinPosition || builtins[i].builtin == SpvBuiltInPosition;
        if (positionOutput.empty() && !builtinPosition) {
            log += "error: the vertex shader writes no POSITION\n";
            return false;
        }
        for (const std::string& c : colorOutputs)
            epilogue += "    " + c + " = clamp(" + c + ", 0.0, 1.0);\n";
        epilogue += outputCopies;
        epilogue += PositionEpilogue(positionOutput);
    } else {
        if (hasColor0) epilogue += AlphaTestEpilogue();
        if (!depthOutput.empty()) epilogue += "    gl_FragDepth = " + depthOutput + ";\n";
    }
    if (!epilogue.empty()) {
        size_t end = text.rfind('}');
        if (end == std::string::npos) {
            log += "error: unexpected translator output\n";
            return false;
        }
        text.insert(end, epilogue);
    }
    // A DEPTH output becomes a plain variable that the epilogue copies.
    if (!depthOutput.empty()) {
        size_t p = text.find("out float " + depthOutput + ";");
        if (p == std::string::npos) {
            log += "error: unexpected translator output for DEPTH\n";
            return false;
        }
        size_t lineStart = text.rfind('\n', p);
        lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
        text.replace(lineStart, p + 4 - lineStart, "");
    }
    // VPOS (the pixel's integer coordinates) and VFACE (positive on front faces) become
    // plain variables set from GL's built-ins where main begins.
    for (const std::string& name : pixelBuiltins) {
        std::string type;
        int n = 0;
        if (!InputToVariable(text, name, type, n) || n > 0) {
            log += "error: unexpected translator output for " + name + "\n";
            return false;
        }
        bool face = name.compare(0, 8, "dx_VFACE") == 0;
        std::string value = face ? FaceSign() : PixelPosition();
        if (type == "float") value = face ? value : "floor(gl_FragCoord.x)";
        else if (type == "vec2") value = face ? "vec2" + value : value;
        else if (type == "vec3") value = face ? "vec3" + value : "vec3(" + value + ", 0.0)";
        else if (type == "vec4") value = face ? "vec4" + value : "vec4(" + value + ", 0.0, 0.0)";
        prologue += "    " + name + " = " + value + ";\n";
    }
    if (!prologue.empty()) {
        size_t body = text.find("void main()\n{\n");
        if (body == std::string::npos) {
            log += "error: unexpected translator output for main\n";
            return false;
        }
        text.insert(body + 14, prologue);
    }
    std::string declarations = StageUniforms(stage, hasColor0);
    if (stage == ShaderStage::Pixel) {
        // ddy follows the screen downwards, as the rows of the target may not.
        if (text.find("dFdy(") != std::string::npos)
            declarations += "#define dFdy(x) (" + std::string(kRowFromFragYUniform) +
                            ".y * dFdy(x))\n";
    }
    if (!declarations.empty()) {
        // Declared after the #version and extension lines.
        size_t nl = text.find('\n');
        size_t after = nl == std::string::npos ? text.size() : nl + 1;
        // SPIRV-Cross opens with #extension lines and, for loop and branch attributes,
        // #if/#define/#else/#endif blocks: the declarations go after all of them.
        while (after < text.size() && text[after] == '#') {
            size_t n2 = text.find('\n', after);
            after = n2 == std::string::npos ? text.size() : n2 + 1;
        }
        text.insert(after, declarations);
    }
    out.glsl = text;
    return true;
}

}  // namespace hlsl
