#version 330
uniform vec2 dx_halfPixel;

struct vs_Globals
{
    mat4 m0;
    mat4 m1;
};

uniform vs_Globals vs_u;

layout(location = 0) in vec3 dx_in_POSITION0;
out vec4 dx_POSITION0;

mat4 spvWorkaroundRowMajor(mat4 wrap) { return wrap; }

void main()
{
    dx_POSITION0 = (spvWorkaroundRowMajor(vs_u.m0) * vec4(dx_in_POSITION0, 1.0)) * spvWorkaroundRowMajor(vs_u.m1);
    gl_Position = dx_POSITION0;
    gl_Position.xy += vec2(dx_halfPixel.x, -dx_halfPixel.y) * gl_Position.w;
    gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
    gl_Position.y = -gl_Position.y;
}

