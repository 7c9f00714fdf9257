#include "FloodmarkSaver/options/FloodmarkOptionsController.h"

#include "FloodmarkSaver/options/FloodmarkOptions.h"

#include <gtk/gtk.h>

namespace floodmark {

namespace {

// Points as the sheet gives them; GTK's CSS points are the same typographic points.
constexpr const char* styleSheet = R"(
    .floodmark-title { font-family: "IBM Plex Sans"; font-weight: 500; font-size: 15pt; }
    .floodmark-small { font-size: 11pt; }
    .floodmark-body { font-size: 12pt; }
)";

GtkWidget* label(std::string_view text, const char* style, bool secondary, bool wraps) {
    GtkWidget* widget = gtk_label_new(std::string(text).c_str());
    gtk_widget_add_css_class(widget, style);
    if (secondary) {
        gtk_widget_add_css_class(widget, "dim-label");
    }
    gtk_label_set_xalign(GTK_LABEL(widget), 0);
    gtk_widget_set_halign(widget, GTK_ALIGN_START);
    if (wraps) {
        gtk_label_set_wrap(GTK_LABEL(widget), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(widget), 1);  // the width request decides
        gtk_widget_set_size_request(widget, 372, -1);
    }
    return widget;
}

void installStyleSheetOnce() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    GtkCssProvider* provider = gtk_css_provider_new();
    // GTK 4.12 replaced the call that takes a length (Debian 12 has 4.8).
#if GTK_CHECK_VERSION(4, 12, 0)
    gtk_css_provider_load_from_string(provider, styleSheet);
#else
    gtk_css_provider_load_from_data(provider, styleSheet, -1);
#endif
    gtk_style_context_add_provider_for_display(gdk_display_get_default(),
                                               GTK_STYLE_PROVIDER(provider),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

template <void (FloodmarkOptionsController::*Action)()>
GtkWidget* button(const char* title, FloodmarkOptionsController* controller) {
    GtkWidget* widget = gtk_button_new_with_label(title);
    g_signal_connect_swapped(
        widget, "clicked",
        G_CALLBACK(+[](FloodmarkOptionsController* target) { (target->*Action)(); }), controller);
    return widget;
}

void releaseController(gpointer holder) {
    delete static_cast<std::shared_ptr<FloodmarkOptionsController>*>(holder);
}

}  // namespace

std::shared_ptr<FloodmarkOptionsController> FloodmarkOptionsController::make() {
    std::shared_ptr<FloodmarkOptionsController> controller(new FloodmarkOptionsController());
    controller->build();
    // The window keeps its controller while it lives; the buttons act on it.
    g_object_set_data_full(G_OBJECT(controller->window_), "floodmark-controller",
                           new std::shared_ptr<FloodmarkOptionsController>(controller),
                           releaseController);
    return controller;
}

FloodmarkOptionsController::FloodmarkOptionsController() {
    installStyleSheetOnce();
    status_ = label("", "floodmark-small", true, false);
    window_ = GTK_WINDOW(gtk_window_new());
    gtk_window_set_default_size(window_, 420, 256);
    gtk_window_set_resizable(window_, FALSE);
    gtk_window_set_title(window_, std::string(FloodmarkOptions::title).c_str());
}

FloodmarkOptionsController::~FloodmarkOptionsController() = default;

void FloodmarkOptionsController::build() {
    GtkWidget* stack = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_widget_set_margin_top(stack, 20);
    gtk_widget_set_margin_bottom(stack, 20);
    gtk_widget_set_margin_start(stack, 20);
    gtk_widget_set_margin_end(stack, 20);
    gtk_widget_set_halign(stack, GTK_ALIGN_FILL);

    GtkBox* rows = GTK_BOX(stack);
    gtk_box_append(rows, label(FloodmarkOptions::title, "floodmark-title", false, false));
    gtk_box_append(rows,
                   label("Version " + FloodmarkOptions::version(), "floodmark-small", true, false));
    gtk_box_append(rows, label(FloodmarkOptions::summary, "floodmark-body", false, true));
    gtk_box_append(rows, label(FloodmarkOptions::privacy, "floodmark-small", true, true));
    gtk_box_append(rows, label(FloodmarkOptions::updates, "floodmark-small", true, true));
    gtk_box_append(rows, label(FloodmarkOptions::developer, "floodmark-small", true, true));
    gtk_widget_set_visible(status_, FALSE);
    gtk_box_append(rows, status_);

    GtkWidget* buttonRow = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    GtkWidget* spare = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_hexpand(spare, TRUE);
    GtkWidget* done = button<&FloodmarkOptionsController::dismiss>("Done", this);
    gtk_box_append(GTK_BOX(buttonRow),
                   button<&FloodmarkOptionsController::openPage>("Open Support Page", this));
    gtk_box_append(GTK_BOX(buttonRow),
                   button<&FloodmarkOptionsController::copyLink>("Copy Link", this));
    gtk_box_append(GTK_BOX(buttonRow), spare);
    gtk_box_append(GTK_BOX(buttonRow), done);
    gtk_box_append(rows, buttonRow);

    // Return and keypad Enter press "Done", Escape closes: caught on the way down to the focus,
    // before a focused button takes Return as a press of its own.
    GtkEventController* keys = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
    g_signal_connect(keys, "key-pressed",
                     G_CALLBACK(+[](GtkEventControllerKey*, guint key, guint, GdkModifierType,
                                    gpointer doneButton) -> gboolean {
                         if (key == GDK_KEY_Return || key == GDK_KEY_KP_Enter ||
                             key == GDK_KEY_ISO_Enter || key == GDK_KEY_Escape) {
                             gtk_widget_activate(GTK_WIDGET(doneButton));
                             return TRUE;
                         }
                         return FALSE;
                     }),
                     done);
    gtk_widget_add_controller(GTK_WIDGET(window_), keys);
    gtk_window_set_default_widget(window_, done);
    gtk_window_set_child(window_, stack);
}

void FloodmarkOptionsController::putLinkOnClipboard() {
    GdkClipboard* clipboard = gtk_widget_get_clipboard(GTK_WIDGET(window_));
    gdk_clipboard_set_content(clipboard, nullptr);
    gdk_clipboard_set_text(clipboard, std::string(FloodmarkOptions::supportURL).c_str());
}

void FloodmarkOptionsController::say(const std::string& message) {
    gtk_label_set_text(GTK_LABEL(status_), message.c_str());
    gtk_widget_set_visible(status_, TRUE);
}

void FloodmarkOptionsController::openPage() {
    GError* error = nullptr;
    GdkAppLaunchContext* context = gdk_display_get_app_launch_context(gdk_display_get_default());
    gboolean opened = g_app_info_launch_default_for_uri(
        std::string(FloodmarkOptions::supportURL).c_str(), G_APP_LAUNCH_CONTEXT(context), &error);
    g_object_unref(context);
    if (error != nullptr) {
        g_error_free(error);
    }
    if (opened) {
        say(FloodmarkOptions::openingMessage());
    } else {
        putLinkOnClipboard();
        say(std::string(FloodmarkOptions::couldNotOpen));
    }
}

void FloodmarkOptionsController::copyLink() {
    putLinkOnClipboard();
    say(std::string(FloodmarkOptions::linkCopied));
}

void FloodmarkOptionsController::dismiss() {
    // Destroying the window lets go of the window's reference to this controller: nothing of
    // this object may be touched afterwards.
    gtk_window_destroy(window_);
}

}  // namespace floodmark
