#include "FloodmarkSaver/gpu/FloodmarkShader.h"

namespace floodmark::FloodmarkShader {

const std::string_view vertexSource = R"(#version 300 es
void main() {
    vec2 corners[3] = vec2[3](vec2(-1.0, -1.0), vec2(3.0, -1.0), vec2(-1.0, 3.0));
    gl_Position = vec4(corners[gl_VertexID], 0.0, 1.0);
}
)";

const std::string_view fragmentSource = R"(#version 300 es
precision highp float;

layout(std140) uniform Uniforms {
    vec4 size;        // width, height, time, water drawn
    vec4 water;       // rest line, amplitude, lit end, surface line width
    vec4 bands;       // glow height, mark line width, origin glow radius, marks in use
    vec4 tint;
    vec4 canvas;
    vec4 canvasGlow;
    vec4 alphas;      // body top, body bottom, surface glow, origin glow
    vec4 run;         // dim run, lit run, wave period A, wave period B
    vec4 marks[16];   // centre x, radius, alpha, 0 upper or 1 lower
};

out vec4 fragColor;

const float tau = 6.2831853;

float surfaceY(float x) {
    if (water.y <= 0.0 || size.x <= 0.0) {
        return water.x;
    }
    float u = x / size.x;
    float a = sin(tau * (1.7 * u - size.z / run.z));
    float b = sin(tau * (2.9 * u + size.z / run.w));
    return water.x + water.y * (a + 0.5 * b) / 1.5;
}

float surfaceSlope(float x) {
    if (water.y <= 0.0 || size.x <= 0.0) {
        return 0.0;
    }
    float u = x / size.x;
    return water.y * (cos(tau * (1.7 * u - size.z / run.z)) * 1.7 * tau / size.x +
                      cos(tau * (2.9 * u + size.z / run.w)) * 2.9 * tau / size.x * 0.5) / 1.5;
}

float strokeCoverage(float distanceToLine, float width) {
    return clamp(width * 0.5 + 0.5 - distanceToLine, 0.0, 1.0);
}

float halfCircleDistance(vec2 p, vec2 centre, float radius, bool upper) {
    vec2 v = p - centre;
    bool openSide = upper ? v.y >= 0.0 : v.y <= 0.0;
    if (openSide) {
        return abs(length(v) - radius);
    }
    return min(length(v - vec2(radius, 0.0)), length(v + vec2(radius, 0.0)));
}

// The fixed dither of the Cairo pictures, -1/2 to +1/2 of a level: interleaved gradient noise
// over tiles of 64 × 64 pixels, on the pixel's column and its row counted from the top.
vec4 dithered(vec3 colour) {
    float column = mod(floor(gl_FragCoord.x), 64.0);
    float row = mod(floor(size.y - gl_FragCoord.y), 64.0);
    float noise = fract(52.9829189 * fract(0.06711056 * column + 0.00583715 * row));
    return vec4(colour + (noise - 0.5) / 255.0, 1.0);
}

void main() {
    vec2 p = gl_FragCoord.xy;
    vec3 colour = canvas.rgb;

    float t = distance(p, vec2(size.x * 0.5, 0.0)) / max(bands.z, 1.0);
    if (t < 1.0) {
        colour = mix(colour, canvasGlow.rgb, alphas.w * (1.0 - t));
    }
    if (size.w < 0.5) {
        fragColor = dithered(colour);
        return;
    }

    float top = water.x;
    float amp = water.y;
    float slope = surfaceSlope(p.x);
    float d = (p.y - surfaceY(p.x)) / sqrt(1.0 + slope * slope);
    float below = clamp(0.5 - d, 0.0, 1.0);

    float bodyAlpha = mix(alphas.y, alphas.x, clamp(p.y / max(top + amp, 0.001), 0.0, 1.0));
    colour = mix(colour, tint.rgb, bodyAlpha * below);

    float base = top - amp;
    float span = bands.x + 2.0 * amp;
    float glowAlpha = mix(alphas.z, 0.0, clamp((p.y - base) / span, 0.0, 1.0));
    colour = mix(colour, tint.rgb, glowAlpha * (1.0 - below));

    float line = strokeCoverage(abs(d), water.w);
    colour = mix(colour, tint.rgb, run.x * line);
    float lit = clamp(water.z - p.x + 0.5, 0.0, 1.0);
    colour = mix(colour, tint.rgb, run.y * line * lit);

    int count = int(bands.w + 0.5);
    for (int i = 0; i < 16; ++i) {
        if (i >= count) {
            break;
        }
        vec4 mark = marks[i];
        vec2 centre = vec2(mark.x, surfaceY(mark.x));
        float markDistance = halfCircleDistance(p, centre, mark.y, mark.w < 0.5);
        colour = mix(colour, tint.rgb, mark.z * strokeCoverage(markDistance, bands.y));
    }
    fragColor = dithered(colour);
}
)";

}  // namespace floodmark::FloodmarkShader
