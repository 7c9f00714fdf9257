#include "platform/gl/GpuDevice.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES3/gl3.h>

#include <array>
#include <vector>

namespace floodmark {

namespace {

GpuPolicy chosenPolicy = GpuPolicy::automatic;

EGLDisplay platformDisplay(GpuDevice::System system, void* display) {
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        return EGL_NO_DISPLAY;
    }
    switch (system) {
        case GpuDevice::System::x11:
            return getPlatformDisplay(EGL_PLATFORM_X11_KHR, display, nullptr);
        case GpuDevice::System::wayland:
            return getPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, display, nullptr);
        case GpuDevice::System::surfaceless:
            break;
    }
    return getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

}  // namespace

GpuDevice::~GpuDevice() {
    auto display = static_cast<EGLDisplay>(display_);
    if (display != EGL_NO_DISPLAY) {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context_ != nullptr) {
            eglDestroyContext(display, static_cast<EGLContext>(context_));
        }
        // A window system's display stays initialised for Mesa's own teardown at exit:
        // terminating it unloads the driver, whose remaining allocations would then be lost.
        if (!drawsToWindows()) {
            eglTerminate(display);
        }
    }
}

void GpuDevice::setPolicy(GpuPolicy policy) {
    chosenPolicy = policy;
}

GpuPolicy GpuDevice::policy() {
    return chosenPolicy;
}

bool GpuDevice::isSoftware() const {
    for (const char* name : {"llvmpipe", "softpipe", "swrast"}) {
        if (renderer_.find(name) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::shared_ptr<GpuDevice> GpuDevice::make(System system, void* native, std::string& failure) {
    EGLDisplay display = platformDisplay(system, native);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        failure = "EGL cannot draw on this display";
        return nullptr;
    }
    failure = "EGL has no OpenGL ES 3 context for this display";
    std::shared_ptr<GpuDevice> device(new GpuDevice(system));
    device->display_ = display;
    // No config of its own: the one context draws into windows of any visual.
    const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
    std::string offered = extensions != nullptr ? extensions : "";
    for (const char* name : {"KHR", "EXT"}) {
        std::string extension = std::string("EGL_") + name + "_swap_buffers_with_damage";
        if (device->swapWithDamage_ == nullptr && offered.find(extension) != std::string::npos) {
            device->swapWithDamage_ = reinterpret_cast<void*>(
                eglGetProcAddress((std::string("eglSwapBuffersWithDamage") + name).c_str()));
        }
    }
    bool configless =
        extensions != nullptr &&
        std::string(extensions).find("EGL_KHR_no_config_context") != std::string::npos;
    EGLConfig config = EGL_NO_CONFIG_KHR;
    if (!configless) {
        const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES3_BIT, EGL_NONE};
        EGLint configs = 0;
        if (!eglChooseConfig(display, configAttributes, &config, 1, &configs) || configs < 1) {
            return nullptr;
        }
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_NONE};
    if (!eglBindAPI(EGL_OPENGL_ES_API)) {
        return nullptr;
    }
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        return nullptr;
    }
    device->context_ = context;
    if (!device->makeCurrent()) {
        return nullptr;
    }
    if (const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER))) {
        device->renderer_ = name;
    }
    failure.clear();
    return device;
}

void* GpuDevice::makeWindowSurface(const NativeWindow& window) {
    auto display = static_cast<EGLDisplay>(display_);
    if (!drawsToWindows()) {
        return nullptr;
    }
    const EGLint wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES3_BIT, EGL_SURFACE_TYPE,
                             EGL_WINDOW_BIT, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, nullptr, 0, &count) || count < 1) {
        return nullptr;
    }
    std::vector<EGLConfig> configs(static_cast<std::size_t>(count));
    eglChooseConfig(display, wanted, configs.data(), count, &count);
    if (system_ == System::wayland) {
        return window.waylandWindow != nullptr ? makeWaylandSurface(configs, window.waylandWindow)
                                               : nullptr;
    }
    for (EGLConfig config : configs) {
        EGLint visual = 0;
        if (eglGetConfigAttrib(display, config, EGL_NATIVE_VISUAL_ID, &visual) &&
            static_cast<unsigned long>(visual) == window.xVisual) {
            EGLSurface surface = eglCreateWindowSurface(
                display, config, static_cast<EGLNativeWindowType>(window.xWindow), nullptr);
            return surface == EGL_NO_SURFACE ? nullptr : surface;
        }
    }
    return nullptr;
}

void* GpuDevice::makeWaylandSurface(const std::vector<void*>& configs, wl_egl_window* window) {
    auto display = static_cast<EGLDisplay>(display_);
    // Eight bits a channel, opaque where there is such a config: the compositor need not
    // blend the water.
    auto channels = [display](EGLConfig config, EGLint attribute) {
        EGLint bits = 0;
        eglGetConfigAttrib(display, config, attribute, &bits);
        return bits;
    };
    EGLConfig chosen = nullptr;
    for (EGLConfig config : configs) {
        if (channels(config, EGL_RED_SIZE) != 8 || channels(config, EGL_GREEN_SIZE) != 8 ||
            channels(config, EGL_BLUE_SIZE) != 8) {
            continue;
        }
        if (chosen == nullptr || channels(config, EGL_ALPHA_SIZE) == 0) {
            chosen = config;
        }
        if (channels(chosen, EGL_ALPHA_SIZE) == 0) {
            break;
        }
    }
    if (chosen == nullptr) {
        return nullptr;
    }
    EGLSurface surface = eglCreateWindowSurface(
        display, chosen, reinterpret_cast<EGLNativeWindowType>(window), nullptr);
    if (surface == EGL_NO_SURFACE) {
        return nullptr;
    }
    // A swap that waited for the compositor's frame callback would stall the main loop for as
    // long as the surface is hidden.
    if (makeCurrent(surface)) {
        eglSwapInterval(display, 0);
    }
    return surface;
}

void GpuDevice::releaseWindowSurface(void* surface) {
    if (surface == nullptr) {
        return;
    }
    auto display = static_cast<EGLDisplay>(display_);
    if (eglGetCurrentSurface(EGL_DRAW) == surface) {
        makeCurrent();
    }
    eglDestroySurface(display, static_cast<EGLSurface>(surface));
}

bool GpuDevice::makeCurrent(void* surface) {
    auto target = surface == nullptr ? EGL_NO_SURFACE : static_cast<EGLSurface>(surface);
    return eglMakeCurrent(static_cast<EGLDisplay>(display_), target, target,
                          static_cast<EGLContext>(context_)) == EGL_TRUE;
}

bool GpuDevice::swap(void* surface, std::optional<PixelRect> changed, int height) {
    auto display = static_cast<EGLDisplay>(display_);
    auto target = static_cast<EGLSurface>(surface);
    if (changed && swapWithDamage_ != nullptr) {
        auto swapWithDamage = reinterpret_cast<PFNEGLSWAPBUFFERSWITHDAMAGEKHRPROC>(swapWithDamage_);
        // EGL counts rows from the bottom.
        EGLint rect[4] = {changed->x, height - changed->y - changed->height, changed->width,
                          changed->height};
        return swapWithDamage(display, target, rect, changed->empty() ? 0 : 1) == EGL_TRUE;
    }
    return eglSwapBuffers(display, target) == EGL_TRUE;
}

}  // namespace floodmark
