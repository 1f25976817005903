// The commands that treat settings as text: `import` builds a file from the JSON document that
// `show --json` prints, `set` changes settings of a file by caption, `names` lists the names of
// slots and sections that the commands take.
#pragma once

#include <string>
#include <vector>

#include "CommandLine.h"
#include "Holvanectl.h"

namespace holvane::cli {

int RunImport(const Invocation& inv, Console& console);
int RunSet(const Invocation& inv, Console& console);

// The names of one kind, in the order the window lists them: mode slots as its download list,
// pattern slots as its Patterns page, and the settings records of a backup in payload order.
std::vector<std::string> ListedNames(NameList list);
int RunNames(const Invocation& inv, Console& console);

}  // namespace holvane::cli
