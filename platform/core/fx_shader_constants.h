// Shader constant states of effect passes: `VertexShaderConstant[4] = <mWorldViewProj>;`,
// `PixelShaderConstantF[0] = {1, 0.5, 0, 1};` and their kin (VertexShaderConstant,
// ...ConstantF/I/B, ...Constant1..4, the same for PixelShader), which set constant registers of
// the pass's shaders when it begins. Both backends read them here, so they accept and reject
// the same values.
#pragma once

#include <string>
#include <vector>

#include "platform/core/fxfile.h"
#include "platform/core/fxfile_values.h"

namespace core {

struct FxConstantState {
    bool vertex = true;
    char file = 'f';         // 'f' float registers c#, 'i' integer i#, 'b' boolean b#
    int first = 0;           // the state's index: the first register written
    int maxRegisters = 0;    // ...Constant1..4: at most that many registers; 0: all the value has
    int param = -1;          // the parameter (index into FxFile::params) the value names, or -1
    int element = -1;        // `<name[2]>`: that element of an array parameter
    std::vector<float> literal;   // a value written out: its numbers in order
};

// True for the names of shader constant states (case-blind).
bool FxIsShaderConstantState(const std::string& name);

// Reads state `s` (one FxIsShaderConstantState names). False with `err` when its value is
// neither numbers nor a numeric parameter of `fx`.
bool FxReadShaderConstant(const FxFile& fx, const FxState& s, FxConstantState& out, std::string& err);

// The register values a constant state writes, 4 a register for c# and i#, 1 for b#:
// literal numbers in order; else the value of the parameter, of shape `shape` (`values`: rows
// x columns per element, row by row), as D3DX lays it out in registers: a matrix one column a
// register (one row when declared row_major), a vector or scalar one register, each element
// of an array after the other.
std::vector<float> FxConstantRegisters(const FxConstantState& c, const FxShape& shape, bool rowMajor,
                                       const std::vector<float>& values);

}  // namespace core
