#include "FloodmarkSaver/gpu/FloodmarkGpuRenderer.h"

#include "FloodmarkSaver/gpu/FloodmarkShader.h"
#include "FloodmarkSaver/frame/FloodmarkPalette.h"
#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "FloodmarkSaver/scene/PopRenderer.h"
#include "platform/gl/GlProgram.h"

#include <GLES3/gl3.h>

#include <algorithm>
#include <deque>

namespace floodmark {

namespace {

constexpr double invisibleLevel = 0.001;

float f(double value) {
    return static_cast<float>(value);
}

}  // namespace

std::unique_ptr<FloodmarkGpuRenderer> FloodmarkGpuRenderer::make(
    std::shared_ptr<GpuDevice> device) {
    if (!device || !device->makeCurrent()) {
        return nullptr;
    }
    GLuint program = makeGlProgram(FloodmarkShader::vertexSource, FloodmarkShader::fragmentSource);
    GLuint block = program ? glGetUniformBlockIndex(program, "Uniforms") : GL_INVALID_INDEX;
    if (block == GL_INVALID_INDEX) {
        glDeleteProgram(program);
        return nullptr;
    }
    glUniformBlockBinding(program, block, 0);
    std::unique_ptr<FloodmarkGpuRenderer> renderer(new FloodmarkGpuRenderer(std::move(device)));
    renderer->program_ = program;
    glGenBuffers(1, &renderer->uniformBuffer_);
    return renderer;
}

FloodmarkGpuRenderer::~FloodmarkGpuRenderer() {
    if (device_ && device_->makeCurrent()) {
        glDeleteBuffers(1, &uniformBuffer_);
        glDeleteProgram(program_);
    }
}

void FloodmarkGpuRenderer::beginDraw() {
    presentedLastDraw_ = false;
    lastMiss_ = DrawMiss::skipped;
}

void FloodmarkGpuRenderer::draw(GpuView& view) {
    presentedLastDraw_ = false;
    std::optional<DrawMiss> miss = DrawMiss::noSize;
    Size bounds = view.bounds();
    if (bounds.height > 0 && view.drawableHeight() > 0) {
        if (!view.bindFramebuffer()) {
            miss = DrawMiss::noDrawable;
        } else {
            while (glGetError() != GL_NO_ERROR) {
            }
            GpuUniforms uniforms = makeUniforms(bounds, view.drawableHeight() / bounds.height);
            glUseProgram(program_);
            glBindBuffer(GL_UNIFORM_BUFFER, uniformBuffer_);
            glBufferData(GL_UNIFORM_BUFFER, sizeof uniforms, &uniforms, GL_STREAM_DRAW);
            glBindBufferBase(GL_UNIFORM_BUFFER, 0, uniformBuffer_);
            glDrawArrays(GL_TRIANGLES, 0, 3);
            // A draw the driver refused, or a picture the window system would not take.
            if (glGetError() != GL_NO_ERROR || !view.present()) {
                miss = DrawMiss::encodeFailed;
            } else {
                presentedLastDraw_ = true;
                miss.reset();
            }
        }
    }
    lastMiss_ = miss;
}

GpuUniforms::Vector FloodmarkGpuRenderer::rgb(Color colour) {
    // Every colour here is sRGB already: the conversion is the identity.
    return {f(colour.red), f(colour.green), f(colour.blue), 1};
}

GpuUniforms FloodmarkGpuRenderer::makeUniforms(Size points, double scale) {
    using namespace FloodmarkRenderer;
    const double level = std::clamp(frame.y, 0.0, 1.0);
    const bool drawWater = level > invisibleLevel && !frame.style.isFullBleed();
    const double amp = amplitude(points.height, frame.reduceMotion);
    const double top = waterTop(level, points.height);
    const double lineWidth = surfaceLineWidth(points.height);

    std::deque<GpuUniforms::Vector> marks;
    for (const auto& ripple : frame.ripples) {
        double age = std::clamp(ripple.age, 0.0, 1.0);
        marks.push_back({f(points.width * ripple.position * scale),
                         f(rippleRadius(age, points.height) * scale), f(rippleAlpha * (1 - age)),
                         0});
    }
    const double popRadius = PopRenderer::radius(points.height);
    for (const auto& pop : frame.pops) {
        for (const auto& arc : PopRenderer::arcs(pop.age, popRadius)) {
            marks.push_back({f(points.width * pop.position * scale), f(arc.radius * scale),
                             f(arc.alpha), arc.upper ? 0.0f : 1.0f});
        }
    }
    // The oldest go first.
    while (marks.size() > static_cast<std::size_t>(maxMarks)) {
        marks.pop_front();
    }

    GpuUniforms uniforms;
    uniforms.size = {f(points.width * scale), f(points.height * scale),
                     frame.reduceMotion ? 0.0f : f(frame.time), drawWater ? 1.0f : 0.0f};
    uniforms.water = {f(top * scale), f(amp * scale),
                      f(points.width * std::clamp(frame.x, 0.0, 1.0) * scale),
                      f(lineWidth * scale)};
    uniforms.bands = {
        f(glowHeight(points.height) * scale), f(std::max(0.8 * lineWidth, 1.0) * scale),
        f(0.75 * std::max(points.width, points.height) * scale), static_cast<float>(marks.size())};
    if (!tintCache_ || tintCache_->first != frame.severity) {
        tintCache_ = {frame.severity, rgb(FloodmarkPalette::waterTint(frame.severity))};
        ++tintConversions_;
    }
    uniforms.tint = tintCache_->second;
    uniforms.canvas = rgb(FloodmarkPalette::canvas);
    uniforms.canvasGlow = rgb(FloodmarkPalette::canvasGlow);
    uniforms.alphas = {f(bodyAlphaTop), f(bodyAlphaBottom), f(surfaceGlowAlpha),
                       f(originGlowAlpha)};
    uniforms.run = {f(surfaceRunDimAlpha), f(surfaceRunLitAlpha), f(surfacePeriodA),
                    f(surfacePeriodB)};
    std::copy(marks.begin(), marks.end(), uniforms.marks.begin());
    return uniforms;
}

}  // namespace floodmark
