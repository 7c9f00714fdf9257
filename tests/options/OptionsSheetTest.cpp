// The options sheet as a real GTK 4 window on an X server of the test's own. Its own test
// program: GTK is loaded by nothing else.
#include <gtest/gtest.h>

#include "FloodmarkSaver/options/FloodmarkOptions.h"
#include "FloodmarkSaver/options/FloodmarkOptionsController.h"
#include "platform/draw/Fonts.h"
#include "platform/system/LeakCheckPause.h"
#include "support/TempDirectory.h"
#include "support/WindowManager.h"
#include "support/XServer.h"

#include <gtk/gtk.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace floodmark {
namespace {

using Clock = std::chrono::steady_clock;

// Runs GTK's loop until `done` holds or two seconds pass.
template <typename Condition>
bool pumpUntil(Condition done) {
    auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!done() && Clock::now() < deadline) {
        g_main_context_iteration(nullptr, FALSE);
    }
    return done();
}

void pumpFor(std::chrono::milliseconds span) {
    auto until = Clock::now() + span;
    pumpUntil([&] { return Clock::now() >= until; });
}

std::string clipboardText(GtkWindow* window) {
    std::optional<std::string> text;
    gdk_clipboard_read_text_async(
        gtk_widget_get_clipboard(GTK_WIDGET(window)), nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer into) {
            char* read = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr);
            *static_cast<std::optional<std::string>*>(into) = read ? read : "";
            g_free(read);
        },
        &text);
    pumpUntil([&] { return text.has_value(); });
    return text.value_or("<nothing>");
}

std::vector<GtkWidget*> childrenOf(GtkWidget* parent) {
    std::vector<GtkWidget*> children;
    for (GtkWidget* child = gtk_widget_get_first_child(parent); child;
         child = gtk_widget_get_next_sibling(child)) {
        children.push_back(child);
    }
    return children;
}

std::string textOf(GtkWidget* widget) {
    if (GTK_IS_LABEL(widget))
        return gtk_label_get_text(GTK_LABEL(widget));
    if (GTK_IS_BUTTON(widget))
        return gtk_button_get_label(GTK_BUTTON(widget));
    return "";
}

class OptionsSheet : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new fixtures::XServer("800x600x24");
        windowManager_ = new fixtures::WindowManager(server_->display());
        noApplications_ = new fixtures::TempDirectory();
        xdotool_ = g_find_program_in_path("xdotool");
        setenv("DISPLAY", server_->name().c_str(), 1);
        setenv("GDK_BACKEND", "x11", 1);
        setenv("GSK_RENDERER", "cairo", 1);  // Xvfb has no GL worth the name
        // No browser anywhere: no xdg-open on PATH, no application that opens web addresses.
        setenv("PATH", "", 1);
        setenv("XDG_DATA_HOME", noApplications_->path().c_str(), 1);
        setenv("XDG_DATA_DIRS", noApplications_->path().c_str(), 1);
        registerBundledFonts();
        // GDK tries EGL on the display, Mesa loads its driver and unloads it again: what the
        // driver set up once can no longer be named in a leak report.
        [[maybe_unused]] LeakCheckPause pause;
        gtk_init();
    }
    // The server goes with the program: a server left running would hold ctest's pipes open.
    static void TearDownTestSuite() {
        delete windowManager_;
        delete server_;
        delete noApplications_;
        g_free(xdotool_);
    }

    // Presses and releases `key` through XTEST, as a keyboard would, while GTK's loop runs.
    static bool pressKey(const char* key) {
        pid_t child = fork();
        if (child == 0) {
            execl(xdotool_, "xdotool", "key", key, static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = -1;
        pumpUntil([&] { return waitpid(child, &status, WNOHANG) == child; });
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    static inline fixtures::XServer* server_ = nullptr;
    static inline fixtures::WindowManager* windowManager_ = nullptr;
    static inline fixtures::TempDirectory* noApplications_ = nullptr;
    static inline char* xdotool_ = nullptr;
};

void clearOnDestroy(GtkWindow* window, bool* open) {
    g_signal_connect(
        window, "destroy",
        G_CALLBACK(+[](GtkWidget*, gpointer flag) { *static_cast<bool*>(flag) = false; }), open);
}

// The rows in their order, the status line hidden, and the title in IBM Plex Sans Medium.
TEST_F(OptionsSheet, ShowsItsRowsInOrderWithTheTitleInPlexMedium) {
    GtkWindow* window = FloodmarkOptions::makeWindow();
    gtk_window_present(window);
    pumpFor(std::chrono::milliseconds(300));

    auto rows = childrenOf(gtk_window_get_child(window));
    ASSERT_EQ(rows.size(), 8u);
    std::vector<std::string> texts;
    for (auto* row : rows)
        texts.push_back(textOf(row));
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "Tolvera Floodmark", "Version 0.1.0",
                         "Ambient water for the computer you walk away from. Paired with Tolvera "
                         "Flow, the water rises with the work in flight.",
                         "It makes no network calls. Everything it shows is read from local files.",
                         "New versions are announced on the support page.",
                         "Developer: Floodmark Project, https://floodmark.example.org", "", ""}));
    EXPECT_FALSE(gtk_widget_get_visible(rows[6]));
    std::vector<std::string> buttons;
    for (auto* button : childrenOf(rows[7]))
        buttons.push_back(textOf(button));
    EXPECT_EQ(buttons, (std::vector<std::string>{"Open Support Page", "Copy Link", "", "Done"}));
    EXPECT_FALSE(gtk_window_get_resizable(window));

    PangoContext* context = gtk_widget_get_pango_context(rows[0]);
    PangoFont* font = pango_context_load_font(context, pango_context_get_font_description(context));
    ASSERT_NE(font, nullptr);
    PangoFontDescription* loaded = pango_font_describe(font);
    EXPECT_STREQ(pango_font_description_get_family(loaded), "IBM Plex Sans");
    EXPECT_EQ(pango_font_description_get_weight(loaded), PANGO_WEIGHT_MEDIUM);
    EXPECT_EQ(pango_font_description_get_size(loaded) / PANGO_SCALE, 15);
    pango_font_description_free(loaded);
    g_object_unref(font);
    gtk_window_destroy(window);
}

// With no browser, "Open Support Page" copies the link and says so; "Copy Link" twice leaves
// one copy of it.
TEST_F(OptionsSheet, WithoutABrowserTheLinkIsCopiedAndCopyingTwiceLeavesOne) {
    GtkWindow* window = FloodmarkOptions::makeWindow();
    gtk_window_present(window);
    auto controller = FloodmarkOptions::currentController();
    pumpFor(std::chrono::milliseconds(100));

    controller->openPage();
    EXPECT_TRUE(gtk_widget_get_visible(controller->status()));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(controller->status())),
                 "Could not open a browser from here. The link was copied instead.");
    EXPECT_EQ(clipboardText(window), "https://floodmark.example.org/support");

    controller->copyLink();
    controller->copyLink();
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(controller->status())), "Link copied.");
    EXPECT_EQ(clipboardText(window), "https://floodmark.example.org/support");
    EXPECT_EQ(FloodmarkOptions::openingMessage(), "Opening floodmark.example.org/support\u2026");
    gtk_window_destroy(window);
}

// Each request makes a second window, and only its controller stays current.
TEST_F(OptionsSheet, EachRequestMakesANewWindow) {
    GtkWindow* first = FloodmarkOptions::makeWindow();
    auto firstController = FloodmarkOptions::currentController();
    GtkWindow* second = FloodmarkOptions::makeWindow();
    EXPECT_NE(first, second);
    EXPECT_NE(FloodmarkOptions::currentController(), firstController);
    EXPECT_EQ(FloodmarkOptions::currentController()->window(), second);
    gtk_window_destroy(first);
    gtk_window_destroy(second);
}

// Real key presses on the focused sheet: Return and keypad Enter press "Done" (not the button
// that has the focus), Escape closes it as any dialog.
TEST_F(OptionsSheet, ReturnEnterAndEscapeCloseTheSheet) {
    ASSERT_TRUE(windowManager_->running());
    ASSERT_NE(xdotool_, nullptr);
    for (const char* key : {"Return", "KP_Enter", "Escape"}) {
        GtkWindow* window = FloodmarkOptions::makeWindow();
        bool open = true;
        clearOnDestroy(window, &open);
        gtk_window_present(window);
        ASSERT_TRUE(pumpUntil([&] { return gtk_window_is_active(window); })) << key;
        ASSERT_TRUE(pressKey(key)) << key;
        EXPECT_TRUE(pumpUntil([&] { return !open; })) << key;
        if (open) {
            gtk_window_destroy(window);
        }
    }
}

}  // namespace
}  // namespace floodmark
