#include "SimError.h"

namespace erpsim {

SimError::SimError(ExitCode exitCode, const std::string& message)
    : std::runtime_error(message), exitCode_(exitCode) {}

}  // namespace erpsim
