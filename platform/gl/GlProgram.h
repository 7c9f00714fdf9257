#pragma once

#include <string_view>

namespace floodmark {

// A GL program linked from GLSL ES source text, compiled now; 0 when either stage does not
// compile or the two do not link. Needs a context current.
unsigned makeGlProgram(std::string_view vertexSource, std::string_view fragmentSource);

}  // namespace floodmark
