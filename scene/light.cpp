// Korvel_Light: constructor values and reading one light's keys from the level tree.
#include "scene/light.h"

#include "param_tree/dynamic_row.h"

Korvel_Light::Korvel_Light()
    : position(0.0f, 0.0f, 0.0f, 0.0f),
      look(0.0f, 0.0f, 0.0f, 0.0f),
      falloff(1000.0f),
      specular(8.5f),
      specularIntensity(0.19f),
      ambient(0.005f),
      attenuation(0.8f),
      colour(1.0f, 1.0f, 1.0f, 1.0f)
{
}

Korvel_Light::~Korvel_Light() {}

namespace {

// Reads `count` values below the key knot `key` of node `id` into `out`; false (and nothing
// read) when the key is missing or has fewer children than that.
bool ReadKey(DynamicRow* tree, unsigned int id, const char* key, unsigned int count, float* out)
{
    unsigned int k = tree->iLookInFor(id, key);
    if (tree->iCountKnots(k) + tree->iCountParams(k) < count) return false;
    unsigned int value = tree->TopId(k);
    for (unsigned int i = 0; i < count; ++i) {
        if (i > 0) value = tree->NextId(value);
        out[i] = tree->iLookName(value).toFloat();
    }
    return true;
}

}  // namespace

bool Korvel_Light::Load(Zarvik_string lightName, DynamicRow* tree)
{
    name = lightName;
    unsigned int id = tree->iLookId(lightName);
    unsigned int n = tree->iCountKnots(id) + tree->iCountParams(id);
    if (static_cast<int>(n) <= 0) return false;

    float v[3];
    if (ReadKey(tree, id, "_POSITION_", 3, v)) position = D3DXVECTOR4(v[0], v[1], v[2], 1.0f);
    if (ReadKey(tree, id, "_LOOK_", 3, v)) look = D3DXVECTOR4(v[0], v[1], v[2], 1.0f);
    if (ReadKey(tree, id, "_COLOR_", 3, v)) colour = D3DXVECTOR4(v[0], v[1], v[2], 1.0f);
    if (ReadKey(tree, id, "_FALLOFF_", 1, v)) falloff = v[0];
    if (ReadKey(tree, id, "_SPECULAR_", 1, v)) specular = v[0];
    if (ReadKey(tree, id, "_SPECULAR_INTENSY_", 1, v)) specularIntensity = v[0];
    if (ReadKey(tree, id, "_AMBIENT_", 1, v)) ambient = v[0];
    if (ReadKey(tree, id, "_ATTENUATION_", 1, v)) attenuation = v[0];
    return true;
}
