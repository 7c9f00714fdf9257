#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace floodmark::app {

// Option values read from their text. A malformed value throws CLI::ValidationError with a
// message naming the option, which the command prints before it exits with status 2.
namespace OptionValues {

long long positiveInteger(std::string_view option, const std::string& text);
double positiveNumber(std::string_view option, const std::string& text);
long long integer(std::string_view option, const std::string& text);
// Any finite number.
double number(std::string_view option, const std::string& text);
// Two finite numbers joined by `separator`, as in "0.5:0.25".
std::pair<double, double> numberPair(std::string_view option, const std::string& text,
                                     char separator);
[[noreturn]] void reject(std::string message);

}  // namespace OptionValues

// An option whose value `apply` reads, each time the option is given.
template <typename Apply>
CLI::Option* addOption(CLI::App& parser, const std::string& name, const std::string& help,
                       Apply apply) {
    return parser.add_option_function<std::string>(
        name, [apply](const std::string& text) { apply(text); }, help);
}

// An option that may be given many times: `apply` reads each value, in the order given.
template <typename Apply>
CLI::Option* addRepeatedOption(CLI::App& parser, const std::string& name, const std::string& help,
                               Apply apply) {
    return parser
        .add_option_function<std::vector<std::string>>(
            name,
            [apply](const std::vector<std::string>& texts) {
                for (const auto& text : texts) {
                    apply(text);
                }
            },
            help)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

}  // namespace floodmark::app
