// The commands that treat settings as text: `import` builds a file from the JSON document that
// `show --json` prints, `set` changes settings of a file by caption.
#pragma once

#include "CommandLine.h"
#include "Holvanectl.h"

namespace holvane::cli {

int RunImport(const Invocation& inv, Console& console);
int RunSet(const Invocation& inv, Console& console);

}  // namespace holvane::cli
