#include "platform/gl/GpuDevice.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

namespace floodmark {

namespace {
bool gpuEnabled = true;
}  // namespace

GpuDevice::~GpuDevice() {
    auto display = static_cast<EGLDisplay>(display_);
    if (display != EGL_NO_DISPLAY) {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context_ != nullptr) {
            eglDestroyContext(display, static_cast<EGLContext>(context_));
        }
        eglTerminate(display);
    }
}

void GpuDevice::setEnabled(bool enabled) {
    gpuEnabled = enabled;
}

std::shared_ptr<GpuDevice> GpuDevice::systemDefault() {
    if (!gpuEnabled) {
        return nullptr;
    }
    // Kept to the very end of the process: tearing EGL down during exit would unload the
    // driver while its own clean-up still runs.
    static const auto* device = new std::shared_ptr<GpuDevice>(make());
    return *device;
}

std::shared_ptr<GpuDevice> GpuDevice::make() {
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        return nullptr;
    }
    EGLDisplay display =
        getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        return nullptr;
    }
    std::shared_ptr<GpuDevice> device(new GpuDevice);
    device->display_ = display;
    const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES3_BIT, EGL_SURFACE_TYPE,
                                       EGL_PBUFFER_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    if (!eglBindAPI(EGL_OPENGL_ES_API) ||
        !eglChooseConfig(display, configAttributes, &config, 1, &configs) || configs < 1) {
        return nullptr;
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        return nullptr;
    }
    device->context_ = context;
    if (!device->makeCurrent()) {
        return nullptr;
    }
    return device;
}

bool GpuDevice::makeCurrent() {
    return eglMakeCurrent(static_cast<EGLDisplay>(display_), EGL_NO_SURFACE, EGL_NO_SURFACE,
                          static_cast<EGLContext>(context_)) == EGL_TRUE;
}

}  // namespace floodmark
