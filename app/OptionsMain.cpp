// floodmark-options: the options sheet, the one GTK window, in a program of its own so that
// nothing else loads GTK.
#include "FloodmarkSaver/options/FloodmarkOptions.h"
#include "app/CommandLine.h"
#include "platform/draw/Fonts.h"

#include <gtk/gtk.h>

#include <span>
#include <string_view>

int main(int argc, char** argv) {
    std::span<char* const> words(argv, static_cast<std::size_t>(argc));
    CLI::App parser(
        "Shows the options sheet: the version, what the saver does and does not do, "
        "and the support page. Ends when the window closes.",
        "floodmark options");
    // Run as `floodmark options`, the command's name comes first.
    std::size_t first = words.size() >= 2 && std::string_view(words[1]) == "options" ? 2 : 1;
    if (auto exit = floodmark::app::parseCommandLine(parser, words.subspan(first))) {
        return *exit;
    }
    // Before GTK starts, so that its font machinery sees the bundled faces.
    floodmark::registerBundledFonts();
    gtk_init();
    GtkWindow* window = floodmark::FloodmarkOptions::makeWindow();
    bool open = true;
    g_signal_connect(
        window, "destroy",
        G_CALLBACK(+[](GtkWidget*, gpointer flag) { *static_cast<bool*>(flag) = false; }), &open);
    gtk_window_present(window);
    while (open) {
        g_main_context_iteration(nullptr, TRUE);
    }
    return 0;
}
