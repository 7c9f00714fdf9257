#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace floodmark::app {

// Reads one command's options in order; every malformed value becomes a one-line error that
// the command prints before it exits with status 2.
class Arguments {
public:
    explicit Arguments(std::span<char* const> words) : words_(words) {}

    bool done() const { return next_ >= words_.size(); }
    std::string_view nextWord() { return words_[next_++]; }
    // The value after an option; absent (with an error) when the words ran out.
    std::optional<std::string_view> valueOf(std::string_view option);

    std::optional<long long> positiveInteger(std::string_view option);
    std::optional<double> positiveNumber(std::string_view option);
    std::optional<long long> integer(std::string_view option);
    // Any finite number.
    std::optional<double> number(std::string_view option);
    // Two finite numbers joined by `separator`, as in "0.5:0.25".
    std::optional<std::pair<double, double>> numberPair(std::string_view option, char separator);

    // Hands each option word to `readOption` until the words run out or one fails.
    template <typename Reader>
    void readEach(Reader readOption) {
        while (!done() && !error_) {
            readOption(nextWord());
        }
    }
    // Prints "floodmark COMMAND: ERROR" on one line; the exit status of a bad command line.
    int reportError(std::string_view command) const;

    void fail(std::string message) { error_ = std::move(message); }
    const std::optional<std::string>& error() const { return error_; }

private:
    std::span<char* const> words_;
    std::size_t next_ = 0;
    std::optional<std::string> error_;
};

}  // namespace floodmark::app
