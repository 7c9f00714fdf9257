#include "platform/gl/GpuOverlay.h"

#include "platform/gl/GlProgram.h"

#include <GLES3/gl3.h>

namespace floodmark {

namespace {

// Two triangles over the drawable, from the vertex index alone. Row 0 of the picture is its
// top, so the texture is read upside down.
constexpr const char* vertexSource = R"(#version 300 es
out vec2 place;
void main() {
    vec2 corners[6] = vec2[](vec2(0.0, 0.0), vec2(1.0, 0.0), vec2(0.0, 1.0),
                             vec2(0.0, 1.0), vec2(1.0, 0.0), vec2(1.0, 1.0));
    vec2 corner = corners[gl_VertexID];
    place = vec2(corner.x, 1.0 - corner.y);
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";

// Cairo's ARGB32 is B, G, R, A in memory on a little-endian machine: uploaded as RGBA bytes
// it reads back swizzled.
constexpr const char* fragmentSource = R"(#version 300 es
precision mediump float;
uniform sampler2D picture;
in vec2 place;
out vec4 colour;
void main() {
    colour = texture(picture, place).bgra;
}
)";

}  // namespace

GpuOverlay::~GpuOverlay() {
    // The context may be gone with the device; the driver frees what it held then.
    if (program_ != 0) {
        glDeleteProgram(program_);
        glDeleteTextures(1, &texture_);
        glDeleteVertexArrays(1, &vertexArray_);
    }
}

bool GpuOverlay::prepare() {
    if (program_ != 0) {
        return true;
    }
    program_ = makeGlProgram(vertexSource, fragmentSource);
    if (program_ == 0) {
        return false;
    }
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glGenVertexArrays(1, &vertexArray_);
    return true;
}

bool GpuOverlay::draw(const CairoCanvas& picture, std::uint64_t version) {
    if (!prepare()) {
        return false;
    }
    glBindTexture(GL_TEXTURE_2D, texture_);
    if (!uploaded_ || version != uploadedVersion_) {
        cairo_surface_t* surface = picture.surface();
        cairo_surface_flush(surface);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, cairo_image_surface_get_stride(surface) / 4);
        if (picture.pixelWidth() != width_ || picture.pixelHeight() != height_ || !uploaded_) {
            width_ = picture.pixelWidth();
            height_ = picture.pixelHeight();
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         cairo_image_surface_get_data(surface));
        } else {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE,
                            cairo_image_surface_get_data(surface));
        }
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        uploaded_ = true;
        uploadedVersion_ = version;
    }
    glUseProgram(program_);
    glBindVertexArray(vertexArray_);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glDisable(GL_BLEND);
    glBindVertexArray(0);
    return glGetError() == GL_NO_ERROR;
}

}  // namespace floodmark
