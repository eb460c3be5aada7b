// The entry scan and the binding of compile arguments: where the entry function is defined and
// what its parameters are, and how `compile profile entry(args)` binds the arguments to the
// entry's uniform parameters, as the effect compiler binds them.
#pragma once

#include <string>
#include <vector>

namespace hlsl {

// The definition of an entry function as written: what stands before its name (the return
// type), its parameters, and what follows the parameter list up to the body (": COLOR").
struct EntrySignature {
    bool defined = false;
    bool unnamedParam = false;           // a parameter with a type but no name
    std::string returnType;
    std::vector<std::string> params;     // each parameter's text
    std::vector<std::string> names;      // each parameter's name
    std::vector<bool> uniform;           // declared `uniform`
    std::string suffix;
    std::vector<std::string> UniformNames() const {
        std::vector<std::string> out;
        for (size_t i = 0; i < names.size(); ++i)
            if (uniform[i]) out.push_back(names[i]);
        return out;
    }
};

// Finds the definition of `entry` (the first `entry(...)` followed by a body).
EntrySignature FindEntry(const std::string& hlsl, const std::string& entry);

// Blanks the prototypes of `entry` (`type entry(...);`), keeping the line layout. HLSL lets a
// function be declared before it is defined, but glslang takes the first declaration it meets
// as the entry point and then finds no body for it.
void BlankEntryPrototypes(std::string& hlsl, const std::string& entry);

// The name of the function that compiles `entry` with arguments that are expressions.
extern const char* const kBoundEntry;

// HLSL for a function that calls `entry` with its first uniform parameters bound to the
// compile call's arguments (any expression: a global parameter, which the stage then reads,
// static data, a constructor, arithmetic), as the effect compiler binds them. It stands at
// the compile statement's line so that messages about the arguments point there.
// `prologue` runs first (statements).
std::string BoundEntry(const EntrySignature& sig, const std::string& entry,
                       const std::vector<std::string>& args, const std::string& file, int line,
                       const std::string& prologue = std::string());

// Values of `compile` arguments: numbers, true, false, or braced lists of numbers.
bool ParseArgument(const std::string& text, std::vector<float>& value);

}  // namespace hlsl
