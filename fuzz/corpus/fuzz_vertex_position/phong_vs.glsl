#version 330
uniform vec2 dx_halfPixel;

struct vs_Globals
{
    mat4 m0;
    mat4 m1;
    vec4 m2;
    vec4 m3;
    vec4 m4;
    float m5;
    float m6;
    float m7;
    float m8;
    float m9;
};

uniform vs_Globals vs_u;

layout(location = 0) in vec4 dx_in_POSITION0;
layout(location = 1) in vec3 dx_in_NORMAL0;
layout(location = 5) in vec2 dx_in_TEXCOORD0;
out vec4 dx_POSITION0;
out vec2 dx_TEXCOORD0;
out vec3 dx_TEXCOORD1;
out vec3 dx_TEXCOORD2;

mat4 spvWorkaroundRowMajor(mat4 wrap) { return wrap; }

void main()
{
    dx_POSITION0 = spvWorkaroundRowMajor(vs_u.m0) * dx_in_POSITION0;
    dx_TEXCOORD0 = dx_in_TEXCOORD0;
    dx_TEXCOORD1 = (spvWorkaroundRowMajor(vs_u.m1) * dx_in_POSITION0).xyz;
    dx_TEXCOORD2 = mat3(spvWorkaroundRowMajor(vs_u.m1)[0].xyz, spvWorkaroundRowMajor(vs_u.m1)[1].xyz, spvWorkaroundRowMajor(vs_u.m1)[2].xyz) * dx_in_NORMAL0;
    gl_Position = dx_POSITION0;
    gl_Position.xy += vec2(dx_halfPixel.x, -dx_halfPixel.y) * gl_Position.w;
    gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
    gl_Position.y = -gl_Position.y;
}

