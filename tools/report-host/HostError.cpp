#include "HostError.h"

namespace reporthost {

HostError::HostError(ExitCode exitCode, const std::string& message)
    : std::runtime_error(message), exitCode_(exitCode) {}

}  // namespace reporthost
