// Values of effect parameters as ID3DXBaseEffect reads and writes them: handles that name one
// element of an array ("lights[2]", as GetParameterByName accepts and GetParameterElement
// gives), and the array and raw setters and getters. Values are kept as floats, rows x columns
// row by row per element, elements in order.
#pragma once

#include <string>
#include <vector>

#include "platform/core/fxfile.h"

namespace core {

struct FxShape {
    FxClass cls = FxClass::Scalar;
    int rows = 1, columns = 1;
    int elements = 0;   // 0: not an array
    size_t ElementFloats() const { return static_cast<size_t>(rows * columns); }
    size_t Floats() const { return ElementFloats() * static_cast<size_t>(elements > 0 ? elements : 1); }
    bool Numeric() const { return cls == FxClass::Scalar || cls == FxClass::Vector || cls == FxClass::Matrix; }
};

// The numbers a type as written holds ("float4x4", "matrix", "min16int", "DWORD"), as D3DX
// describes them: None for textures, samplers, strings, shaders and structs.
enum class FxBase { None, Bool, Int, Float };
FxBase FxNumericBase(const std::string& type);

// "name" or "name[i]": the parameter's name and the element, -1 when none. False for text
// after the name that is not one [decimal number].
bool FxSplitHandle(const char* handle, std::string& name, int& element);

// The value a handle names: the parameter itself (element -1) or one element of an array,
// which starts at float `offset`. False when the element does not exist.
bool FxNarrow(const FxShape& param, int element, FxShape& named, size_t& offset);

enum class FxArrayCall { Float, Vector, Matrix, MatrixTranspose };

// Set{Float,Vector,Matrix,MatrixTranspose}Array on a value of shape `s`: `in` holds `count`
// items of 1, 4 or 16 floats. `out` receives the floats written to the first out.size() floats
// of the value (fewer items than elements leave the rest as they are). False when D3DX refuses
// the call (D3DERR_INVALIDCALL): more items than elements, or a value of another class.
bool FxSetArray(FxArrayCall call, const FxShape& s, const float* in, unsigned count,
                std::vector<float>& out);
// Get*Array: `count` items from the value's floats into `out`, in the setter's layout.
bool FxGetArray(FxArrayCall call, const FxShape& s, const float* value, unsigned count,
                float* out);

// SetValue / GetValue of a numeric value: the whole value, when `bytes` holds it; int and bool
// values are 32-bit integers in the caller's memory, others floats.
bool FxSetRaw(const FxShape& s, bool integer, const void* data, unsigned bytes,
              std::vector<float>& out);
bool FxGetRaw(const FxShape& s, bool integer, const float* value, void* data, unsigned bytes);

}  // namespace core
