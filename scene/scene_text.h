// Message texts of the scene managers: a fixed prefix followed by a name from a file.
// The string type cuts what does not fit, so long names give a shortened message.
#pragma once

#include "strings/zarvik_string.h"

inline Zarvik_string SceneText(const char* prefix, const char* name)
{
    Zarvik_string text;
    text = prefix;
    text += name;
    return text;
}
