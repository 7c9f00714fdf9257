#pragma once

#include <optional>
#include <string>
#include <vector>

namespace floodmark::app {

// `floodmark idle --enable`: the systemd user service floodmark-idle.service, its drop-in holding
// this command line, enabled and started; an XDG autostart entry where no systemd runs. Says
// what it did on standard output; the exit status.
int enableIdleWatch(std::optional<double> minutes, const std::vector<std::string>& saverArguments);
// `floodmark idle --disable`: the service stopped and disabled, what --enable wrote removed.
int disableIdleWatch();

}  // namespace floodmark::app
