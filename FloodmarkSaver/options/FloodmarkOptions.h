#pragma once

#include <memory>
#include <string>
#include <string_view>

typedef struct _GtkWindow GtkWindow;

namespace floodmark {

class FloodmarkOptionsController;

// The options sheet: an about-and-support panel with no settings. Its texts, the support
// address, and the builder of its window.
namespace FloodmarkOptions {

inline constexpr std::string_view title = "Tolvera Floodmark";
inline constexpr std::string_view summary =
    "Ambient water for the computer you walk away from. Paired with Tolvera Flow, the water "
    "rises with the work in flight.";
inline constexpr std::string_view privacy =
    "It makes no network calls. Everything it shows is read from local files.";
inline constexpr std::string_view updates = "New versions are announced on the support page.";
inline constexpr std::string_view developer =
    "Developer: Floodmark Project, https://floodmark.example.org";
// A reserved example domain, as the corner mark's is.
inline constexpr std::string_view supportURL = "https://floodmark.example.org/support";
inline constexpr std::string_view couldNotOpen =
    "Could not open a browser from here. The link was copied instead.";
inline constexpr std::string_view linkCopied = "Link copied.";

// The project's version, or an em dash when it has none.
std::string version();
// "Opening " with the support address's bare domain and path, and an ellipsis.
std::string openingMessage();

// A new controller and its window; the controller becomes the current one (an earlier one is
// let go: its window keeps what it needs while it is open).
GtkWindow* makeWindow();
std::shared_ptr<FloodmarkOptionsController> currentController();

}  // namespace FloodmarkOptions

}  // namespace floodmark
