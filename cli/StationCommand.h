#pragma once
// padsmith station FILE: the zero-touch station (app/Station.h), drawn for a person or a script.

#include "app/RunPreparation.h"
#include "cli/CommandContext.h"

namespace padsmith::cli {

// Serves the bus until interrupted or --max displays have finished; 0 when every display it
// started was written, 1 otherwise. The image was read and checked by the write's preparation.
int RunStation(CommandContext& context, const PreparedRun& prepared);

}  // namespace padsmith::cli
