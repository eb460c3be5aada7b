// The preprocessor D3DX runs over a whole effect file before reading it: #define (object-
// and function-like, with # and ##), #undef, #include "file" / <file> found next to the
// including file, #if/#ifdef/#ifndef/#elif/#else/#endif with integer expressions and
// defined(), #error. #pragma and #line stay in the text for the shader compiler.
// The output keeps the line layout of each file; an included file's text is framed by
// `#line N "file"` directives, so compiler messages name the original file and line, and
// FxOrigin gives the same for the effect reader's own messages. Comments are blanked.
// Not done: macros whose arguments run across a directive line.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/fx_include.h"

namespace core {

struct FxFile;

// Reads an included file: false when it cannot be read.
typedef bool (*FxReadFile)(const std::string& path, std::string& text);

struct FxPreprocessed {
    std::string text;
    std::vector<std::string> includes;   // paths of the files included, in order, repeats kept
};

// A caller's reader of included files, as D3DX's ID3DXInclude: given the name as written,
// whether it was written <file>, and the path of the including file (the effect file's name,
// or a `path` this reader gave before). Sets `path`, the name messages give the file, and its
// `text`; false when it cannot be read.
typedef std::function<bool(const std::string& written, bool system, const std::string& parent,
                           std::string& path, std::string& text)>
    FxOpenInclude;

// `name` is the effect file's path (includes are found next to it); `defines` are macros
// given by the caller (name, value). On failure `err` is
// "file(line,col): error X1xxx: message" at the place in the original file.
bool PreprocessFx(const std::string& text, const std::string& name,
                  const std::vector<std::pair<std::string, std::string>>& defines,
                  FxReadFile read, FxPreprocessed& out, std::string& err);
// The same with includes read by `open`.
bool PreprocessFx(const std::string& text, const std::string& name,
                  const std::vector<std::pair<std::string, std::string>>& defines,
                  const FxOpenInclude& open, FxPreprocessed& out, std::string& err);

// The original file and line of line `line` (1-based) of preprocessed `text` whose
// top file is `name`.
void FxOrigin(const std::string& text, const std::string& name, int line, std::string& file,
              int& fileLine);

// The default include reader is FxReadIncludeFile (fx_include.h).

// "file(line)" of line `line` of the preprocessed text, for messages.
std::string FxWhere(const FxPreprocessed& pre, const std::string& name, int line);

// Compiler messages in the shape D3DX gives them, one a line:
//   file(line,col): error Xnnnn: text        (and "warning Xnnnn:")
// Lines written "file(line): error: text" or "file(line,col): warning: text" get column 1
// where they have none and the HLSL compiler's code that fits their text (X3000, the syntax
// error code, when none does); lines in D3DX's shape already and other lines stay as they are.
std::string FxD3dxMessages(const std::string& log);
// Appends the lines of `more` that `log` does not hold yet: each stage of an effect compiles
// the whole file, so an error outside the stage's entry would otherwise repeat per stage.
void FxAppendMessages(std::string& log, const std::string& more);
// The code of a message text, e.g. "X3004" for an undeclared identifier.
std::string FxMessageCode(const std::string& text, bool error);

// What both backends do with an effect file's text: preprocess it (includes read with
// FxReadIncludeFile) and read the result with ParseFx. `err` is "file(line): error: message".
bool LoadFx(const std::string& text, const std::string& name, FxPreprocessed& pre, FxFile& fx,
            std::string& err, FxReadFile read = FxReadIncludeFile);

}  // namespace core
